#include "mainwindow/win32/Win32MainForm.h"

#include <commdlg.h>

#include <memory>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "foundation/Captions.h"
#include "foundation/Constants.h"
#include "foundation/base/Guard.h"
#include "foundation/RAM.h"
#include "foundation/ReleaseRequest.h"
#include "foundation/base/Text.h"
#include "foundation/WindowsVersion.h"
#include "foundation/base/win32/UniqueHandle.h"
#include "foundation/base/win32/WideText.h"
#include "foundation/LastRelease.h"
#include "mainwindow/MainFormText.h"
#include "mainwindow/win32/MainFormIds.h"
#include "mainwindow/win32/Win32Status.h"

namespace {

constexpr UINT_PTR MainTimer = 1;
constexpr UINT MainTimerInterval = 1000;

// The large graph's pictures and the preview's, in pixels before the control stretches them.
constexpr int32_t GraphSide = 64;
constexpr int32_t PreviewSide = 16;

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
    {u"OKButton", IDOK, ComponentKind::Button},
    {u"CancelButton", IDCANCEL, ComponentKind::Button},
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
};

// The combo box's captions of the carried languages, in their order.
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

// The window's DPI: GetDpiForWindow where Windows has it (10 and later), bound at run time, else
// the screen's.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr) {
    if (const UINT dpi = getDpiForWindow(window); dpi != 0) {
      return dpi;
    }
  }
  const UniqueScreenDC screen(GetDC(nullptr));
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 0;
  return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

const SettingControl& ControlOf(SettingId id) {
  for (const SettingControl& c : SettingControls) {
    if (c.id == id) {
      return c;
    }
  }
  return SettingControls[0];
}

size_t ColorIndex(SettingId id) {
  return static_cast<size_t>(id) - static_cast<size_t>(SettingId::BackgroundColor);
}

// Text in an edit box that is no number is held as a number outside every range, so that Apply
// refuses it as it refuses any number out of range.
constexpr int32_t NotANumber = INT32_MIN;

std::u16string WindowText(HWND item) {
  const int length = GetWindowTextLengthW(item);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(item, text.data(), length + 1)));
  return FromWide(text);
}

std::u16string ItemText(HWND dialog, int id) {
  return WindowText(GetDlgItem(dialog, id));
}

// The dialog's own view of the language file: its components by name, the title as its caption.
class CaptionedDialog : public CaptionedWindow {
 public:
  explicit CaptionedDialog(HWND dialog) : dialog_(dialog) {
    for (const ComponentEntry& entry : FormComponents) {
      items_.push_back(std::make_unique<Item>(dialog, entry));
    }
    for (auto& item : items_) {
      pointers_.push_back(item.get());
    }
  }
  std::u16string_view ComponentName() const override { return u"NBMainForm"; }
  void SetCaption(std::u16string_view text) override {
    SetWindowTextW(dialog_, Wide(text).c_str());
  }
  std::span<CaptionedComponent* const> Components() override { return pointers_; }

 private:
  class Item : public CaptionedComponent {
   public:
    Item(HWND dialog, const ComponentEntry& entry) : dialog_(dialog), entry_(entry) {}
    std::u16string_view ComponentName() const override { return entry_.name; }
    ComponentKind Kind() const override { return entry_.kind; }
    void SetCaption(std::u16string_view text) override {
      SetDlgItemTextW(dialog_, entry_.id, Wide(text).c_str());
    }

   private:
    HWND dialog_;
    ComponentEntry entry_;
  };
  HWND dialog_;
  std::vector<std::unique_ptr<Item>> items_;
  std::vector<CaptionedComponent*> pointers_;
};

// Paints the picture stretched to the rectangle, pixel for pixel scaled without smoothing.
void PaintPicture(HDC dc, const RECT& target, const IconPicture& picture) {
  // A top-down 32-bit DIB holds blue in its lowest byte; the picture holds red there.
  std::vector<uint32_t> pixels;
  pixels.reserve(picture.Pixels().size());
  for (const uint32_t c : picture.Pixels()) {
    pixels.push_back((static_cast<uint32_t>(RedOf(c)) << 16) |
                     (static_cast<uint32_t>(GreenOf(c)) << 8) | BlueOf(c));
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = picture.Width();
  info.bmiHeader.biHeight = -picture.Height();
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  SetStretchBltMode(dc, COLORONCOLOR);
  StretchDIBits(dc, target.left, target.top, target.right - target.left, target.bottom - target.top,
                0, 0, picture.Width(), picture.Height(), pixels.data(), &info, DIB_RGB_COLORS,
                SRCCOPY);
}

}  // namespace

