#include "Game.h"

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

bool Game::offersBall() const {
  return ((freeplay || training) && !eventBalls.empty()) || (replay && replayBall) ||
         (spectating && onlineBall);
}

}  // namespace standin
