#pragma once
// A system information query whose record has grown from one Windows version to the next: it is
// tried with the length this program knows and, while the system answers that the length does
// not match, again with the length the system asks for (or twice the last one), up to a bound.
#include <algorithm>
#include <cstdint>
#include <optional>

// NTSTATUS of a query whose length is not the one the system wants.
inline constexpr uint32_t StatusInfoLengthMismatch = 0xC0000004u;

struct QueryAnswer {
  uint32_t status = 0;        // 0 is success
  uint32_t wantedLength = 0;  // the length the system says it needs, 0 when it does not say
};

// Room for an answer that grows between two tries: the process list does, as processes start
// while the longer buffer is being made.
enum class Headroom { None, Quarter };

// query(length) makes one query with a buffer of that length. The length that succeeded, or
// nothing when a query fails otherwise or no length up to maxLength is accepted.
template <class Query>
std::optional<uint32_t> QueryGrowing(uint32_t length, uint32_t maxLength, Query&& query,
                                     Headroom headroom = Headroom::None) {
  for (;;) {
    const QueryAnswer answer = query(length);
    if (answer.status == 0) {
      return length;
    }
    if (answer.status != StatusInfoLengthMismatch || length >= maxLength) {
      return std::nullopt;
    }
    // The length the system asks for, or else twice the last one. Every try is longer than the one
    // before, so the bound is reached after a few.
    const uint64_t wanted = answer.wantedLength;
    const uint64_t next = wanted > length
                              ? wanted + (headroom == Headroom::Quarter ? wanted / 4 : 0)
                              : std::max<uint64_t>(uint64_t{length} * 2, 1);
    length = static_cast<uint32_t>(std::min<uint64_t>(next, maxLength));
  }
}
