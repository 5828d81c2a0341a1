#pragma once
// Handlers guard their whole body: a failure ends the handler quietly and the program goes on
// with its next event. This is the one place that says so.
#include <utility>

template <class Body>
void guarded(Body&& body) noexcept {
  try {
    std::forward<Body>(body)();
  } catch (...) {
  }
}

// The same for a routine with a result: a failure yields fallback.
template <class T, class Body>
T guarded_or(T fallback, Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return fallback;
  }
}