Win32MainForm::Win32MainForm(HINSTANCE instance, const MainFormPorts& ports)
    : instance_(instance),
      registry_(ports.registry),
      system_(ports.system),
      launcher_(ports.launcher),
      resources_(ports.resources),
      colors_system_(ports.colors) {}

Win32MainForm::~Win32MainForm() {
  if (window_ != nullptr && IsWindow(window_)) {
    SetWindowLongPtrW(window_, DWLP_USER, 0);
    DestroyWindow(window_);
  }
}

HWND Win32MainForm::Create() {
  // The template names this class; the dialog manager needs its extra window bytes.
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = DefDlgProcW;
  wc.cbWndExtra = DLGWINDOWEXTRA;
  wc.hInstance = instance_;
  wc.hIcon = LoadIconW(instance_, L"MAINICON");
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  const std::wstring className = Wide(Constants::MainFormClass);
  wc.lpszClassName = className.c_str();
  RegisterClassExW(&wc);
  window_ = CreateDialogParamW(instance_, MAKEINTRESOURCEW(IDD_MAINFORM), nullptr, DialogProc,
                               reinterpret_cast<LPARAM>(this));
  if (window_ != nullptr) {
    ShowWindow(window_, SW_SHOWNORMAL);
    UpdateWindow(window_);
  }
  return window_;
}

INT_PTR CALLBACK Win32MainForm::DialogProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<Win32MainForm*>(lParam)->window_ = window;
  }
  auto* form = reinterpret_cast<Win32MainForm*>(GetWindowLongPtrW(window, DWLP_USER));
  if (form == nullptr) {
    return FALSE;
  }
  // A failing handler ends quietly; the window goes on with its next message.
  return guarded_or<INT_PTR>(FALSE, [&] { return form->Dispatch(message, wParam, lParam); });
}

INT_PTR Win32MainForm::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      FormCreate();
      return TRUE;
    case WM_TIMER:
      if (wParam == MainTimer) {
        MainTimerTimer();
      }
      return TRUE;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
      return TRUE;
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_DPICHANGED:
      // High contrast, colour and DPI changes: system colours and sizes are read at every paint.
      // The dialog manager itself rescales the template on a DPI change.
      InvalidateRect(window_, nullptr, TRUE);
      return FALSE;
    case WM_CLOSE:
      // Closing, also from the applet's Exit, discards what was not applied.
      DestroyWindow(window_);
      return TRUE;
    case WM_DESTROY:
      KillTimer(window_, MainTimer);
      PostQuitMessage(0);
      return TRUE;
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      const int code = HIWORD(wParam);
      switch (id) {
        case IDOK:
          if (ApplyClick()) {
            DestroyWindow(window_);
          }
          return TRUE;
        case IDCANCEL:
          DestroyWindow(window_);
          return TRUE;
        case IDC_APPLY:
          ApplyClick();
          return TRUE;
        case IDC_FREEMEMBUTTON:
          FreeMemButtonClick();
          return TRUE;
        case IDC_BACKGROUNDBUTTON:
          ColorButtonClick(SettingId::BackgroundColor);
          return TRUE;
        case IDC_GRIDBUTTON:
          ColorButtonClick(SettingId::GridColor);
          return TRUE;
        case IDC_BARBUTTON:
          ColorButtonClick(SettingId::BarColor);
          return TRUE;
        default:
          if (code == EN_CHANGE || code == BN_CLICKED || code == CBN_SELCHANGE) {
            ControlChanged(id);
          }
          return TRUE;
      }
    }
    default:
      return FALSE;
  }
}

void Win32MainForm::FormCreate() {
  launcher_.SetOwnerWindow(window_);
  totalBytes_ = GetTotalPhysicalMemory(system_);
  machine_ = MachineFacts{totalBytes_, GetWindowsVersionCode(system_)};
  stored_ = ReadEffectiveSettings(settings_, machine_);
  LoadCaptions();
  FillControls();
  MainTimerTimer();
  SetTimer(window_, MainTimer, MainTimerInterval, nullptr);
}

void Win32MainForm::LoadCaptions() {
  CaptionedDialog dialog(window_);
  ApplyCaptions(settings_, resources_, dialog);
  texts_.clear();
  for (const auto& [key, english] : TextKeys) {
    std::u16string text = GetCaption(settings_, resources_, MainFormSection, key);
    texts_.emplace_back(key, text.empty() ? std::u16string(english) : text);
  }
  HWND combo = GetDlgItem(window_, IDC_LANGUAGECOMBO);
  const LRESULT selected = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const std::u16string_view key : LanguageKeys) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(Text(key)).c_str()));
  }
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

