#include "mainwindow/NimbelloMainForm.h"

#include "foundation/Constants.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseHistory.h"
#include "foundation/RAM.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/Shell.h"
#include "foundation/WindowsVersion.h"
#include "foundation/base/Guard.h"
#include "foundation/base/Text.h"
#include "mainwindow/MainFormIds.h"
#include "mainwindow/MainFormText.h"
#include "mainwindow/ReleaseView.h"

namespace {

// The large graph's pictures and the preview's, in pixels before the control stretches them.
constexpr int32_t GraphSide = 64;
constexpr int32_t PreviewSide = 16;
// The history's picture: three pixels per kept release.
constexpr int32_t HistoryWidth = 3 * static_cast<int32_t>(HistoryCapacity);
constexpr int32_t HistoryHeight = 32;

struct ComponentEntry {
  std::u16string_view name;
  int id;
  ComponentKind kind;
};

// The window's components by their names in the language file.
constexpr ComponentEntry FormComponents[] = {
    {u"MemoryGroup", IDC_MEMORYGROUP, ComponentKind::Label},
    {u"TotalLabel", IDC_TOTALLABEL, ComponentKind::Label},
    {u"AvailableLabel", IDC_AVAILABLELABEL, ComponentKind::Label},
    {u"InUseLabel", IDC_INUSELABEL, ComponentKind::Label},
    {u"LastReleaseLabel", IDC_LASTRELEASELABEL, ComponentKind::Label},
    {u"FreeMemButton", IDC_FREEMEMBUTTON, ComponentKind::Button},
    {u"StatusGroup", IDC_STATUSGROUP, ComponentKind::Label},
    {u"ServiceLabel", IDC_SERVICELABEL, ComponentKind::Label},
    {u"AppletLabel", IDC_APPLETLABEL, ComponentKind::Label},
    {u"FullScreenLabel", IDC_FULLSCREENLABEL, ComponentKind::Label},
    {u"HistoryLabel", IDC_HISTORYLABEL, ComponentKind::Label},
    {u"SettingsGroup", IDC_SETTINGSGROUP, ComponentKind::Label},
    {u"MaintainLabel", IDC_MAINTAINLABEL, ComponentKind::Label},
    {u"FreeLabel", IDC_FREELABEL, ComponentKind::Label},
    {u"PeriodLabel", IDC_PERIODLABEL, ComponentKind::Label},
    {u"ProcessorCheck", IDC_PROCESSORCHECK, ComponentKind::Button},
    {u"BatteryCheck", IDC_BATTERYCHECK, ComponentKind::Button},
    {u"FullScreenCheck", IDC_FULLSCREENCHECK, ComponentKind::Button},
    {u"LoadCheck", IDC_LOADCHECK, ComponentKind::Button},
    {u"TrayIconCheck", IDC_TRAYICONCHECK, ComponentKind::Button},
    {u"ColorsLabel", IDC_COLORSLABEL, ComponentKind::Label},
    {u"BackgroundButton", IDC_BACKGROUNDBUTTON, ComponentKind::Button},
    {u"GridButton", IDC_GRIDBUTTON, ComponentKind::Button},
    {u"BarButton", IDC_BARBUTTON, ComponentKind::Button},
    {u"LanguageLabel", IDC_LANGUAGELABEL, ComponentKind::Label},
    {u"OKButton", OKButtonId, ComponentKind::Button},
    {u"CancelButton", CancelButtonId, ComponentKind::Button},
    {u"ApplyButton", IDC_APPLY, ComponentKind::Button},
};

// The texts that hold figures or states, with the English text for a language without them.
constexpr std::pair<std::u16string_view, std::u16string_view> TextKeys[] = {
    {u"Megabytes", u"%1 MB"},
    {u"InUse", u"%1 MB (%2 %)"},
    {u"MaintainHint", u"Releases when less than %1 MB is available"},
    {u"FreeHint", u"Each release asks for %1 MB"},
    {u"NoRelease", u"No release yet"},
    {u"LastReleaseText", u"%1: %3 of %2 MB freed in %4 ms, %5 trimmed, %6 refused"},
    {u"MeasuredText", u"; %1 MB came back within a minute (%2 faults, %3 from disk)"},
    {u"NotMeasuredText", u"; not measured yet"},
    {u"SparedText", u"Spared: %1"},
    {u"NoneSpared", u"Spared: none"},
    {u"WorkerMismatch", u"The release worker is 32-bit; this Windows needs the 64-bit one."},
    {u"ServiceRunning", u"Running"},
    {u"ServicePaused", u"Paused"},
    {u"ServiceStopped", u"Stopped"},
    {u"ServicePending", u"Changing state"},
    {u"ServiceNotInstalled", u"Not installed"},
    {u"ServiceUnknown", u"Unknown"},
    {u"AppletRunning", u"Running"},
    {u"AppletNotRunning", u"Not running"},
    {u"FullScreenYes", u"Reported: automatic releases wait"},
    {u"FullScreenNo", u"None"},
    {u"LanguageEnglish", u"English"},
    {u"LanguageFrench", u"French"},
    {u"RangeText", u"%1 must be a whole number from %2 to %3."},
    {u"NotSavedText", u"These settings could not be saved: %1."},
    {u"PolicyNote", u"Some settings are set by your administrator."},
};

// The drop-down list's captions of the carried languages, in their order.
constexpr std::u16string_view LanguageKeys[] = {u"LanguageEnglish", u"LanguageFrench"};
static_assert(std::size(LanguageKeys) == CarriedLanguages.size());

// The control that edits each setting, and the one whose caption names it in messages.
struct SettingControl {
  SettingId id;
  int control;
  int label;
};
constexpr SettingControl SettingControls[] = {
    {SettingId::MemoryMaintain, IDC_MAINTAINEDIT, IDC_MAINTAINLABEL},
    {SettingId::MemoryFree, IDC_FREEEDIT, IDC_FREELABEL},
    {SettingId::ExecutePeriod, IDC_PERIODEDIT, IDC_PERIODLABEL},
    {SettingId::ProcessorLimit, IDC_PROCESSORCHECK, IDC_PROCESSORCHECK},
    {SettingId::ProcessorTrigger, IDC_TRIGGEREDIT, IDC_PROCESSORCHECK},
    {SettingId::BatteryCheck, IDC_BATTERYCHECK, IDC_BATTERYCHECK},
    {SettingId::FullScreenCheck, IDC_FULLSCREENCHECK, IDC_FULLSCREENCHECK},
    {SettingId::LoadNimbello, IDC_LOADCHECK, IDC_LOADCHECK},
    {SettingId::LoadTrayIcon, IDC_TRAYICONCHECK, IDC_TRAYICONCHECK},
    {SettingId::BackgroundColor, IDC_BACKGROUNDBUTTON, IDC_BACKGROUNDBUTTON},
    {SettingId::GridColor, IDC_GRIDBUTTON, IDC_GRIDBUTTON},
    {SettingId::BarColor, IDC_BARBUTTON, IDC_BARBUTTON},
    {SettingId::Language, IDC_LANGUAGECOMBO, IDC_LANGUAGELABEL},
};

const SettingControl* ControlOf(SettingId id) {
  for (const SettingControl& c : SettingControls) {
    if (c.id == id) {
      return &c;
    }
  }
  return nullptr;
}

const SettingControl* SettingOf(int control) {
  for (const SettingControl& c : SettingControls) {
    if (c.control == control) {
      return &c;
    }
  }
  return nullptr;
}

size_t ColorIndex(SettingId id) {
  return static_cast<size_t>(id) - static_cast<size_t>(SettingId::BackgroundColor);
}

// Text in an edit box that is no number is held as a number outside every range, so that Apply
// refuses it as it refuses any number out of range.
constexpr int32_t NotANumber = INT32_MIN;

// A component whose caption goes to its control in the dialog.
class FormComponent final : public CaptionedComponent {
 public:
  FormComponent(MainFormHost& host, const ComponentEntry& entry) : host_(host), entry_(entry) {}
  std::u16string_view ComponentName() const override { return entry_.name; }
  ComponentKind Kind() const override { return entry_.kind; }
  void SetCaption(std::u16string_view text) override { host_.SetText(entry_.id, text); }

