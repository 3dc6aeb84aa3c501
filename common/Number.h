// The number syntax that the console and the simulator's scripts share: numbers read from text, and written
// as the shortest text that reads back the same.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace common {

enum class Reading { Number, NotANumber, OutOfRange };

/// Reads a whole word as a number: at most one sign, a '+' only where std::from_chars then reads a plain
/// number, then what std::from_chars reads. A float or a double too small to tell from zero reads as a zero
/// of its sign; too large for the type is out of range. The value is set only for Reading::Number.
Reading readNumber(std::string_view word, float& value);
Reading readNumber(std::string_view word, double& value);
Reading readNumber(std::string_view word, std::int64_t& value);

/// The shortest text that reads back as the same number.
std::string shortestText(float value);
std::string shortestText(double value);

}  // namespace common
