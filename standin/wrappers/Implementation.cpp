#include "Implementation.h"

#include <cstdlib>
#include <new>

namespace standin {

void* Implementation::operator new(std::size_t size) {
  if (void* memory = std::malloc(size)) return memory;
  throw std::bad_alloc();
}

void Implementation::operator delete(void* memory) noexcept { std::free(memory); }

WrapperLife::WrapperLife(std::uintptr_t address) noexcept : address_(address) {
  if (Host* host = Host::current()) host->wrapperCreated(address_);
}

WrapperLife::WrapperLife(const WrapperLife& other) noexcept : WrapperLife(other.address_) {}

WrapperLife& WrapperLife::operator=(const WrapperLife& other) noexcept {
  if (Host* host = Host::current()) {
    host->wrapperDestroyed(address_);
    host->wrapperCreated(other.address_);
  }
  address_ = other.address_;
  return *this;
}

WrapperLife::~WrapperLife() {
  if (Host* host = Host::current()) host->wrapperDestroyed(address_);
}

}  // namespace standin
