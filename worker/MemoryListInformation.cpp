#include "worker/MemoryListInformation.h"

std::optional<uint64_t> ModifiedPageCountOf(std::span<const std::byte> written, RecordWidth width) {
  const size_t bytes = BytesOf(width);
  const size_t at = ModifiedPageCountIndex * bytes;
  if (written.size() < at + bytes) {
    return std::nullopt;
  }
  uint64_t pages = 0;
  for (size_t i = 0; i < bytes; ++i) {
    pages |= uint64_t{std::to_integer<uint8_t>(written[at + i])} << (8 * i);
  }
  return pages;
}
