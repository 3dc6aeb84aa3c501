#include "standin/validator/Allocations.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include "common/Countdown.h"
#include "common/System.h"

// Replacing the global operator new in the program catches every allocation of the process, the plugin
// module's included, since the module binds to the program's definition.
namespace {
common::Countdown counted;
long liveCount = 0;
}  // namespace

namespace allocations {
long made() { return static_cast<long>(counted.made()); }
long live() { return liveCount; }
void failAt(long n) { counted.chooseIn(static_cast<std::uint64_t>(n)); }
standin::AllocationCounter counter() {
  std::string_view unseen = os::allocationsOfModulesUnseen();
  return {unseen.empty() ? &made : nullptr, unseen};
}
}  // namespace allocations

void* operator new(std::size_t size) {
  if (counted.next()) throw std::bad_alloc();
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
// Over-aligned memory comes from the counted kind: room to move to the alignment, and where the block began,
// kept just before what is handed out.
void* operator new(std::size_t size, std::align_val_t alignment) {
  auto align = static_cast<std::size_t>(alignment);
  if (size > SIZE_MAX - align - sizeof(void*)) throw std::bad_alloc();
  void* block = ::operator new(size + align + sizeof(void*));
  std::uintptr_t at = (reinterpret_cast<std::uintptr_t>(block) + sizeof(void*) + align - 1) & ~(align - 1);
  reinterpret_cast<void**>(at)[-1] = block;
  return reinterpret_cast<void*>(at);
}
void* operator new[](std::size_t size, std::align_val_t alignment) { return ::operator new(size, alignment); }
void operator delete(void* memory, std::align_val_t) noexcept {
  if (memory != nullptr) ::operator delete(static_cast<void**>(memory)[-1]);
}
void operator delete[](void* memory, std::align_val_t alignment) noexcept {
  ::operator delete(memory, alignment);
}
void operator delete(void* memory, std::size_t, std::align_val_t alignment) noexcept {
  ::operator delete(memory, alignment);
}
void operator delete[](void* memory, std::size_t, std::align_val_t alignment) noexcept {
  ::operator delete(memory, alignment);
}
