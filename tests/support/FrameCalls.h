// The host operations of a frame that draws the free-play ball, in the order the plugin makes them.
#pragma once

#include <initializer_list>
#include <string_view>
#include <vector>

using Calls = std::vector<std::string_view>;

inline Calls concat(std::initializer_list<Calls> parts) {
  Calls all;
  for (const Calls& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

/// Taking ball 0 of the local event: the event's balls counted first, then ball 0 taken and tested for null.
inline const Calls kLocalBallCalls = {
    "IsInFreeplay",         "GetGameEventAsServer", "GetGameBalls", "Count",
    "GetGameEventAsServer", "GetGameBalls",         "Get",          "IsNull"};
/// Measuring the ball and drawing the readout.
inline const Calls kDrawingCalls = {"GetRBState", "GetExplosionTime", "SetColor",  "GetSize",
                                    "GetSize",    "SetPosition",      "DrawString"};
/// Every host operation of a frame that draws the free-play ball.
inline const Calls kDrawnFrameCalls = concat({kLocalBallCalls, kDrawingCalls});
