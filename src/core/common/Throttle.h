#pragma once

#include <chrono>

namespace vld {

// Lets progress through a few times a second: enough for the eye, and cheap
// for work that reports after every small piece.
class TThrottle {
 public:
  static constexpr std::chrono::milliseconds kInterval{30};

  // True when the last report is at least kInterval ago, or `final` is set.
  bool Due(bool final = false) {
    const auto now = std::chrono::steady_clock::now();
    if (!final && started_ && now - last_ < kInterval) return false;
    started_ = true;
    last_ = now;
    return true;
  }

 private:
  bool started_ = false;
  std::chrono::steady_clock::time_point last_;
};

}  // namespace vld
