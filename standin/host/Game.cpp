#include "standin/host/Game.h"

namespace standin {

void Game::forEachBall(const std::function<void(Ball&)>& visit) {
  for (Ball& ball : eventBalls) visit(ball);
  if (replayBall) visit(*replayBall);
  if (onlineBall) visit(*onlineBall);
}

void Game::setVelocity(Velocity velocity) {
  forEachBall([velocity](Ball& ball) { ball.velocity = velocity; });
}

void Game::setExplosionTime(float time) {
  forEachBall([time](Ball& ball) { ball.explosionTime = time; });
}

bool Game::hasBall(BallSource source) const {
  switch (source) {
    case BallSource::LocalEvent:
      return !eventBalls.empty();
    case BallSource::Replay:
      return replayBall.has_value();
    case BallSource::OnlineMatch:
      return onlineBall.has_value();
  }
  return false;
}

bool Game::offersBall() const {
  for (const GameState& state : kGameStates) {
    if (this->*state.on && hasBall(state.ball)) return true;
  }
  return false;
}

}  // namespace standin
