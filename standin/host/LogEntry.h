// One entry of the stand-in host's log: a host operation a plugin made, or a wrapper's life beginning or
// ending.
#pragma once

#include <cstdint>
#include <string_view>

namespace standin {

struct LogEntry {
  enum class Kind { Call, Created, Destroyed };
  Kind kind;
  /// The operation's name as the host spells it, or the wrapper class for Created and Destroyed.
  std::string_view name;
  std::uintptr_t address = 0;

  bool operator==(const LogEntry&) const = default;
};

}  // namespace standin
