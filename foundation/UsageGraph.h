#pragma once
// The usage graph's pixels: a small scrolling graph of memory use with a two-tone frame, a grid
// that moves one column to the left with every picture, and one bar per past tick, newest on the
// right. The tray turns its pictures into icons, the main window draws them. One graph lives as
// long as the program; its history and grid phase carry over from picture to picture.
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "foundation/base/IconPicture.h"
#include "foundation/SystemColorsPort.h"

// Colour values are 0x00BBGGRR for plain colours; a value with the highest bit set is a system
// colour whose lowest byte is the GetSysColor index.
constexpr uint32_t LightFrameColor = 0x3A3837;
constexpr uint32_t DarkFrameColor = 0x2C2B29;
constexpr uint32_t ColorNone = 0x1FFFFFFF;
constexpr uint32_t ColorDefault = 0x20000000;

// One of the 52 colour names (letters A to Z in any case), or a 32-bit number in decimal or with
// a "$", "x", "X", "0x" or "0X" hexadecimal prefix. Anything else, the empty text included, gives
// nothing.
std::optional<uint32_t> ColorFromName(std::u16string_view name);

// The plain colour a colour value is drawn in. System colours are looked up at this moment. The
// values that are neither plain nor system colours ("clNone", "clDefault" and the rest from
// 0x01000000 to 0x7FFFFFFF) carry no drawing rule of their own: their lowest three bytes are
// drawn as a plain colour, so "clNone" is white and "clDefault" is black.
uint32_t DrawingColor(uint32_t colorValue, SystemColorsPort& colors);

struct SmallIconMetrics {
  int32_t cx = 0;  // GetSystemMetrics(SM_CXSMICON)
  int32_t cy = 0;  // GetSystemMetrics(SM_CYSMICON)
};

struct UsageIconSize {
  int32_t width;
  int32_t height;
};

// Either metric above 64 gives 64 × 64. Below 4 × 3 the history shift and the bars have no room,
// so smaller metrics are raised to that.
UsageIconSize UsageIconSizeFor(SmallIconMetrics metrics);

class UsageGraph {
 public:
  static constexpr int32_t HistorySize = 64;
  // A bar top below every picture up to 64 pixels high: no bar.
  static constexpr int32_t NoBar = 63;

  UsageGraph() { history_.fill(NoBar); }

  // The next picture, the newest bar taken into the history. Throws for a colour name that a
  // pixel needs and that is no colour. The grid stays where it is until Advance, so a picture
  // that its user could not take keeps the phase; the history keeps the new bar.
  IconPicture Draw(UsageIconSize size, std::u16string_view background, std::u16string_view grid,
                   std::u16string_view bar, int32_t percent, SystemColorsPort& colors);
  // Moves the grid one column to the left, for the picture after the one just used.
  void Advance() { phase_ = phase_ == 1 ? 3 : phase_ - 1; }

  int32_t GridPhase() const { return phase_; }
  const std::array<int32_t, HistorySize>& UsageHistory() const { return history_; }

 private:
  int32_t phase_ = 3;
  std::array<int32_t, HistorySize> history_;
};
