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

/// The system calls counted, and why the count may be short of what the code would have made.
struct Counted {
  /// Their numbers, in order, at most 64 of them.
  std::vector<long> numbers;
  /// Why the code was not seen to its end (it threw, or ended the process counting it), or empty.
  std::string unseen;
};

/// The system calls that `measured` makes. It runs in a forked child, after `warmUp`, with every system call
/// trapped by a seccomp filter but those the trap itself needs: none is carried out, each fails with ENOSYS,
/// so code that asks for memory gets none and code that cannot do without a call may throw or end.
Counted madeBy(const std::function<void()>& warmUp, const std::function<void()>& measured);

}  // namespace standin::syscallcounter
