#include "mainwindow/ReleaseView.h"

#include <algorithm>

#include "foundation/Captions.h"
#include "foundation/base/LittleEndian.h"
#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

std::u16string LastReleaseText(const CaptionLookup& text, std::u16string_view when,
                               const LastRelease& record) {
  std::u16string out = FormatCaption(
      text(u"LastReleaseText"),
      {when, DecimalText(record.requested), DecimalText(record.freed),
       DecimalText(record.milliseconds), DecimalText(record.trimmed), DecimalText(record.refused)});
  if (record.window == 0) {
    return out + text(u"NotMeasuredText");
  }
  return out + FormatCaption(text(u"MeasuredText"),
                             {DecimalText(record.regrown), DecimalText(record.faults),
                              DecimalText(record.hardFaults)});
}

std::vector<HistoryBar> HistoryBars(std::span<const MeasuredRelease> history, int32_t height) {
  uint32_t largest = 0;
  for (const MeasuredRelease& release : history) {
    largest = std::max(largest, release.dropped);
  }
  std::vector<HistoryBar> bars;
  bars.reserve(history.size());
  const auto scaled = [&](uint32_t megabytes) {
    return largest == 0 ? 0 : RoundToInt32(static_cast<long double>(megabytes) * height / largest);
  };
  for (const MeasuredRelease& release : history) {
    // The reader already keeps regrowth within the drop; the bar does too, whatever it is given.
    bars.push_back({scaled(release.dropped), scaled(std::min(release.regrown, release.dropped))});
  }
  return bars;
}

IconPicture DrawHistory(std::span<const MeasuredRelease> history, int32_t width, int32_t height,
                        uint32_t background, uint32_t dropped, uint32_t regrown) {
  IconPicture picture(width, height);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      picture.SetPixel(x, y, background);
    }
  }
  const int32_t slot = width / static_cast<int32_t>(HistoryCapacity);
  // The newest releases that fit, so a longer list than the reader keeps still draws in bounds.
  const size_t shown = std::min(history.size(), HistoryCapacity);
  const auto bars = HistoryBars(history.subspan(history.size() - shown), height);
  for (size_t i = 0; i < bars.size(); ++i) {
    const int32_t left = width - static_cast<int32_t>(bars.size() - i) * slot;
    for (int32_t x = left; x < left + slot - 1; ++x) {
      for (int32_t y = 0; y < bars[i].dropped; ++y) {
        picture.SetPixel(x, height - 1 - y, y < bars[i].regrown ? regrown : dropped);
      }
    }
  }
  return picture;
}

std::u16string SparedText(const CaptionLookup& text, std::span<const std::u16string> names) {
  if (names.empty()) {
    return text(u"NoneSpared");
  }
  std::u16string list;
  for (const std::u16string& name : names) {
    list += (list.empty() ? u"" : u", ") + name;
  }
  return FormatCaption(text(u"SparedText"), {list});
}

std::optional<uint16_t> PortableExecutableMachine(std::span<const std::byte> head) {
  constexpr size_t LfanewOffset = 0x3C;
  if (head.size() < LfanewOffset + 4 || head[0] != std::byte{'M'} || head[1] != std::byte{'Z'}) {
    return std::nullopt;
  }
  const uint64_t lfanew = ReadLittleEndian(head.data() + LfanewOffset, 4);
  if (lfanew > head.size() || head.size() - lfanew < 6) {
    return std::nullopt;
  }
  const auto at = static_cast<size_t>(lfanew);
  const auto signature = head.subspan(at, 4);
  if (signature[0] != std::byte{'P'} || signature[1] != std::byte{'E'} ||
      signature[2] != std::byte{0} || signature[3] != std::byte{0}) {
    return std::nullopt;
  }
  return static_cast<uint16_t>(ReadLittleEndian(head.data() + at + 4, 2));
}
