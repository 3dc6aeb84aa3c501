// Text without the spaces around it, for the console's values and the simulator's script lines alike, each
// with the characters it counts as spaces.
#pragma once

#include <string_view>

namespace common {

inline std::string_view trimmed(std::string_view text, std::string_view spaces) {
  std::size_t first = text.find_first_not_of(spaces);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(spaces) - first + 1);
}

}  // namespace common
