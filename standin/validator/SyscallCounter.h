// Counting the system calls that a piece of code makes: none is allowed in a plugin's frame, where a call
// into the kernel is a stall the player sees.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace standin::syscallcounter {

/// Why this build cannot count, or empty when it can (Linux on x86-64, without a sanitizer's runtime, which
/// makes calls of its own).
std::string unavailable();

/// The system calls counted, and how the code ended if not by returning.
struct Counted {
  /// Their numbers, in order, at most 64 of them.
  std::vector<long> numbers;
  /// How the code was cut short under the count (it threw, or ended the process), or empty: code that does
  /// either in a frame has done what a frame must not, whatever the numbers say.
  std::string cutShort;
  /// Why nothing could be counted, or empty.
  std::string unseen;
};

/// The system calls that `measured` makes. It runs in a forked child, after `warmUp`, with every system call
/// trapped by a seccomp filter but those the trap itself needs: none is carried out, each fails with ENOSYS,
/// so code that asks for memory gets none and code that cannot do without a call may throw or end.
/// Where this build cannot count, only `unseen` says so.
Counted madeBy(const std::function<void()>& warmUp, const std::function<void()>& measured);

}  // namespace standin::syscallcounter
