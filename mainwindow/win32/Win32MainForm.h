#pragma once
// TNBMainForm: the main window, a dialog template run by the dialog manager. One dialog procedure
// forwards each message to a named handler inside one guard; the settings model decides what the
// controls mean and what Apply writes.
#include <windows.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "foundation/CustomRegistry.h"
#include "foundation/IconPicture.h"
#include "foundation/ResourcePort.h"
#include "foundation/SystemColorsPort.h"
#include "foundation/SystemInfoPort.h"
#include "foundation/UsageGraph.h"
#include "foundation/win32/Win32Launcher.h"
#include "mainwindow/MainSettings.h"

// The adapters the program's main wires the window to.
struct MainFormPorts {
  RegistryPort& registry;
  SystemInfoPort& system;
  Win32Launcher& launcher;
  ResourcePort& resources;
  SystemColorsPort& colors;
};

class Win32MainForm {
 public:
  Win32MainForm(HINSTANCE instance, const MainFormPorts& ports);
  ~Win32MainForm();
  Win32MainForm(const Win32MainForm&) = delete;
  Win32MainForm& operator=(const Win32MainForm&) = delete;

  // Registers the window class named in the template and creates the window, shown. Null when
  // Windows cannot make it.
  HWND Create();

 private:
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR Dispatch(UINT message, WPARAM wParam, LPARAM lParam);

  void FormCreate();
  void MainTimerTimer();
  void ControlChanged(int id);
  void ColorButtonClick(SettingId id);
  void FreeMemButtonClick();
  bool ApplyClick();
  void DrawItem(const DRAWITEMSTRUCT& item);

  void LoadCaptions();
  std::u16string Text(std::u16string_view key) const;
  void FillControls();
  SettingValues ReadControls() const;
  void ShowHints(const SettingValues& edited);
  void ShowMemory();
  void ShowLastRelease();
  void ShowStatus();
  void UpdateApplyButton();
  void SetItemText(int id, const std::u16string& text);
  void DrawColorButton(const DRAWITEMSTRUCT& item, SettingId id);
  void Message(const std::u16string& text, UINT icon);

  HINSTANCE instance_;
  HWND window_ = nullptr;
  RegistryPort& registry_;
  CustomRegistry settings_{registry_};
  SystemInfoPort& system_;
  Win32Launcher& launcher_;
  ResourcePort& resources_;
  SystemColorsPort& colors_system_;
  MachineFacts machine_;
  SettingValues stored_;
  // The colours chosen in this window, not yet applied.
  std::array<std::u16string, 3> colors_;
  // The language file's texts by key, read when the window is made and after a language change.
  std::vector<std::pair<std::u16string, std::u16string>> texts_;
  // Filling the controls is not a change by the user.
  bool initialising_ = false;
  int64_t totalBytes_ = 0;
  // The large graph in the stored colours, the preview in the colours being chosen.
  UsageGraph graph_;
  UsageGraph preview_;
  std::optional<IconPicture> graphPicture_;
  std::optional<IconPicture> previewPicture_;
  COLORREF customColors_[16] = {};
};