std::u16string Win32MainForm::Text(std::u16string_view key) const {
  for (const auto& [k, text] : texts_) {
    if (k == key) {
      return text;
    }
  }
  return {};
}

void Win32MainForm::FillControls() {
  initialising_ = true;
  for (const SettingControl& c : SettingControls) {
    const SettingValue& value = stored_[c.id];
    switch (DefinitionOf(c.id).kind) {
      case SettingKind::Integer:
        SetDlgItemTextW(window_, c.control, Wide(DecimalText(std::get<int32_t>(value))).c_str());
        break;
      case SettingKind::Boolean:
        CheckDlgButton(window_, c.control, std::get<bool>(value) ? BST_CHECKED : BST_UNCHECKED);
        break;
      case SettingKind::Color:
        colors_[ColorIndex(c.id)] = std::get<std::u16string>(value);
        InvalidateRect(GetDlgItem(window_, c.control), nullptr, FALSE);
        break;
      case SettingKind::Language: {
        // A language the programs do not carry selects nothing and stays as stored.
        LRESULT index = CB_ERR;
        for (size_t i = 0; i < std::size(CarriedLanguages); ++i) {
          if (EqualsIgnoreAsciiCase(std::get<std::u16string>(value), CarriedLanguages[i])) {
            index = static_cast<LRESULT>(i);
          }
        }
        SendDlgItemMessageW(window_, c.control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        break;
      }
      case SettingKind::Text:  // not offered
        break;
    }
  }
  initialising_ = false;
  ShowHints(stored_);
  UpdateApplyButton();
}

SettingValues Win32MainForm::ReadControls() const {
  SettingValues edited = stored_;
  for (const SettingControl& c : SettingControls) {
    switch (DefinitionOf(c.id).kind) {
      case SettingKind::Integer:
        edited[c.id] = ParseWholeNumber(ItemText(window_, c.control)).value_or(NotANumber);
        break;
      case SettingKind::Boolean:
        edited[c.id] = IsDlgButtonChecked(window_, c.control) == BST_CHECKED;
        break;
      case SettingKind::Color:
        edited[c.id] = colors_[ColorIndex(c.id)];
        break;
      case SettingKind::Language: {
        const LRESULT index = SendDlgItemMessageW(window_, c.control, CB_GETCURSEL, 0, 0);
        if (index >= 0 && static_cast<size_t>(index) < std::size(CarriedLanguages)) {
          const std::u16string& current = stored_.Text(c.id);
          // The stored spelling stays when it names the same language.
          if (!EqualsIgnoreAsciiCase(current, CarriedLanguages[index])) {
            edited[c.id] = std::u16string(CarriedLanguages[index]);
          }
        }
        break;
      }
      case SettingKind::Text:  // not offered
        break;
    }
  }
  return edited;
}

void Win32MainForm::ControlChanged(int id) {
  if (initialising_) {
    return;
  }
  const SettingValues edited = ReadControls();
  if (id == IDC_MAINTAINEDIT || id == IDC_FREEEDIT) {
    ShowHints(edited);
  }
  UpdateApplyButton();
}

void Win32MainForm::ShowHints(const SettingValues& edited) {
  const int32_t maintain = edited.Integer(SettingId::MemoryMaintain);
  const int32_t free = edited.Integer(SettingId::MemoryFree);
  SetItemText(IDC_MAINTAINHINT,
              IsValidSetting(SettingId::MemoryMaintain, maintain)
                  ? FormatCaption(Text(u"MaintainHint"),
                                  {MegabytesText(MaintainThresholdBytes(maintain, totalBytes_))})
                  : std::u16string());
  SetItemText(IDC_FREEHINT, IsValidSetting(SettingId::MemoryFree, free)
                                ? FormatCaption(Text(u"FreeHint"),
                                                {DecimalText(ReleaseMegabytes(free, totalBytes_))})
                                : std::u16string());
}

void Win32MainForm::UpdateApplyButton() {
  const SettingValues edited = ReadControls();
  EnableWindow(GetDlgItem(window_, IDC_APPLY), !ChangedSettings(stored_, edited).empty());
  // The threshold counts only while the processor limit is on.
  EnableWindow(GetDlgItem(window_, IDC_TRIGGEREDIT), edited.Boolean(SettingId::ProcessorLimit));
}

void Win32MainForm::SetItemText(int id, const std::u16string& text) {
  // Unchanged texts are not set again, so the once-a-second update does not flicker.
  if (ItemText(window_, id) != text) {
    SetDlgItemTextW(window_, id, Wide(text).c_str());
  }
}

void Win32MainForm::MainTimerTimer() {
  ShowMemory();
  ShowLastRelease();
  ShowStatus();
}

void Win32MainForm::ShowMemory() {
  const int64_t total = GetTotalPhysicalMemory(system_);
  const int64_t available = GetAvailablePhysicalMemory(system_);
  const std::optional<int32_t> percent = UsagePercent(total, available);
  SetItemText(IDC_TOTALVALUE, FormatCaption(Text(u"Megabytes"), {MegabytesText(total)}));
  SetItemText(IDC_AVAILABLEVALUE, FormatCaption(Text(u"Megabytes"), {MegabytesText(available)}));
  SetItemText(IDC_INUSEVALUE, FormatCaption(Text(u"InUse"), {MegabytesText(total - available),
                                                             DecimalText(percent.value_or(0))}));
  // The graph in the colours the applet uses, the preview in the colours being chosen.
  // A colour that is no colour leaves the control empty.
  const auto draw = [&](UsageGraph& graph, std::optional<IconPicture>& picture, int control,
                        int32_t side, const std::u16string& bg, const std::u16string& grid,
                        const std::u16string& bar) {
    picture = guarded_or<std::optional<IconPicture>>(std::nullopt, [&] {
      IconPicture drawn =
          graph.Draw({side, side}, bg, grid, bar, percent.value_or(0), colors_system_);
      graph.Advance();
      return std::optional<IconPicture>(std::move(drawn));
    });
    InvalidateRect(GetDlgItem(window_, control), nullptr, FALSE);
  };
  draw(graph_, graphPicture_, IDC_GRAPH, GraphSide, stored_.Text(SettingId::BackgroundColor),
       stored_.Text(SettingId::GridColor), stored_.Text(SettingId::BarColor));
  draw(preview_, previewPicture_, IDC_PREVIEW, PreviewSide, colors_[0], colors_[1], colors_[2]);
}

void Win32MainForm::ShowLastRelease() {
  const std::optional<LastRelease> last =
      ReadLastRelease(registry_, CurrentFileTime(), totalBytes_);
  // A time Windows cannot show is no time either.
  const std::u16string when = last ? LocalDateTimeText(last->time) : std::u16string();
  if (when.empty()) {
    SetItemText(IDC_LASTRELEASEVALUE, Text(u"NoRelease"));
    return;
  }
  SetItemText(IDC_LASTRELEASEVALUE,
              FormatCaption(Text(u"LastReleaseText"),
                            {when, DecimalText(last->requested), DecimalText(last->freed),
                             DecimalText(last->milliseconds), DecimalText(last->trimmed),
                             DecimalText(last->refused)}));
}

void Win32MainForm::ShowStatus() {
  std::u16string_view key = u"ServiceUnknown";
  switch (QueryServiceState()) {
    case ServiceState::NotInstalled:
      key = u"ServiceNotInstalled";
      break;
    case ServiceState::Stopped:
      key = u"ServiceStopped";
      break;
    case ServiceState::Running:
      key = u"ServiceRunning";
      break;
    case ServiceState::Paused:
      key = u"ServicePaused";
      break;
    case ServiceState::Pending:
      key = u"ServicePending";
      break;
    case ServiceState::Unknown:
      break;
  }
  SetItemText(IDC_SERVICEVALUE, Text(key));
  SetItemText(IDC_APPLETVALUE, Text(IsAppletRunning() ? u"AppletRunning" : u"AppletNotRunning"));
  SetItemText(
      IDC_FULLSCREENVALUE,
      Text(ReadSettingBool(settings_, SettingId::FullScreen) ? u"FullScreenYes" : u"FullScreenNo"));
}

void Win32MainForm::FreeMemButtonClick() {
  MemoryFreeNow(settings_, system_, launcher_);
}

void Win32MainForm::ColorButtonClick(SettingId id) {
  std::u16string& color = colors_[ColorIndex(id)];
  const std::optional<uint32_t> value = ColorFromName(color);
  CHOOSECOLORW choose{};
  choose.lStructSize = sizeof(choose);
  choose.hwndOwner = window_;
  choose.rgbResult = value ? DrawingColor(*value, colors_system_) : 0;
  choose.lpCustColors = customColors_;
  choose.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (!ChooseColorW(&choose)) {
    return;
  }
  // The stored text stays when it already means the chosen colour.
  if (!value || DrawingColor(*value, colors_system_) != choose.rgbResult) {
    color = ColorText(choose.rgbResult);
  }
  InvalidateRect(GetDlgItem(window_, ControlOf(id).control), nullptr, FALSE);
  UpdateApplyButton();
}

bool Win32MainForm::ApplyClick() {
  const SettingValues edited = ReadControls();
  const SaveResult result = SaveChangedSettings(settings_, stored_, edited);
  if (!result.invalid.empty()) {
    const SettingId id = result.invalid.front();
    const SettingDefinition& d = DefinitionOf(id);
    Message(
        FormatCaption(Text(u"RangeText"), {WithoutAccessKey(ItemText(window_, ControlOf(id).label)),
                                           DecimalText(d.minimum), DecimalText(d.maximum)}),
        MB_ICONWARNING);
    HWND control = GetDlgItem(window_, ControlOf(id).control);
    SendMessageW(window_, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(control), TRUE);
    SendMessageW(control, EM_SETSEL, 0, -1);
    return false;
  }
  for (const SettingId id : result.written) {
    if (id == SettingId::Language) {
      LoadCaptions();
      ShowHints(edited);
      MainTimerTimer();
    }
  }
  UpdateApplyButton();
  InvalidateRect(GetDlgItem(window_, IDC_GRAPH), nullptr, FALSE);
  if (!result.failed.empty()) {
    std::u16string names;
    for (const SettingId id : result.failed) {
      names +=
          (names.empty() ? u"" : u", ") + WithoutAccessKey(ItemText(window_, ControlOf(id).label));
    }
    Message(FormatCaption(Text(u"NotSavedText"), {names}), MB_ICONERROR);
    return false;
  }
  return true;
}

void Win32MainForm::Message(const std::u16string& text, UINT icon) {
  MessageBoxW(window_, Wide(text).c_str(), Wide(WindowText(window_)).c_str(), MB_OK | icon);
}

void Win32MainForm::DrawItem(const DRAWITEMSTRUCT& item) {
  switch (item.CtlID) {
    case IDC_GRAPH:
    case IDC_PREVIEW: {
      const std::optional<IconPicture>& picture =
          item.CtlID == IDC_GRAPH ? graphPicture_ : previewPicture_;
      if (picture) {
        PaintPicture(item.hDC, item.rcItem, *picture);
      } else {
        FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_BTNFACE));
      }
      return;
    }
    case IDC_BACKGROUNDBUTTON:
      DrawColorButton(item, SettingId::BackgroundColor);
      return;
    case IDC_GRIDBUTTON:
      DrawColorButton(item, SettingId::GridColor);
      return;
    case IDC_BARBUTTON:
      DrawColorButton(item, SettingId::BarColor);
      return;
    default:
      return;
  }
}

