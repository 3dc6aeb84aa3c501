// What the stand-in's wrapper classes share: their implementation objects, the life of each wrapper as the
// host counts and logs it, and the special members every class level defines alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>

#include "standin/host/Host.h"

namespace standin {

/// Base of every implementation object behind a wrapper's pointer. They come from the host's own heap,
/// not from operator new: what the plugin allocates is counted apart from what the host does for itself.
struct HostAllocated {
  static void* operator new(std::size_t size);
  static void operator delete(void* memory, std::size_t size) noexcept;
};

/// One wrapper object's life, kept by the implementation object of its first class level: begun when the
/// wrapper is made or copied, ended when it is destroyed. An assignment ends one life and begins another,
/// so that every Created entry of the log pairs with a Destroyed entry of the same address.
class WrapperLife {
 public:
  explicit WrapperLife(std::uintptr_t address) noexcept;
  WrapperLife(const WrapperLife& other) noexcept;
  WrapperLife& operator=(const WrapperLife& other) noexcept;
  ~WrapperLife();

  std::uintptr_t address() const { return address_; }

 private:
  std::uintptr_t address_;
};

/// The implementation object of a wrapper's base-most class level, which keeps the wrapper's life.
struct BaseLevelImpl : HostAllocated {
  explicit BaseLevelImpl(std::uintptr_t address) noexcept : life(address) {}
  WrapperLife life;
};

/// The implementation object of each derived class level: the game object is found through the base level,
/// so it holds nothing of its own, but it is made, copied and freed as the host's are.
struct DerivedLevelImpl : HostAllocated {};

/// One host operation made by the plugin: counted, logged and perhaps failed (see
/// OperationLog::countAndLogOrFail). Throws std::logic_error when no host runs.
inline Host& operation(std::string_view name) {
  Host* host = Host::current();
  if (host == nullptr) throw std::logic_error("no stand-in host is running");
  host->operations.countAndLogOrFail(name);
  return *host;
}

}  // namespace standin

/// The host's copy constructor, assignment and destructor of a wrapper class level: each copies or frees the
/// level's own implementation object, and leaves the levels below to the base class.
#define STANDIN_WRAPPER_LEVEL(Class, Base)                                         \
  Class::Class(const Class& other) : Base(other), pimpl(new Impl(*other.pimpl)) {} \
  Class& Class::operator=(Class rhs) {                                             \
    Base::operator=(rhs);                                                          \
    *pimpl = *rhs.pimpl;                                                           \
    return *this;                                                                  \
  }                                                                                \
  Class::~Class() = default;

/// The same for a wrapper class without a base.
#define STANDIN_WRAPPER(Class)                                        \
  Class::Class(const Class& other) : pimpl(new Impl(*other.pimpl)) {} \
  Class& Class::operator=(Class rhs) {                                \
    *pimpl = *rhs.pimpl;                                              \
    return *this;                                                     \
  }                                                                   \
  Class::~Class() = default;
