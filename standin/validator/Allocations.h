// Counting the process's heap allocations through operator new, which the program that links Allocations.cpp
// replaces: the modules it loads bind to the program's definition, so their allocations count too.
#pragma once

#include <string_view>

namespace standin {

/// How the running program counts heap allocations: the count so far, or nullptr and why it cannot.
struct AllocationCounter {
  long (*made)() = nullptr;
  std::string_view cannot;
};

}  // namespace standin

namespace allocations {

/// Allocations made so far.
long made();
/// Allocations not yet freed.
long live();
/// Makes the nth allocation from now throw std::bad_alloc; 0 switches that off.
void failAt(long n);
/// The counter for the validator: this program's, where it also sees the allocations of the modules it loads.
standin::AllocationCounter counter();

}  // namespace allocations
