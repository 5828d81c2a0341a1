#pragma once
// An icon made by the platform, opaque to the core; nullptr stands for none.
#include <utility>

#include "foundation/base/Guard.h"

using IconHandle = void*;

// The one owner of an icon in the core: it gives the icon back through the port that made it
// (any port with DestroyIcon), exactly once. reset() lets a failing DestroyIcon through, with the
// icon forgotten.
template <class Port>
class OwnedIcon {
 public:
  explicit OwnedIcon(Port& port, IconHandle icon = nullptr) : port_(&port), icon_(icon) {}
  OwnedIcon(const OwnedIcon&) = delete;
  OwnedIcon& operator=(const OwnedIcon&) = delete;
  OwnedIcon(OwnedIcon&& other) noexcept : port_(other.port_), icon_(other.release()) {}
  // The icon held before is given back quietly, as in the destructor.
  OwnedIcon& operator=(OwnedIcon&& other) noexcept {
    if (this != &other) {
      guarded([&] { reset(); });
      port_ = other.port_;
      icon_ = other.release();
    }
    return *this;
  }
  ~OwnedIcon() {
    guarded([&] { reset(); });
  }

  IconHandle get() const { return icon_; }
  IconHandle release() { return std::exchange(icon_, nullptr); }
  void reset(IconHandle icon = nullptr) {
    if (const IconHandle old = std::exchange(icon_, icon); old != nullptr) {
      port_->DestroyIcon(old);
    }
  }

 private:
  Port* port_;
  IconHandle icon_;
};
