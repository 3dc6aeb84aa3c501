// Korvindel as its validator, its tests and its benchmarks know it: the switch of its readout, the ball of
// every measured frame, and the readout's text formatted as the plugin formats it.
#pragma once

#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

#include "standin/validator/Profile.h"

namespace standin {

/// A 3-4-5 triangle, whose length, 5000, is exact in single precision, so that every build measures the same
/// readout, "180.00 km/h".
constexpr Velocity kReferenceVelocity{3000, 4000, 0};
constexpr float kReferenceKmh = 180.0f;

/// The text the standard library gives a value, as the plugin shows it.
inline std::string referenceReadout(float value, bool mph) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(2) << static_cast<double>(value) << (mph ? " mph" : " km/h");
  return text.str();
}

inline constexpr PluginProfile kKorvindel{"korvindel_show", kReferenceVelocity,
                                          [] { referenceReadout(kReferenceKmh, false); }};

}  // namespace standin
