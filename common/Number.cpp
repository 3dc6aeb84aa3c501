#include "common/Number.h"

#include <array>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>
#include <type_traits>

namespace common {
namespace {

template <typename T>
Reading read(std::string_view word, T& value) {
  std::string_view digits = word;
  if (digits.size() > 1 && digits.front() == '+' && digits[1] != '-') digits.remove_prefix(1);
  const char* end = digits.data() + digits.size();
  T parsed{};
  auto [stop, error] = std::from_chars(digits.data(), end, parsed);
  if (digits.empty() || stop != end || (error != std::errc{} && error != std::errc::result_out_of_range)) {
    return Reading::NotANumber;
  }
  if (error == std::errc{}) {
    value = parsed;
    return Reading::Number;
  }
  if constexpr (std::is_integral_v<T>) {
    return Reading::OutOfRange;
  } else {
    if constexpr (std::is_same_v<T, float>) {
      // Out of a float's range read directly, a subnormal float among them: a double tells which.
      double wide = 0;
      if (std::from_chars(digits.data(), end, wide).ec == std::errc{}) {
        if (std::fabs(wide) > std::numeric_limits<float>::max()) return Reading::OutOfRange;
        value = static_cast<float>(wide);
        return Reading::Number;
      }
    }
    // Too small to tell from zero is zero, as the game's floats would have it; only too large is an error.
    std::size_t exponent = digits.find_first_of("eE");
    if (exponent == std::string_view::npos || digits.substr(exponent + 1, 1) != "-")
      return Reading::OutOfRange;
    value = digits.front() == '-' ? -T{0} : T{0};
    return Reading::Number;
  }
}

template <typename T>
std::string shortest(T value) {
  std::array<char, 32> buffer{};
  auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
  return std::string(buffer.data(), result.ptr);
}

}  // namespace

Reading readNumber(std::string_view word, float& value) { return read(word, value); }
Reading readNumber(std::string_view word, double& value) { return read(word, value); }
Reading readNumber(std::string_view word, std::int64_t& value) { return read(word, value); }

std::string shortestText(float value) { return shortest(value); }
std::string shortestText(double value) { return shortest(value); }

}  // namespace common
