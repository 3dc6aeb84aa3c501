// The script commands that change the game a script plays: its states, its events' balls and the screen the
// plugin draws on. The game itself is the stand-in host's (standin/host/Game.h).
#pragma once

#include <string>

#include "sim/Script.h"
#include "standin/host/Host.h"

namespace sim {

/// The stand-in host's game and canvas as script lines change them. Velocity and explosion time belong to the
/// game: every ball has them, balls added later included.
class GameCommands {
 public:
  explicit GameCommands(standin::Host& host) : host_(host) {}

  /// The commands that change the game or the screen.
  void apply(const command::State& state);
  void apply(const command::EventBalls& balls);
  void apply(const command::EventHasBall& ball);
  void apply(const command::Velocity& velocity);
  void apply(const command::Explosion& explosion);
  void apply(const command::Canvas& canvas);

  /// The game states that are on, as a person names them ("free play + replay"), or "main menu".
  std::string stateName() const;
  /// Whether the ball the plugin is given is exploding, which holds its readout.
  bool exploding() const { return host_.game.offersBall() && ball_.explosionTime != 0; }

 private:
  standin::Host& host_;
  /// What every ball has, for balls added later.
  standin::Ball ball_;
};

}  // namespace sim
