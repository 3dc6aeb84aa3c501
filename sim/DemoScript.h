// The session that korvindel-sim plays when it is given no script.
#pragma once

#include <string_view>

namespace sim {

/// Shows every capability once and writes demo.gif and demo.png.
extern const std::string_view kDemoScript;

}  // namespace sim
