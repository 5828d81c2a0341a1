#include "worker/LastRelease.h"

#include <array>
#include <cstddef>
#include <string_view>

#include "foundation/Constants.h"
#include "foundation/Guard.h"

namespace {

// Registry numbers are stored little-endian, whatever the host.
template <size_t N>
std::array<std::byte, N> LittleEndian(uint64_t value) {
  std::array<std::byte, N> bytes{};
  for (size_t i = 0; i < N; ++i) {
    bytes[i] = static_cast<std::byte>((value >> (8 * i)) & 0xFF);
  }
  return bytes;
}

void WriteDword(RegistryPort& registry, std::u16string_view name, uint32_t value) {
  guarded([&] {
    registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey, name, RegType::Dword,
                      LittleEndian<4>(value));
  });
}

}  // namespace

void RecordLastRelease(RegistryPort& registry, const LastRelease& outcome) {
  WriteDword(registry, Constants::LastReleaseRequested, outcome.requested);
  WriteDword(registry, Constants::LastReleaseFreed, outcome.freed);
  WriteDword(registry, Constants::LastReleaseMilliseconds, outcome.milliseconds);
  WriteDword(registry, Constants::LastReleaseTrimmed, outcome.trimmed);
  WriteDword(registry, Constants::LastReleaseRefused, outcome.refused);
  guarded([&] {
    registry.SetValue(Constants::SettingsRoot, Constants::LastReleaseKey,
                      Constants::LastReleaseTime, RegType::Qword, LittleEndian<8>(outcome.time));
  });
}
