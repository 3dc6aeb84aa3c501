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

/// The numbers of the system calls that `measured` makes, in order, at most 64 of them. It runs in a forked
/// child, after `warmUp`, with every system call trapped by a seccomp filter (and not carried out) but those
/// the trap itself needs. Throws std::runtime_error when the child cannot be run.
std::vector<long> madeBy(const std::function<void()>& warmUp, const std::function<void()>& measured);

}  // namespace standin::syscallcounter