 private:
  MainFormHost& host_;
  ComponentEntry entry_;
};

}  // namespace

TNBMainForm::TNBMainForm(MainFormHost& host, const MainFormPorts& ports)
    : host_(host),
      ports_(ports),
      graphs_{GraphView{IDC_GRAPH, GraphSide, {}, {}},
              GraphView{IDC_PREVIEW, PreviewSide, {}, {}}} {
  for (const ComponentEntry& entry : FormComponents) {
    owned_.push_back(std::make_unique<FormComponent>(host_, entry));
    components_.push_back(owned_.back().get());
  }
}

std::u16string_view TNBMainForm::ComponentName() const {
  return MainFormSection;
}

void TNBMainForm::FormCreate() {
  totalBytes_ = GetTotalPhysicalMemory(ports_.system);
  machine_ = MachineFacts{totalBytes_, GetWindowsVersionCode(ports_.system)};
  const PolicyReadBatch policies(settings_);
  stored_ = ReadEffectiveSettings(settings_, machine_);
  ReadLocks();
  LoadCaptions();
  FillControls();
  MainTimerTimer();
}

void TNBMainForm::Command(int control, bool changed) {
  switch (control) {
    case OKButtonId:
      if (ApplyClick()) {
        host_.Close();
      }
      return;
    case CancelButtonId:
      // Closing discards what was not applied.
      host_.Close();
      return;
    case IDC_APPLY:
      ApplyClick();
      return;
    case IDC_FREEMEMBUTTON:
      MemoryFreeNow(settings_, ports_.system, ports_.launcher);
      return;
    default:
      if (IsColorButton(control)) {
        ColorButtonClick(SettingOf(control)->id);
      } else if (changed) {
        ControlChanged(control);
      }
      return;
  }
}

