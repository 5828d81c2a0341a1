#pragma once
// Names and texts that the system shares with the outside world: registry names, file names,
// window class names. Changing one of these breaks a companion program or a stored setting.
#include <cstdint>
#include <string_view>

#include "foundation/RegistryPort.h"

namespace Constants {

// The settings key. The leading backslash marks the path as absolute from the root.
inline constexpr RegistryRoot SettingsRoot = RegistryRoot::LocalMachine;
inline constexpr std::u16string_view SettingsKey = u"\\Software\\VELTRA\\Nimbello\\";

// Settings values.
inline constexpr std::u16string_view MemoryFree = u"MemoryFree";
inline constexpr std::u16string_view MemoryMaintain = u"MemoryMaintain";
inline constexpr std::u16string_view ExecutePeriod = u"ExecutePeriod";
inline constexpr std::u16string_view ProcessorLimit = u"ProcessorLimit";
inline constexpr std::u16string_view ProcessorTrigger = u"ProcessorTrigger";
inline constexpr std::u16string_view BatteryCheck = u"BatteryCheck";
inline constexpr std::u16string_view FullScreenCheck = u"FullScreenCheck";
inline constexpr std::u16string_view FullScreen = u"FullScreen";
inline constexpr std::u16string_view LoadNimbello = u"LoadNimbello";
inline constexpr std::u16string_view DefragMemory = u"DefragMemory";
inline constexpr std::u16string_view LoadTrayIcon = u"LoadTrayIcon";
inline constexpr std::u16string_view BackgroundColor = u"BackgroundColor";
inline constexpr std::u16string_view GridColor = u"GridColor";
inline constexpr std::u16string_view BarColor = u"BarColor";
inline constexpr std::u16string_view Language = u"Language";
inline constexpr std::u16string_view Updated = u"Updated";
inline constexpr std::u16string_view UpdatedDate = u"UpdatedDate";

inline constexpr std::u16string_view DefaultLanguage = u"english";

// Companion programs, looked for in the program folder.
inline constexpr std::u16string_view ReleaseWorkerFile = u"NimbelloDefrag.exe";
inline constexpr std::u16string_view MainProgramFile = u"Nimbello.exe";
inline constexpr std::u16string_view UpdaterFile = u"NimbelloUpdate.exe";
inline constexpr std::u16string_view HelpFile = u"Nimbello.chm";
inline constexpr std::u16string_view HelpTopic = u"/html/main.htm";

// The release worker is never asked for more than this many megabytes at once.
inline constexpr int32_t ReleaseChunkMegabytes = 1024;

// Memory class boundary, in rounded megabytes of total physical memory.
inline constexpr int64_t LargeMemoryMegabytes = 1536;

// The release worker's record of its last run, a subkey of the settings key.
inline constexpr std::u16string_view LastReleaseKey =
    u"\\Software\\VELTRA\\Nimbello\\LastRelease\\";
inline constexpr std::u16string_view LastReleaseRequested = u"Requested";        // REG_DWORD, MB
inline constexpr std::u16string_view LastReleaseFreed = u"Freed";                // REG_DWORD, MB
inline constexpr std::u16string_view LastReleaseMilliseconds = u"Milliseconds";  // REG_DWORD
inline constexpr std::u16string_view LastReleaseTime = u"Time";        // REG_QWORD, FILETIME UTC
inline constexpr std::u16string_view LastReleaseTrimmed = u"Trimmed";  // REG_DWORD, processes
inline constexpr std::u16string_view LastReleaseRefused = u"Refused";  // REG_DWORD, processes
// What the worker measured of the release, a window after it; all REG_DWORD.
inline constexpr std::u16string_view LastReleaseAvailableBefore = u"AvailableBefore";  // MB
inline constexpr std::u16string_view LastReleaseAvailableAfter = u"AvailableAfter";    // MB
inline constexpr std::u16string_view LastReleaseDropped = u"Dropped";                  // MB
inline constexpr std::u16string_view LastReleaseRegrown = u"Regrown";                  // MB
inline constexpr std::u16string_view LastReleaseFaults = u"Faults";                    // count
inline constexpr std::u16string_view LastReleaseHardFaults = u"HardFaults";            // count
inline constexpr std::u16string_view LastReleaseWindow = u"Window";                    // seconds
// The last measured releases (REG_BINARY, fixed-size records) and the programs spared for now.
inline constexpr std::u16string_view LastReleaseHistory = u"History";
inline constexpr std::u16string_view LastReleaseSpared = u"Spared";
// How long a measured release watches the trimmed processes take their pages back: 60 s, shorter
// only in the Win32 test tree's own build.
inline constexpr uint32_t MeasureWindowSeconds = NIMBELLO_MEASURE_WINDOW_SECONDS;

// Release workers take turns on this mutex. "Global\" reaches it from session 0 (the service's
// workers) and from every user session (the tray's).
inline constexpr std::u16string_view ReleaseWorkerMutex = u"Global\\NimbelloDefrag";

// Window class names.
inline constexpr std::u16string_view TrayFormClass = u"TNBTrayForm";
inline constexpr std::u16string_view TaskbarClass = u"Shell_TrayWnd";
inline constexpr std::u16string_view MainFormClass = u"TNBMainForm";

// Service.
inline constexpr std::u16string_view ServiceName = u"Nimbello";
inline constexpr std::u16string_view ServicesKey =
    u"\\SYSTEM\\CurrentControlSet\\Services\\Nimbello\\";
// Why an install from a folder that users can change is refused, when the language file has no
// text for it; "%s" stands for the folder.
inline constexpr std::u16string_view UnsafeFolderText =
    u"Users who are not administrators can change the folder %s. Install Nimbello in a folder "
    u"that only administrators can change, such as Program Files.";

}  // namespace Constants
