// Counts the process's heap allocations through operator new, and can make a chosen one fail.
#pragma once

namespace allocations {

/// Allocations made so far.
long made();
/// Allocations not yet freed.
long live();
/// Makes the nth allocation from now throw std::bad_alloc; 0 switches that off.
void failAt(long n);

}  // namespace allocations
