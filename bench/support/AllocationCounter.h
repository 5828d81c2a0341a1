#pragma once
// Counts heap allocations of the whole program (global operator new is replaced).
#include <chrono>
#include <cstdint>
#include <cstdio>

namespace bench {

uint64_t Allocations();

// Runs body `iterations` times; prints nanoseconds and heap allocations per iteration.
template <class Body>
void Measure(const char* label, uint64_t iterations, Body&& body) {
  for (uint64_t i = 0; i < iterations / 10 + 1; ++i) {
    body();  // warm-up
  }
  const uint64_t before = Allocations();
  const auto start = std::chrono::steady_clock::now();
  for (uint64_t i = 0; i < iterations; ++i) {
    body();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  const uint64_t allocations = Allocations() - before;
  const double ns = std::chrono::duration<double, std::nano>(elapsed).count() / iterations;
  std::printf("%-48s %12.1f ns/op %10.3f allocations/op\n", label, ns,
              static_cast<double>(allocations) / iterations);
}

}  // namespace bench