void TNBMainForm::LoadCaptions() {
  ApplyCaptions(settings_, ports_.resources, *this);
  texts_.clear();
  for (const auto& [key, english] : TextKeys) {
    std::u16string text = GetCaption(settings_, ports_.resources, MainFormSection, key);
    texts_.emplace_back(key, text.empty() ? std::u16string(english) : text);
  }
  std::vector<std::u16string> languages;
  for (const std::u16string_view key : LanguageKeys) {
    languages.push_back(Text(key));
  }
  host_.SetChoices(IDC_LANGUAGECOMBO, languages);
}

std::u16string TNBMainForm::Text(std::u16string_view key) const {
  for (const auto& [k, text] : texts_) {
    if (k == key) {
      return text;
    }
  }
  return {};
}

void TNBMainForm::FillControls() {
  initialising_ = true;
  for (const SettingControl& c : SettingControls) {
    const SettingValue& value = stored_[c.id];
    switch (DefinitionOf(c.id).kind) {
      case SettingKind::Integer:
        host_.SetText(c.control, DecimalText(std::get<int32_t>(value)));
        break;
      case SettingKind::Boolean:
        host_.SetChecked(c.control, std::get<bool>(value));
        break;
      case SettingKind::Color:
        colors_[ColorIndex(c.id)] = std::get<std::u16string>(value);
        host_.Repaint(c.control);
        break;
      case SettingKind::Language: {
        // A language the programs do not carry selects nothing and stays as stored.
        std::optional<size_t> position;
        for (size_t i = 0; i < std::size(CarriedLanguages); ++i) {
          if (EqualsIgnoreAsciiCase(std::get<std::u16string>(value), CarriedLanguages[i])) {
            position = i;
          }
        }
        host_.Select(c.control, position);
        break;
      }
      case SettingKind::Text:  // not offered
        break;
    }
  }
  initialising_ = false;
  ShowHints(stored_);
  UpdateControls();
}

