#pragma once
// Libraries come from the system folder only. Windows looks for a library named without a path in
// the program's own folder first, and a file planted there would run with the program's rights:
// as SYSTEM in the service.
#include <windows.h>

#include <bit>

#include "foundation/base/win32/UniqueHandle.h"

// First thing in every program: later loads by bare name, including those the shell makes on its
// own, search the system folder only. SetDefaultDllDirectories is bound at run time (Windows 7
// has it only with KB2533623); without it the current folder at least leaves the search.
void RestrictDllSearch() noexcept;

// Loads a library of the system folder by its file name; nullptr when it cannot.
HMODULE LoadSystemLibrary(const wchar_t* fileName) noexcept;

// The same, released when its owner goes.
inline UniqueModule LoadOwnedSystemLibrary(const wchar_t* fileName) {
  return UniqueModule(LoadSystemLibrary(fileName));
}

// The function's address as its type; nullptr when the library or the function is missing.
template <class Function>
Function BindFunction(HMODULE library, const char* name) {
  const FARPROC address = library == nullptr ? nullptr : GetProcAddress(library, name);
  return address == nullptr ? nullptr : std::bit_cast<Function>(address);
}
