#pragma once
// Asking the vendor's web server whether a newer version exists, and starting the updater when
// the user clicks the update balloon.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "foundation/LauncherPort.h"
#include "tray/HttpGetPort.h"

namespace UpdateRequest {
// The vendor's web server, fixed when the program is built (tests build against a local one).
inline constexpr std::u16string_view Host = NIMBELLO_UPDATE_HOST;
inline constexpr uint16_t Port = NIMBELLO_UPDATE_PORT;
inline constexpr std::u16string_view Path = u"/downloads/update/";
// The version here is part of the server's protocol, not the program's own version.
inline constexpr std::u16string_view Query = u"product=nimbello&version=6.2.28.2011";
inline constexpr std::u16string_view UserAgent = u"Mozilla/4.0 (compatible; VELTRA)";
// The answer is a few bytes; a server that sends more is broken or hostile and must not fill
// the applet's memory.
inline constexpr size_t MaxBodyBytes = size_t{1024} * 1024;
}  // namespace UpdateRequest

// 0: no update; 1: an update exists; 2: the server's third answer; -1: no usable answer.
// Blocks until the exchange ends (the port bounds it); never throws.
int32_t CheckForUpdate(HttpGetPort& http) noexcept;

// Starts the updater from the program folder, unowned; failures are ignored.
void TrayIconBalloonClick(LauncherPort& launcher) noexcept;
