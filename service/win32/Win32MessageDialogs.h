#pragma once
// Outcome messages: a task dialog where Common Controls 6 offer TaskDialogIndirect, an ordinary
// message box otherwise.
#include "service/MessageDialogPort.h"

class Win32MessageDialogs : public MessageDialogPort {
 public:
  void ShowMessage(DialogIcon icon, std::u16string_view caption, std::u16string_view text) override;
};
