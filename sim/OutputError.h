// The failure of any of the simulator's outputs: a file, a picture, the log.
#pragma once

#include <stdexcept>

namespace sim {

/// An output that cannot be written; the message names it and the reason.
class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace sim
