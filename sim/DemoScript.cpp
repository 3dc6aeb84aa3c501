#include "sim/DemoScript.h"

namespace sim {

const std::string_view kDemoScript = R"(# Korvindel demo session
canvas 1280 720
record demo.gif
state freeplay
# The readout is off until korvindel_show is switched on.
frame 2
korvindel_show 1
frame 2
# The ball speeds up.
velocity 500 0 0
frame 2
velocity 1200 600 0
frame 2
velocity 2000 1000 300
frame 2
velocity 3000 1500 400
frame 2
korvindel_mph 1
frame 2
# Colour, position and size.
korvindel_r 255
korvindel_g 196
korvindel_b 0
korvindel_a 230
korvindel_xpos 0.38
korvindel_ypos 0.42
korvindel_textsize 3
frame 2
# A goal: while the ball explodes the readout holds its last value.
explosion 2.5
velocity 0 0 0
frame 3
explosion 0
frame 2
korvindel_mph 0
state training
velocity 1400 -900 250
frame 3
state replay
velocity 2300 0 0
frame 3
state spectate
velocity 300 400 0
frame 3
# The main menu: no ball, nothing drawn.
state
frame 2
korvindel_show 0
state freeplay
frame 2
korvindel_show 1
velocity 2600 1200 500
frame 3
record stop
snapshot demo.png
)";

}  // namespace sim
