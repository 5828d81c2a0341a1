#pragma once
// Dots per inch, for sizes given in points or in pixels at 96 DPI.
#include <windows.h>

// The screen's DPI (the system DPI of a process that is not per-monitor aware); 96 when the screen
// cannot say.
UINT ScreenDpi();

// The window's DPI: GetDpiForWindow where Windows has it (10 and later), bound at run time, else
// the screen's.
UINT WindowDpi(HWND window);
