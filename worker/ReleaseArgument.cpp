#include "worker/ReleaseArgument.h"

#include "foundation/Rounding.h"

std::optional<int32_t> ParseReleaseArgument(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text.front() == u'+' || text.front() == u'-')) {
    negative = text.front() == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) {
    return std::nullopt;
  }
  // Accumulated in 64 bits and checked at every digit, so a long run of digits never wraps.
  int64_t value = 0;
  for (const char16_t c : text) {
    if (c < u'0' || c > u'9') {
      return std::nullopt;
    }
    value = value * 10 + (c - u'0');
    if (value > 2147483648LL) {
      return std::nullopt;
    }
  }
  if (negative) {
    value = -value;
  }
  if (value > INT32_MAX || value < INT32_MIN) {
    return std::nullopt;
  }
  return static_cast<int32_t>(value);
}

std::optional<int32_t> ParseReleaseArguments(std::span<const std::u16string> arguments) {
  if (arguments.size() != 1) {
    return std::nullopt;
  }
  return ParseReleaseArgument(arguments.front());
}

int32_t CutToTotalMemory(int32_t megabytes, int64_t totalBytes) {
  if (totalBytes <= 0) {
    return megabytes;
  }
  const int64_t total = RoundToInt64(static_cast<long double>(totalBytes) / 1024 / 1024);
  return megabytes > total ? static_cast<int32_t>(total) : megabytes;
}
