#include "standin/host/Host.h"

#include <algorithm>
#include <string>

#include "standin/host/Address.h"
#include "standin/host/PluginCallGuard.h"

namespace standin {

Host* Host::activeHost_ = nullptr;
void (*Host::reporter_)(const Finding&) = nullptr;

Host::Host() {
  if (activeHost_ != nullptr) throw std::logic_error("a stand-in host is already running in this process");
  activeHost_ = this;
}

Host::~Host() {
  // Drawables and hooks may hold the last copies of wrappers; drop them while this host still counts.
  drawables_.clear();
  added_.clear();
  console = Console();
  activeHost_ = nullptr;
}

std::size_t Host::closeSlot(std::uint32_t slot) {
  auto ofSlot = [slot](const Drawable& drawable) { return drawable.slot == slot; };
  auto drawables = static_cast<std::size_t>(std::count_if(drawables_.begin(), drawables_.end(), ofSlot) +
                                            std::count_if(added_.begin(), added_.end(), ofSlot));
  unregisterDrawables(slot);
  return drawables + console.dropPlugin(slot);
}

void Host::registerDrawable(std::uint32_t slot, std::function<void(CanvasWrapper)> drawable) {
  (drawing_ ? added_ : drawables_).push_back({slot, std::move(drawable)});
}

void Host::unregisterDrawables(std::uint32_t slot) {
  auto matches = [slot](const Drawable& drawable) { return drawable.slot == slot; };
  std::erase_if(added_, matches);
  if (!drawing_) {
    std::erase_if(drawables_, matches);
    return;
  }
  // The frame under way may be running one of them: only mark them, the frame drops them when it ends.
  for (Drawable& drawable : drawables_) {
    if (matches(drawable)) drawable.slot = 0;
  }
}

std::size_t Host::drawableCount() const {
  return added_.size() +
         static_cast<std::size_t>(std::count_if(drawables_.begin(), drawables_.end(),
                                                [](const Drawable& d) { return d.slot != 0; }));
}

void Host::drawFrame() {
  canvas.ops.clear();
  // Drawables registered during the frame wait for the next one, so the list stays put while it is walked and
  // a frame allocates nothing of its own.
  struct EndOfFrame {
    Host& host;
    ~EndOfFrame() {
      host.drawing_ = false;
      std::erase_if(host.drawables_, [](const Drawable& drawable) { return drawable.slot == 0; });
      for (Drawable& drawable : host.added_) host.drawables_.push_back(std::move(drawable));
      host.added_.clear();
    }
  } endOfFrame{*this};
  drawing_ = true;
  for (std::size_t i = 0; i < drawables_.size(); ++i) {
    if (drawables_[i].slot == 0) continue;
    // The host has one screen, so every canvas is the same nonzero address: 0 would be the null object.
    CanvasWrapper surface(address::make(address::Kind::Canvas, 1));
    PluginCallGuard call("a drawable");
    drawables_[i].draw(surface);
  }
}

void Host::addFinding(Finding finding) noexcept {
  try {
    findings_.push_back(finding);
    if (reporter_ != nullptr) reporter_(findings_.back());
  } catch (...) {
    // A host without memory left to record a finding has worse to report; the check itself must not throw.
  }
}

Ball* Host::ballAt(std::uintptr_t address) {
  if (address::kindOf(address) != address::Kind::Ball) return nullptr;
  std::uint32_t index = address::ballIndexOf(address);
  switch (address::eventOf(address)) {
    case address::Event::Local:
      return index < game.eventBalls.size() ? &game.eventBalls[index] : nullptr;
    case address::Event::Replay:
      return index == 0 && game.replayBall ? &*game.replayBall : nullptr;
    case address::Event::Online:
      return index == 0 && game.onlineBall ? &*game.onlineBall : nullptr;
  }
  return nullptr;
}

std::int32_t Host::ballCount(std::uintptr_t eventOrArray) const {
  switch (address::eventOf(eventOrArray)) {
    case address::Event::Local:
      return game.reportedBallCount.value_or(static_cast<std::int32_t>(game.eventBalls.size()));
    case address::Event::Replay:
      return game.replayBall ? 1 : 0;
    case address::Event::Online:
      return game.onlineBall ? 1 : 0;
  }
  return 0;
}

}  // namespace standin
