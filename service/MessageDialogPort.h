#pragma once
// Modal message dialogs with one OK button.
#include <string_view>

enum class DialogIcon { Information, Error };

class MessageDialogPort {
 public:
  virtual ~MessageDialogPort() = default;
  // Returns when the user has closed the dialog.
  virtual void ShowMessage(DialogIcon icon, std::u16string_view caption,
                           std::u16string_view text) = 0;
};
