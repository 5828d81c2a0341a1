#pragma once
// What the main window shows of the release worker's records: the last release in words, the
// history as bars, the programs it spares, and whether the worker in the program folder can work
// on this Windows at all.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/base/IconPicture.h"
#include "foundation/LastRelease.h"
#include "foundation/ReleaseHistory.h"

// A caption of the window by its key.
using CaptionLookup = std::function<std::u16string(std::u16string_view key)>;

// "When: what it did", then what came back within the window once measured, or that it is not
// measured yet (Window 0).
std::u16string LastReleaseText(const CaptionLookup& text, std::u16string_view when,
                               const LastRelease& record);

// One release of the history as two bars from the bottom of the picture: the MB dropped, and the
// MB of it that came back, in pixels of one scale (the largest drop fills the height).
struct HistoryBar {
  int32_t dropped = 0;
  int32_t regrown = 0;
};
std::vector<HistoryBar> HistoryBars(std::span<const MeasuredRelease> history, int32_t height);

// The history as a picture, the newest release on the right as in the usage graph: one column per
// release, a slot of width ÷ HistoryCapacity pixels with a one-pixel gap, the drop in the dropped
// colour and the part of it that came back, from the bottom, in the regrown colour.
IconPicture DrawHistory(std::span<const MeasuredRelease> history, int32_t width, int32_t height,
                        uint32_t background, uint32_t dropped, uint32_t regrown);

// The spared programs' names after the caption, or the caption for none.
std::u16string SparedText(const CaptionLookup& text, std::span<const std::u16string> names);

// IMAGE_FILE_HEADER.Machine.
namespace ImageMachine {
inline constexpr uint16_t I386 = 0x014C;
}  // namespace ImageMachine

// The machine a program file is built for, from its first bytes (the DOS header's e_lfanew, then
// "PE\0\0" and the file header); nothing when they are no PE image or too short to tell.
std::optional<uint16_t> PortableExecutableMachine(std::span<const std::byte> head);

// How many first bytes of the worker file are read to tell its machine: e_lfanew points within them
// in every image a linker writes.
inline constexpr size_t WorkerHeadBytes = 4096;
