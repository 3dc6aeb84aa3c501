#include "Allocations.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Replacing the global operator new in the program catches every allocation of the process, the plugin
// module's included, since the module binds to the program's definition.
namespace {
std::atomic<long> madeCount{0};
std::atomic<long> liveCount{0};
std::atomic<long> failing{0};
}  // namespace

namespace allocations {
long made() { return madeCount; }
long live() { return liveCount; }
void failAt(long n) { failing = n == 0 ? 0 : madeCount + n; }
}  // namespace allocations

void* operator new(std::size_t size) {
  long made = ++madeCount;
  if (made == failing.load()) {
    failing = 0;
    throw std::bad_alloc();
  }
  void* memory = std::malloc(size == 0 ? 1 : size);
  if (memory == nullptr) throw std::bad_alloc();
  ++liveCount;
  return memory;
}
void* operator new[](std::size_t size) { return ::operator new(size); }
void operator delete(void* memory) noexcept {
  if (memory == nullptr) return;
  --liveCount;
  std::free(memory);
}
void operator delete[](void* memory) noexcept { ::operator delete(memory); }
void operator delete(void* memory, std::size_t) noexcept { ::operator delete(memory); }
void operator delete[](void* memory, std::size_t) noexcept { ::operator delete(memory); }
