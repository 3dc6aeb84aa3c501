#include "standin/host/wrappers/ImplementationObjects.h"

#include <cstdlib>
#include <new>
#include <utility>

namespace standin {

namespace {

// Implementation objects are small and are made and freed many times in every frame: freed blocks are kept
// for the next object, so that the host's bookkeeping stays a small part of what a frame costs. Under
// AddressSanitizer (the build says whether it runs under one) each comes from malloc instead, so that a
// wrapper destroyed twice is caught.
constexpr bool kKeepsBlocks = !KORVINDEL_ADDRESS_SANITIZER;

struct FreeBlock {
  FreeBlock* next;
};
// One size for every implementation object, so that any freed block serves any class level: the base level
// holds one address, the derived levels nothing.
constexpr std::size_t kBlockSize = 16;
FreeBlock* freeBlocks = nullptr;

}  // namespace

void* HostAllocated::operator new(std::size_t size) {
  if (kKeepsBlocks && size <= kBlockSize && freeBlocks != nullptr) {
    return std::exchange(freeBlocks, freeBlocks->next);
  }
  if (void* memory = std::malloc(kKeepsBlocks && size <= kBlockSize ? kBlockSize : size)) return memory;
  throw std::bad_alloc();
}

void HostAllocated::operator delete(void* memory, std::size_t size) noexcept {
  if (kKeepsBlocks && size <= kBlockSize && memory != nullptr) {
    freeBlocks = new (memory) FreeBlock{freeBlocks};
    return;
  }
  std::free(memory);
}

WrapperLife::WrapperLife(std::uintptr_t address) noexcept : address_(address) {
  if (Host* host = Host::current()) host->operations.wrapperCreated(address_);
}

WrapperLife::WrapperLife(const WrapperLife& other) noexcept : WrapperLife(other.address_) {}

WrapperLife& WrapperLife::operator=(const WrapperLife& other) noexcept {
  if (Host* host = Host::current()) {
    host->operations.wrapperDestroyed(address_);
    host->operations.wrapperCreated(other.address_);
  }
  address_ = other.address_;
  return *this;
}

WrapperLife::~WrapperLife() {
  if (Host* host = Host::current()) host->operations.wrapperDestroyed(address_);
}

}  // namespace standin
