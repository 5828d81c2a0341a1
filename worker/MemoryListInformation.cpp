#include "worker/MemoryListInformation.h"

#include "foundation/base/LittleEndian.h"

std::optional<uint64_t> ModifiedPageCountOf(std::span<const std::byte> written, RecordWidth width) {
  const size_t bytes = BytesOf(width);
  const size_t at = ModifiedPageCountIndex * bytes;
  if (written.size() < at + bytes) {
    return std::nullopt;
  }
  return ReadLittleEndian(written.data() + at, bytes);
}
