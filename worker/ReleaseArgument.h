#pragma once
// The worker's one argument: the megabytes to free, as the tray and the service write them.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// An optional sign and decimal digits, nothing else (no blanks, no separators), that fit a signed
// 32-bit integer. Nothing for anything else.
std::optional<int32_t> ParseReleaseArgument(std::u16string_view text);

// The arguments after the program name: exactly one, parsed as above. Nothing for none, for more
// than one, and for junk.
std::optional<int32_t> ParseReleaseArguments(std::span<const std::u16string> arguments);

// A request for more than the machine has is cut to its total physical memory (rounded
// megabytes). An unknown total (0) cuts nothing.
int32_t CutToTotalMemory(int32_t megabytes, int64_t totalBytes);
