#pragma once
// What the main window reports about the product's other parts, read without changing anything.
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "mainwindow/NimbelloMainForm.h"

// The Nimbello service's state through the Service Control Manager, with the rights any user has
// (connect, query status).
ServiceState QueryServiceState();

// A running tray applet: its window class exists.
bool IsAppletRunning();

// Windows itself is 64-bit (x64 or ARM64), whatever this program's own bitness.
bool IsWindows64Bit();

// Up to `bytes` first bytes of a file; none when it cannot be opened or read.
std::vector<std::byte> ReadFileHead(std::u16string_view path, size_t bytes);

// The current time as a FILETIME (UTC).
uint64_t CurrentFileTime();

// A FILETIME (UTC) as local date and time in the user's short date and long time formats.
std::u16string LocalDateTimeText(uint64_t fileTime);
