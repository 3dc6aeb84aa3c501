// The readout's text formatted as the plugin formats it: the reference cost of the text alone.
#pragma once

#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

inline std::string referenceReadout(float value, bool mph) {
  std::ostringstream text;
  text.imbue(std::locale::classic());
  text << std::fixed << std::setprecision(2) << static_cast<double>(value) << (mph ? " mph" : " km/h");
  return text.str();
}