// An administrator's value is shown and kept as it is: its control is disabled, and whatever the
// control holds is never taken as an edit, so Apply can neither write nor claim it.
void TNBMainForm::ReadLocks() {
  const PolicyReadBatch policies(settings_);
  for (const SettingDefinition& d : OfferedSettings()) {
    locked_[static_cast<size_t>(d.id)] = ReadPolicySetting(settings_, d.id).has_value();
  }
}

bool TNBMainForm::Locked(SettingId id) const {
  return locked_[static_cast<size_t>(id)];
}

SettingValues TNBMainForm::ReadControls() {
  SettingValues edited = stored_;
  for (const SettingControl& c : SettingControls) {
    if (Locked(c.id)) {
      continue;
    }
    switch (DefinitionOf(c.id).kind) {
      case SettingKind::Integer:
        edited[c.id] = ParseWholeNumber(host_.Text(c.control)).value_or(NotANumber);
        break;
      case SettingKind::Boolean:
        edited[c.id] = host_.Checked(c.control);
        break;
      case SettingKind::Color:
        edited[c.id] = colors_[ColorIndex(c.id)];
        break;
      case SettingKind::Language: {
        const std::optional<size_t> position = host_.Selection(c.control);
        // The stored spelling stays when it names the same language.
        if (position && *position < std::size(CarriedLanguages) &&
            !EqualsIgnoreAsciiCase(stored_.Text(c.id), CarriedLanguages[*position])) {
          edited[c.id] = std::u16string(CarriedLanguages[*position]);
        }
        break;
      }
      case SettingKind::Text:  // not offered
        break;
    }
  }
  return edited;
}

void TNBMainForm::ControlChanged(int control) {
  if (initialising_) {
    return;
  }
  if (control == IDC_MAINTAINEDIT || control == IDC_FREEEDIT) {
    ShowHints(ReadControls());
  }
  UpdateControls();
}

void TNBMainForm::ShowHints(const SettingValues& edited) {
  const int32_t maintain = edited.Integer(SettingId::MemoryMaintain);
  const int32_t free = edited.Integer(SettingId::MemoryFree);
  Show(IDC_MAINTAINHINT,
       IsValidSetting(SettingId::MemoryMaintain, maintain)
           ? FormatCaption(Text(u"MaintainHint"),
                           {MegabytesText(MaintainThresholdBytes(maintain, totalBytes_))})
           : std::u16string());
  Show(IDC_FREEHINT,
       IsValidSetting(SettingId::MemoryFree, free)
           ? FormatCaption(Text(u"FreeHint"), {DecimalText(ReleaseMegabytes(free, totalBytes_))})
           : std::u16string());
}

// Which controls are enabled, decided in one place from the values being edited.
void TNBMainForm::UpdateControls() {
  const SettingValues edited = ReadControls();
  host_.SetEnabled(IDC_APPLY, !ChangedSettings(stored_, edited).empty());
  bool anyLocked = false;
  for (const SettingControl& c : SettingControls) {
    anyLocked = anyLocked || Locked(c.id);
    // The threshold counts only while the processor limit is on.
    host_.SetEnabled(c.control, !Locked(c.id) && (c.id != SettingId::ProcessorTrigger ||
                                                  edited.Boolean(SettingId::ProcessorLimit)));
  }
  Show(IDC_POLICYNOTE, anyLocked ? Text(u"PolicyNote") : std::u16string());
}

void TNBMainForm::Show(int control, const std::u16string& text) {
  // Unchanged texts are not set again, so the once-a-second update does not flicker.
  if (host_.Text(control) != text) {
    host_.SetText(control, text);
  }
}

void TNBMainForm::MainTimerTimer() {
  ShowMemory();
  ShowLastRelease();
  ShowHistory();
  ShowStatus();
}

