// Items written out one after another with a separator between them, as messages and logs list them.
#pragma once

#include <string>
#include <string_view>

namespace common {

/// Each item as `show` writes it, `separator` between two.
template <typename Items, typename Show>
std::string joined(const Items& items, std::string_view separator, Show show) {
  std::string text;
  bool first = true;
  for (const auto& item : items) {
    if (!first) text += separator;
    first = false;
    text += show(item);
  }
  return text;
}

/// Each item, which converts to a string_view, `separator` between two.
template <typename Items>
std::string joined(const Items& items, std::string_view separator) {
  return joined(items, separator, [](std::string_view item) { return item; });
}

}  // namespace common
