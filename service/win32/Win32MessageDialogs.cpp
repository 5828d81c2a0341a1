#include "service/win32/Win32MessageDialogs.h"

#include <windows.h>
// windows.h first
#include <commctrl.h>

#include <string>

#include "foundation/base/win32/SystemLibrary.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"

namespace {

using TaskDialogIndirectFn = HRESULT(WINAPI*)(const TASKDIALOGCONFIG*, int*, int*, BOOL*);

// Windows before Vista, and a process without the Common Controls 6 manifest, have no task
// dialogs: the function is looked up, never imported.
bool ShowTaskDialog(DialogIcon icon, const std::wstring& caption, const std::wstring& text) {
  UniqueModule comctl(LoadSystemLibrary(L"comctl32.dll"));
  if (!comctl) {
    return false;
  }
  const auto taskDialogIndirect =
      BindFunction<TaskDialogIndirectFn>(comctl.get(), "TaskDialogIndirect");
  if (taskDialogIndirect == nullptr) {
    return false;
  }
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof(config);
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION;
  config.dwCommonButtons = TDCBF_OK_BUTTON;
  config.pszWindowTitle = caption.c_str();
  config.pszMainIcon = icon == DialogIcon::Error ? TD_ERROR_ICON : TD_INFORMATION_ICON;
  config.pszContent = text.c_str();
  int button = 0;
  return SUCCEEDED(taskDialogIndirect(&config, &button, nullptr, nullptr));
}

}  // namespace

void Win32MessageDialogs::ShowMessage(DialogIcon icon, std::u16string_view caption,
                                      std::u16string_view text) {
  const std::wstring wideCaption = Wide(caption);
  const std::wstring wideText = Wide(text);
  if (ShowTaskDialog(icon, wideCaption, wideText)) {
    return;
  }
  const UINT style =
      MB_OK | MB_TASKMODAL | (icon == DialogIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION);
  MessageBoxW(nullptr, wideText.c_str(), wideCaption.c_str(), style);
}
