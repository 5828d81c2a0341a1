#include "foundation/base/win32/Win32DebugOutput.h"

#include <windows.h>

#include <string>

#include "foundation/base/win32/WideText.h"

void Win32DebugOutput::Output(std::u16string_view line) noexcept {
  try {
    std::wstring text = Wide(line);
    text += L"\n";
    OutputDebugStringW(text.c_str());
  } catch (...) {
    // no memory for the line: it is not told
  }
}
