#pragma once
#include <windows.h>

#include "foundation/LauncherPort.h"

// Starts companions with ShellExecuteExW and shows help with HtmlHelpW. The HTML Help control is
// bound on first use and stays loaded until the process ends.
class Win32Launcher : public LauncherPort {
 public:
  Win32Launcher() = default;
  Win32Launcher(const Win32Launcher&) = delete;
  Win32Launcher& operator=(const Win32Launcher&) = delete;
  ~Win32Launcher() override = default;

  // The program's hidden application window, owner of the programs it starts.
  void SetOwnerWindow(HWND owner) { owner_ = owner; }

  std::u16string ProgramFolder() override;
  void ShellOpen(bool owned, std::u16string_view file, std::u16string_view parameters) override;
  void HtmlHelpDisplayTopic(std::u16string_view location) override;

 private:
  using HtmlHelpFn = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);
  HWND owner_ = nullptr;
  HMODULE help_library_ = nullptr;  // deliberately never freed: it stays for the process's life
  HtmlHelpFn html_help_ = nullptr;
};