void Win32MainForm::DrawColorButton(const DRAWITEMSTRUCT& item, SettingId id) {
  RECT r = item.rcItem;
  const bool pushed = (item.itemState & ODS_SELECTED) != 0;
  DrawFrameControl(item.hDC, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pushed ? DFCS_PUSHED : 0));
  // A swatch as high as the text, framed in the text colour so it shows in high contrast too.
  const int side = (r.bottom - r.top) / 2;
  RECT swatch{r.left + side / 2, r.top + side / 2, r.left + side / 2 + side, r.bottom - side / 2};
  const std::optional<uint32_t> value = ColorFromName(colors_[ColorIndex(id)]);
  if (value) {
    const UniqueHBrush brush(CreateSolidBrush(DrawingColor(*value, colors_system_)));
    if (brush) {
      FillRect(item.hDC, &swatch, brush.get());
    }
  }
  FrameRect(item.hDC, &swatch, GetSysColorBrush(COLOR_BTNTEXT));
  RECT text = r;
  text.left = swatch.right + side / 2;
  const auto font = reinterpret_cast<HFONT>(SendMessageW(item.hwndItem, WM_GETFONT, 0, 0));
  const SelectedObject selectedFont(item.hDC, font);
  SetBkMode(item.hDC, TRANSPARENT);
  SetTextColor(item.hDC,
               GetSysColor((item.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
  const std::wstring caption = Wide(ItemText(window_, static_cast<int>(item.CtlID)));
  DrawTextW(
      item.hDC, caption.c_str(), -1, &text,
      DT_SINGLELINE | DT_VCENTER | DT_LEFT | ((item.itemState & ODS_NOACCEL) ? DT_HIDEPREFIX : 0));
  if (item.itemState & ODS_FOCUS) {
    RECT focus = r;
    const int inset = MulDiv(3, static_cast<int>(WindowDpi(window_)), USER_DEFAULT_SCREEN_DPI);
    InflateRect(&focus, -inset, -inset);
    DrawFocusRect(item.hDC, &focus);
  }
}
