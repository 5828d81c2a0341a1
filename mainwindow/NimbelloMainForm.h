#pragma once
// The main window TNBMainForm: what it shows (memory, the last release, the other parts' state,
// the effective settings and what they mean on this machine), which controls are enabled, and
// what Apply checks, writes and names as refused. mainwindow/win32 gives it a dialog whose
// procedure forwards each message here; the controls are named by their template identifiers.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "foundation/Captions.h"
#include "foundation/CustomRegistry.h"
#include "foundation/base/IconPicture.h"
#include "foundation/LauncherPort.h"
#include "foundation/ResourcePort.h"
#include "foundation/SystemColorsPort.h"
#include "foundation/SystemInfoPort.h"
#include "foundation/UsageGraph.h"
#include "mainwindow/MainSettings.h"

// OK and Cancel keep the dialog manager's own identifiers, IDOK and IDCANCEL.
inline constexpr int OKButtonId = 1;
inline constexpr int CancelButtonId = 2;

enum class ServiceState { NotInstalled, Stopped, Running, Paused, Pending, Unknown };

enum class MessageKind { Warning, Error };

// What the form needs of its dialog and of the system around it.
class MainFormHost {
 public:
  virtual ~MainFormHost() = default;
  virtual void SetTitle(std::u16string_view text) = 0;
  virtual void SetText(int control, std::u16string_view text) = 0;
  virtual std::u16string Text(int control) = 0;
  virtual void SetChecked(int control, bool checked) = 0;
  virtual bool Checked(int control) = 0;
  virtual void SetEnabled(int control, bool enabled) = 0;
  // A drop-down list's items, replaced; the selected position stays.
  virtual void SetChoices(int control, std::span<const std::u16string> items) = 0;
  virtual void Select(int control, std::optional<size_t> position) = 0;
  virtual std::optional<size_t> Selection(int control) = 0;
  // The owner-drawn control paints itself again from Picture or SwatchColor.
  virtual void Repaint(int control) = 0;
  // The keyboard focus to the control, its text selected.
  virtual void FocusAndSelect(int control) = 0;
  // A message box over the window with the window's title; returns once it is closed.
  virtual void ShowMessage(std::u16string_view text, MessageKind kind) = 0;
  // The colour dialog opened on a colour 0x00BBGGRR; nothing when the user cancels it.
  virtual std::optional<uint32_t> PickColor(uint32_t initial) = 0;
  virtual void Close() = 0;

  virtual ServiceState QueryServiceState() = 0;
  virtual bool IsAppletRunning() = 0;
  // FILETIME (UTC) now, and one as the user's local date and time (empty when it has none).
  virtual uint64_t CurrentFileTime() = 0;
  virtual std::u16string LocalDateTimeText(uint64_t fileTime) = 0;
  // Whether Windows itself is 64-bit, and up to `bytes` first bytes of a file (none when it
  // cannot be read), for the release worker's bitness.
  virtual bool IsWindows64Bit() = 0;
  virtual std::vector<std::byte> ReadFileHead(std::u16string_view path, size_t bytes) = 0;
};

struct MainFormPorts {
  RegistryPort& registry;
  SystemInfoPort& system;
  LauncherPort& launcher;
  ResourcePort& resources;
  SystemColorsPort& colors;
};

class TNBMainForm final : public CaptionedWindow {
 public:
  TNBMainForm(MainFormHost& host, const MainFormPorts& ports);
  TNBMainForm(const TNBMainForm&) = delete;
  TNBMainForm& operator=(const TNBMainForm&) = delete;

  // Event handlers; the dialog procedure guards each call as a whole.
  void FormCreate();
  void MainTimerTimer();
  // WM_COMMAND from a control; changed: a notification that its value changed.
  void Command(int control, bool changed);
  // Writes the changed values; false when one was refused and the window must stay.
  bool ApplyClick();

  // What the owner-drawn controls paint: the graphs' pictures (none until the first tick, or
  // when the colours are no colours), the colour buttons' swatches.
  const IconPicture* Picture(int control) const;
  bool IsColorButton(int control) const;
  std::optional<uint32_t> SwatchColor(int control) const;

  // CaptionedWindow
  std::u16string_view ComponentName() const override;
  void SetCaption(std::u16string_view text) override { host_.SetTitle(text); }
  std::span<CaptionedComponent* const> Components() override { return components_; }

 private:
  // A usage graph of the window, drawn once a second into its control.
  struct GraphView {
    int control;
    int32_t side;  // pixels before the control stretches them
    UsageGraph graph;
    std::optional<IconPicture> picture;
  };

  void ControlChanged(int control);
  void ColorButtonClick(SettingId id);
  void LoadCaptions();
  std::u16string Text(std::u16string_view key) const;
  void FillControls();
  void ReadLocks();
  bool Locked(SettingId id) const;
  SettingValues ReadControls();
  void ShowHints(const SettingValues& edited);
  void ShowMemory();
  void ShowLastRelease();
  void ShowStatus();
  void ShowHistory();
  void UpdateControls();
  void Show(int control, const std::u16string& text);
  std::u16string SettingName(SettingId id);

  MainFormHost& host_;
  MainFormPorts ports_;
  CustomRegistry settings_{ports_.registry};
  MachineFacts machine_;
  SettingValues stored_;
  // The settings an administrator's policy fixes, which the window shows and never writes.
  std::array<bool, SettingCount> locked_{};
  // The colours chosen in this window, not yet applied.
  std::array<std::u16string, 3> colors_;
  // The language file's texts by key, read when the window is made and after a language change.
  std::vector<std::pair<std::u16string, std::u16string>> texts_;
  // Filling the controls is not a change by the user.
  bool initialising_ = false;
  int64_t totalBytes_ = 0;
  // The large graph in the stored colours, the preview in the colours being chosen.
  std::array<GraphView, 2> graphs_;
  // The measured releases, in the graph's colours; none when they are no colours.
  std::optional<IconPicture> history_;
  std::vector<std::unique_ptr<CaptionedComponent>> owned_;
  std::vector<CaptionedComponent*> components_;
};
