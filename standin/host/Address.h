// How the stand-in host encodes which of its objects a wrapper's 64-bit address stands for.
#pragma once

#include <cstdint>
#include <string_view>

#include "src/host/HostApi.h"

namespace standin::address {

// The top byte names the kind of object, the rest identifies it. Address 0 is the null object.
enum class Kind : std::uint8_t { None, Game, CvarManager, Cvar, Canvas, Event, BallArray, Ball };

enum class Event : std::uint32_t { Local = 1, Replay = 2, Online = 3 };

constexpr std::uintptr_t make(Kind kind, std::uint64_t payload) {
  return (static_cast<std::uintptr_t>(kind) << 56) | (payload & 0x00ff'ffff'ffff'ffffULL);
}
constexpr Kind kindOf(std::uintptr_t address) { return static_cast<Kind>(address >> 56); }
constexpr std::uint64_t payloadOf(std::uintptr_t address) { return address & 0x00ff'ffff'ffff'ffffULL; }

constexpr std::uintptr_t event(Event which) { return make(Kind::Event, static_cast<std::uint32_t>(which)); }
constexpr std::uintptr_t ballArray(Event which) {
  return make(Kind::BallArray, static_cast<std::uint32_t>(which));
}
constexpr std::uintptr_t ball(Event which, std::uint32_t index) {
  return make(Kind::Ball, (std::uint64_t{static_cast<std::uint32_t>(which)} << 32) | index);
}
constexpr Event eventOf(std::uintptr_t address) {
  auto kind = kindOf(address);
  auto payload = payloadOf(address);
  return static_cast<Event>(kind == Kind::Ball ? payload >> 32 : payload);
}
constexpr std::uint32_t ballIndexOf(std::uintptr_t address) {
  return static_cast<std::uint32_t>(payloadOf(address));
}

// A console variable as one plugin sees it: the plugin's slot and the variable's id.
constexpr std::uintptr_t cvar(std::uint32_t slot, std::uint32_t id) {
  return make(Kind::Cvar, (std::uint64_t{slot} << 32) | id);
}
constexpr std::uint32_t slotOf(std::uintptr_t address) {
  return static_cast<std::uint32_t>(kindOf(address) == Kind::Cvar ? payloadOf(address) >> 32
                                                                  : payloadOf(address));
}
constexpr std::uint32_t cvarIdOf(std::uintptr_t address) {
  return static_cast<std::uint32_t>(payloadOf(address));
}

/// The wrapper class that usually holds such an address, for logs.
HOST_API std::string_view describe(std::uintptr_t address);

}  // namespace standin::address