void TNBMainForm::ShowMemory() {
  const int64_t total = GetTotalPhysicalMemory(ports_.system);
  const int64_t available = GetAvailablePhysicalMemory(ports_.system);
  const std::optional<int32_t> percent = UsagePercent(total, available);
  Show(IDC_TOTALVALUE, FormatCaption(Text(u"Megabytes"), {MegabytesText(total)}));
  Show(IDC_AVAILABLEVALUE, FormatCaption(Text(u"Megabytes"), {MegabytesText(available)}));
  Show(IDC_INUSEVALUE, FormatCaption(Text(u"InUse"), {MegabytesText(total - available),
                                                      DecimalText(percent.value_or(0))}));
  // The graph in the colours the applet uses, the preview in the colours being chosen.
  const std::array<std::array<std::u16string, 3>, 2> colors = {
      std::array<std::u16string, 3>{stored_.Text(SettingId::BackgroundColor),
                                    stored_.Text(SettingId::GridColor),
                                    stored_.Text(SettingId::BarColor)},
      colors_};
  for (size_t i = 0; i < graphs_.size(); ++i) {
    GraphView& view = graphs_[i];
    // A colour that is no colour leaves the control empty.
    view.picture = guarded_or<std::optional<IconPicture>>(std::nullopt, [&] {
      IconPicture drawn = view.graph.Draw({view.side, view.side}, colors[i][0], colors[i][1],
                                          colors[i][2], percent.value_or(0), ports_.colors);
      view.graph.Advance();
      return std::optional<IconPicture>(std::move(drawn));
    });
    host_.Repaint(view.control);
  }
}

void TNBMainForm::ShowLastRelease() {
  const std::optional<LastRelease> last =
      ReadLastRelease(ports_.registry, host_.CurrentFileTime(), totalBytes_);
  // A time Windows cannot show is no time either.
  const std::u16string when = last ? host_.LocalDateTimeText(last->time) : std::u16string();
  if (when.empty()) {
    Show(IDC_LASTRELEASEVALUE, Text(u"NoRelease"));
    return;
  }
  Show(IDC_LASTRELEASEVALUE,
       LastReleaseText([this](std::u16string_view key) { return Text(key); }, when, *last));
}

void TNBMainForm::ShowHistory() {
  const std::vector<MeasuredRelease> history =
      ReadReleaseHistory(ports_.registry, host_.CurrentFileTime(), totalBytes_);
  const auto color = [&](SettingId id) {
    const std::optional<uint32_t> value = ColorFromName(stored_.Text(id));
    return value ? std::optional(DrawingColor(*value, ports_.colors)) : std::nullopt;
  };
  const auto background = color(SettingId::BackgroundColor);
  const auto grid = color(SettingId::GridColor);
  const auto bar = color(SettingId::BarColor);
  history_.reset();
  if (background && grid && bar) {
    history_ = DrawHistory(history, HistoryWidth, HistoryHeight, *background, *bar, *grid);
  }
  host_.Repaint(IDC_HISTORY);
}

