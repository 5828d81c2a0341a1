#pragma once
// What the main window reports about the product's other parts, read without changing anything.
#include <windows.h>

#include <cstdint>
#include <string>

#include "mainwindow/NimbelloMainForm.h"

// The Nimbello service's state through the Service Control Manager, with the rights any user has
// (connect, query status).
ServiceState QueryServiceState();

// A running tray applet: its window class exists.
bool IsAppletRunning();

// A 32-bit release worker at that path on 64-bit Windows, where it trims nothing and records
// nothing. A file that cannot be read or is no image says nothing.
bool IsWorkerOfWrongBitness(const std::u16string& workerPath);

// The current time as a FILETIME (UTC).
uint64_t CurrentFileTime();

// A FILETIME (UTC) as local date and time in the user's short date and long time formats.
std::u16string LocalDateTimeText(uint64_t fileTime);
