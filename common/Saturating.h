// Truncation toward zero into a 32-bit integer for every value the host and its checks meet, as the game's
// own conversions behave: NaN gives 0, and values beyond the 32-bit range saturate.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace common {

template <typename Real>
std::int32_t saturatingInt32(Real value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<Real>(2147483648.0)) return std::numeric_limits<std::int32_t>::max();
  if (value < static_cast<Real>(-2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

}  // namespace common
