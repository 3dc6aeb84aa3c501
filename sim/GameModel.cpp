#include "GameModel.h"

#include <type_traits>
#include <variant>

namespace sim {

bool GameModel::apply(const Command& command) {
  standin::Game& game = host_.game;
  return std::visit(
      [&](const auto& line) {
        using Line = std::decay_t<decltype(line)>;
        if constexpr (std::is_same_v<Line, command::State>) {
          game.freeplay = line.freeplay;
          game.training = line.training;
          game.replay = line.replay;
          game.spectating = line.spectating;
        } else if constexpr (std::is_same_v<Line, command::EventBalls>) {
          game.eventBalls.assign(static_cast<std::size_t>(line.count), ball_);
        } else if constexpr (std::is_same_v<Line, command::EventHasBall>) {
          std::optional<standin::Ball>& ball = line.online ? game.onlineBall : game.replayBall;
          if (line.present) {
            ball = ball_;
          } else {
            ball.reset();
          }
        } else if constexpr (std::is_same_v<Line, command::Velocity>) {
          ball_.velocity = {line.x, line.y, line.z};
          game.forEachBall([&](standin::Ball& each) { each = ball_; });
        } else if constexpr (std::is_same_v<Line, command::Explosion>) {
          ball_.explosionTime = line.time;
          game.forEachBall([&](standin::Ball& each) { each = ball_; });
        } else if constexpr (std::is_same_v<Line, command::Canvas>) {
          host_.canvas.size = {line.width, line.height};
        } else {
          return false;
        }
        return true;
      },
      command);
}

std::string GameModel::stateName() const {
  const standin::Game& game = host_.game;
  std::string name;
  auto add = [&](bool on, const char* state) {
    if (!on) return;
    if (!name.empty()) name += " + ";
    name += state;
  };
  add(game.freeplay, "free play");
  add(game.training, "training");
  add(game.replay, "replay");
  add(game.spectating, "spectating");
  return name.empty() ? "main menu" : name;
}

}  // namespace sim