void TNBMainForm::ShowStatus() {
  std::u16string_view service = u"ServiceUnknown";
  switch (host_.QueryServiceState()) {
    case ServiceState::NotInstalled:
      service = u"ServiceNotInstalled";
      break;
    case ServiceState::Stopped:
      service = u"ServiceStopped";
      break;
    case ServiceState::Running:
      service = u"ServiceRunning";
      break;
    case ServiceState::Paused:
      service = u"ServicePaused";
      break;
    case ServiceState::Pending:
      service = u"ServicePending";
      break;
    case ServiceState::Unknown:
      break;
  }
  // The status lines: each control with the key of its text.
  const std::pair<int, std::u16string_view> lines[] = {
      {IDC_SERVICEVALUE, service},
      {IDC_APPLETVALUE, host_.IsAppletRunning() ? u"AppletRunning" : u"AppletNotRunning"},
      {IDC_FULLSCREENVALUE,
       ReadSettingBool(settings_, SettingId::FullScreen) ? u"FullScreenYes" : u"FullScreenNo"},
  };
  for (const auto& [control, key] : lines) {
    Show(control, Text(key));
  }
  // The worker's line: a 32-bit worker on 64-bit Windows trims nothing and records nothing, which
  // matters more than what it spares.
  // A worker that cannot be looked at says nothing.
  const bool wrongWorker = guarded_or(false, [&] {
    return host_.IsWindows64Bit() && PortableExecutableMachine(host_.ReadFileHead(
                                         ProgramFile(ports_.launcher, Constants::ReleaseWorkerFile),
                                         WorkerHeadBytes)) == ImageMachine::I386;
  });
  const std::vector<std::u16string> spared =
      ReadSparedPrograms(ports_.registry, host_.CurrentFileTime());
  Show(IDC_WORKERVALUE,
       wrongWorker ? Text(u"WorkerMismatch")
                   : SparedText([this](std::u16string_view key) { return Text(key); }, spared));
}

void TNBMainForm::ColorButtonClick(SettingId id) {
  std::u16string& color = colors_[ColorIndex(id)];
  const std::optional<uint32_t> value = ColorFromName(color);
  const std::optional<uint32_t> drawn =
      value ? std::optional(DrawingColor(*value, ports_.colors)) : std::nullopt;
  const std::optional<uint32_t> chosen = host_.PickColor(drawn.value_or(0));
  if (!chosen) {
    return;
  }
  // The stored text stays when it already means the chosen colour.
  if (drawn != chosen) {
    color = ColorText(*chosen);
  }
  host_.Repaint(ControlOf(id)->control);
  UpdateControls();
}

std::u16string TNBMainForm::SettingName(SettingId id) {
  return WithoutAccessKey(host_.Text(ControlOf(id)->label));
}

bool TNBMainForm::ApplyClick() {
  // A policy set since the window was filled is honoured too.
  ReadLocks();
  const SettingValues edited = ReadControls();
  const SaveResult result = SaveChangedSettings(settings_, stored_, edited);
  if (!result.invalid.empty()) {
    const SettingId id = result.invalid.front();
    const SettingDefinition& d = DefinitionOf(id);
    host_.ShowMessage(FormatCaption(Text(u"RangeText"), {SettingName(id), DecimalText(d.minimum),
                                                         DecimalText(d.maximum)}),
                      MessageKind::Warning);
    host_.FocusAndSelect(ControlOf(id)->control);
    return false;
  }
  for (const SettingId id : result.written) {
    if (id == SettingId::Language) {
      LoadCaptions();
      ShowHints(edited);
      MainTimerTimer();
    }
  }
  UpdateControls();
  host_.Repaint(IDC_GRAPH);
  if (!result.failed.empty()) {
    std::u16string names;
    for (const SettingId id : result.failed) {
      names += (names.empty() ? u"" : u", ") + SettingName(id);
    }
    host_.ShowMessage(FormatCaption(Text(u"NotSavedText"), {names}), MessageKind::Error);
    return false;
  }
  return true;
}

const IconPicture* TNBMainForm::Picture(int control) const {
  if (control == IDC_HISTORY) {
    return history_ ? &*history_ : nullptr;
  }
  for (const GraphView& view : graphs_) {
    if (view.control == control && view.picture) {
      return &*view.picture;
    }
  }
  return nullptr;
}

bool TNBMainForm::IsColorButton(int control) const {
  const SettingControl* c = SettingOf(control);
  return c != nullptr && DefinitionOf(c->id).kind == SettingKind::Color;
}

std::optional<uint32_t> TNBMainForm::SwatchColor(int control) const {
  if (!IsColorButton(control)) {
    return std::nullopt;
  }
  const std::optional<uint32_t> value = ColorFromName(colors_[ColorIndex(SettingOf(control)->id)]);
  return value ? std::optional(DrawingColor(*value, ports_.colors)) : std::nullopt;
}
