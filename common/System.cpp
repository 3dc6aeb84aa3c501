// What the seam says the same way on every system, from what each system's implementation lists.
#include "common/System.h"

namespace os {

std::string signalName(int signal) {
  for (std::span<const Signal> signals : {endingSignals(), crashSignals()}) {
    for (const Signal& known : signals) {
      if (known.number == signal) return std::string(known.name);
    }
  }
  return "signal " + std::to_string(signal);
}

}  // namespace os
