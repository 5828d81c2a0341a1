#pragma once
// The main window's dialog: a template run by the dialog manager. One dialog procedure forwards
// each message to the form inside one guard; this side holds the controls and paints them.
#include <windows.h>

#include "mainwindow/NimbelloMainForm.h"

class Win32MainForm final : private MainFormHost {
 public:
  Win32MainForm(HINSTANCE instance, const MainFormPorts& ports);
  ~Win32MainForm() override;
  Win32MainForm(const Win32MainForm&) = delete;
  Win32MainForm& operator=(const Win32MainForm&) = delete;

  // Registers the window class named in the template and creates the window, shown. Null when
  // Windows cannot make it.
  HWND Create();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawColorButton(const DRAWITEMSTRUCT& item);

  // MainFormHost
  void SetTitle(std::u16string_view text) override;
  void SetText(int control, std::u16string_view text) override;
  std::u16string Text(int control) override;
  void SetChecked(int control, bool checked) override;
  bool Checked(int control) override;
  void SetEnabled(int control, bool enabled) override;
  void SetChoices(int control, std::span<const std::u16string> items) override;
  void Select(int control, std::optional<size_t> position) override;
  std::optional<size_t> Selection(int control) override;
  void Repaint(int control) override;
  void FocusAndSelect(int control) override;
  void ShowMessage(std::u16string_view text, MessageKind kind) override;
  std::optional<uint32_t> PickColor(uint32_t initial) override;
  void Close() override;
  ServiceState QueryServiceState() override;
  bool IsAppletRunning() override;
  uint64_t CurrentFileTime() override;
  std::u16string LocalDateTimeText(uint64_t fileTime) override;
  bool IsWindows64Bit() override;
  std::vector<std::byte> ReadFileHead(std::u16string_view path, size_t bytes) override;

  HINSTANCE instance_;
  HWND window_ = nullptr;
  TNBMainForm form_;
  COLORREF customColors_[16] = {};
};
