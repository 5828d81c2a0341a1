#pragma once
// The texts of the main window that hold figures: patterns from the language file with %1, %2,
// ... standing for the figures, and the figures themselves as this window shows them.
#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/Captions.h"
#include "mainwindow/MainSettings.h"

// The language file's section of the main window; its keys are the window's component names.
inline constexpr std::u16string_view MainFormSection = u"NBMainForm";

// Rounded megabytes of a byte count, digits only.
std::u16string MegabytesText(int64_t bytes);

// What a memory percentage means on this machine, in megabytes: the available memory at which
// the service releases (MemoryMaintain), the amount one release asks for (MemoryFree).
int64_t MaintainThresholdBytes(int32_t percent, int64_t totalBytes);
int32_t ReleaseMegabytes(int32_t percent, int64_t totalBytes);

// The caption without its access-key marks: "Memory to &free" reads "Memory to free"; "&&" is
// one "&".
std::u16string WithoutAccessKey(std::u16string_view caption);

// The letter after the single "&" of a caption, ASCII letters in lower case; 0 when there is none.
char16_t AccessKeyOf(std::u16string_view caption);

// A plain colour 0x00BBGGRR as the settings hold a chosen colour: "$" and six hexadecimal digits,
// blue first ("$0000FF" is red), which the usage graph reads back as the same colour.
std::u16string ColorText(uint32_t color);
