// The readout's text formatted as the plugin formats it: the reference for what a refreshing frame may cost,
// and the text the standard library gives a value.
#pragma once

#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

namespace standin {

inline std::string referenceReadout(float value, bool mph) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(2) << static_cast<double>(value) << (mph ? " mph" : " km/h");
  return text.str();
}

}  // namespace standin
