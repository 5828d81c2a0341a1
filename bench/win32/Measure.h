// Times a body over many runs after a short warm-up and prints one "label  N us/op" line, the form
// the benchmark table reads.
#pragma once

#include <chrono>
#include <cstdio>

template <class Body>
void Measure(const char* label, int iterations, Body&& body) {
  for (int i = 0; i < iterations / 10; ++i) {
    body();  // warm-up
  }
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < iterations; ++i) {
    body();
  }
  const double us =
      std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count();
  std::printf("%-56s %10.2f us/op\n", label, us / iterations);
}
