#pragma once
// Counts heap allocations of the whole program (global operator new is replaced).
// Under valgrind's callgrind the same Measure counts instructions instead: it runs fewer
// iterations (times mean nothing there) and dumps the counts of exactly the measured loop, labelled
// "<label>|<iterations>", which scripts/bench.sh turns into instructions per operation.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#define NIMBELLO_BENCH_CALLGRIND 1
#endif

namespace bench {

uint64_t Allocations();

// Runs body `iterations` times; prints nanoseconds and heap allocations per iteration, or per unit
// where one iteration handles `units` of them (records of one answer, say).
template <class Body>
void Measure(const char* label, uint64_t iterations, Body&& body, uint64_t units = 1) {
#ifdef NIMBELLO_BENCH_CALLGRIND
  if (RUNNING_ON_VALGRIND) {
    // Enough to spread the first iteration's one-off costs thin; callgrind runs ~50 times slower.
    iterations = std::clamp<uint64_t>(iterations / 100, 1, 2000);
  }
#endif
  for (uint64_t i = 0; i < iterations / 10 + 1; ++i) {
    body();  // warm-up
  }
#ifdef NIMBELLO_BENCH_CALLGRIND
  CALLGRIND_ZERO_STATS;
#endif
  const uint64_t before = Allocations();
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < iterations; ++i) {
    body();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const uint64_t allocations = Allocations() - before;
#ifdef NIMBELLO_BENCH_CALLGRIND
  if (RUNNING_ON_VALGRIND) {
    const std::string dump = std::string(label) + "|" + std::to_string(iterations * units);
    CALLGRIND_DUMP_STATS_AT(dump.c_str());
  }
#endif
  const double operations = static_cast<double>(iterations * units);
  const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / operations;
  std::printf("%-48s %12.1f ns/op %10.3f allocations/op\n", label, ns,
              static_cast<double>(allocations) / operations);
}

}  // namespace bench
