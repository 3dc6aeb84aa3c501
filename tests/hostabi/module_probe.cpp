// A module that uses the host's wrappers as the plugin does, in the ways that need no standard library: it
// receives a canvas and a console variable, asks the game, takes events, arrays and balls, and destroys each.
// Linked against an import library of the host's exports, its imports are what check_imports.cmake reads.
// It includes the headers by their bare names, as a module built against the host's folder of headers does.
#include "ArrayWrapper.h"
#include "CVarWrapper.h"
#include "CanvasWrapper.h"
#include "GameWrapper.h"
#include "ReplayServerWrapper.h"

// Floating-point code for this ABI refers to this symbol, which a C runtime would define.
extern "C" int _fltused = 0;

#if defined(PROBE_KEEPS_THE_VARIABLE)
#define RECEIVED_VARIABLE CVarWrapper&
#else
#define RECEIVED_VARIABLE CVarWrapper
#endif

extern "C" __declspec(dllexport) float frame(GameWrapper& game, CanvasWrapper canvas,
                                             RECEIVED_VARIABLE cvar) {
  float sum = 0;
  if (game.IsInFreeplay() && cvar.getBoolValue()) {
    ServerWrapper event = game.GetGameEventAsServer();
    ArrayWrapper<BallWrapper> balls = event.GetGameBalls();
    BallWrapper ball = balls.Get(balls.Count() - 1);
    if (!ball.IsNull()) sum += ball.GetRBState().LinearVelocity[0] + ball.GetExplosionTime();
  }
  sum += static_cast<float>(game.GetGameEventAsReplay().GetBall().IsNull());
  canvas.SetColor(1, 2, 3, 4);
  canvas.SetPosition(canvas.GetSize());
  return sum;
}
