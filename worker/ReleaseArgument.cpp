#include "worker/ReleaseArgument.h"

#include "foundation/base/Rounding.h"
#include "foundation/base/Text.h"

std::optional<int32_t> ParseReleaseArgument(std::u16string_view text) {
  return ParseDecimalInt32(text);
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
  const int64_t total = RoundToInt64(RoundedMegabytes(static_cast<long double>(totalBytes)));
  return megabytes > total ? static_cast<int32_t>(total) : megabytes;
}
