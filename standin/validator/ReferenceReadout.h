// The readout's text formatted as the plugin formats it: the reference for what a refreshing frame may cost,
// and the text the standard library gives a value.
#pragma once

#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

#include "standin/host/Game.h"

namespace standin {

/// The ball of every measured frame: a 3-4-5 triangle, whose length, 5000, is exact in single precision, so
/// that every build measures the same readout, "180.00 km/h".
constexpr Velocity kReferenceVelocity{3000, 4000, 0};
constexpr float kReferenceKmh = 180.0f;

inline std::string referenceReadout(float value, bool mph) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(2) << static_cast<double>(value) << (mph ? " mph" : " km/h");
  return text.str();
}

}  // namespace standin
