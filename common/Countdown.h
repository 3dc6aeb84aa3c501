// Operations of one kind, counted, with one of them chosen to fail: what every fault-injection switch of
// the project shares (the host's operations, the simulator's file operations, the test programs'
// allocations).
#pragma once

#include <cstdint>

namespace common {

class Countdown {
 public:
  /// Counts one operation; true when it is the chosen one, which is then forgotten.
  bool next() {
    if (++made_ != chosen_) return false;
    chosen_ = 0;
    return true;
  }
  /// Chooses the nth operation from now; 0 chooses none.
  void chooseIn(std::uint64_t n) { chosen_ = n == 0 ? 0 : made_ + n; }
  /// Operations counted so far.
  std::uint64_t made() const { return made_; }

 private:
  std::uint64_t made_ = 0;
  std::uint64_t chosen_ = 0;
};

}  // namespace common
