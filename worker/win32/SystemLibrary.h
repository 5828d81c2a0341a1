#pragma once
// Native functions bound at run time from libraries of the system folder only, so a planted DLL
// beside the program or in the working folder is never loaded.
#include <windows.h>

#include <bit>

#include "foundation/win32/UniqueHandle.h"

UniqueModule LoadSystemLibrary(const wchar_t* name);

// The function's address as its type; nullptr when the library or the function is missing.
template <class Function>
Function BindFunction(const UniqueModule& library, const char* name) {
  if (!library) {
    return nullptr;
  }
  const FARPROC address = GetProcAddress(library.get(), name);
  return address == nullptr ? nullptr : std::bit_cast<Function>(address);
}
