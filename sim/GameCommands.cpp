#include "sim/GameCommands.h"

#include <optional>
#include <string_view>
#include <vector>

#include "common/Joined.h"

namespace sim {

void GameCommands::apply(const command::State& state) {
  static_cast<standin::GameStates&>(host_.game) = state;
}

void GameCommands::apply(const command::EventBalls& balls) {
  host_.game.eventBalls.assign(static_cast<std::size_t>(balls.count), ball_);
}

void GameCommands::apply(const command::EventHasBall& ball) {
  std::optional<standin::Ball>& event = ball.online ? host_.game.onlineBall : host_.game.replayBall;
  if (ball.present) {
    event = ball_;
  } else {
    event.reset();
  }
}

void GameCommands::apply(const command::Velocity& velocity) {
  ball_.velocity = {velocity.x, velocity.y, velocity.z};
  host_.game.setVelocity(ball_.velocity);
}

void GameCommands::apply(const command::Explosion& explosion) {
  ball_.explosionTime = explosion.time;
  host_.game.setExplosionTime(explosion.time);
}

void GameCommands::apply(const command::Canvas& canvas) { host_.canvas.size = {canvas.width, canvas.height}; }

std::string GameCommands::stateName() const {
  const standin::Game& game = host_.game;
  std::vector<std::string_view> on;
  for (const standin::GameState& state : standin::kGameStates) {
    if (game.*state.on) on.push_back(state.name);
  }
  return on.empty() ? "main menu" : common::joined(on, " + ");
}

}  // namespace sim
