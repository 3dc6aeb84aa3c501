// The stand-in host: a game, a canvas, drawables and console variables that a real plugin module runs
// against, with a log of every host operation the plugin makes and a switch that makes one of them fail.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "src/host/CanvasWrapper.h"
#include "src/host/HostApi.h"
#include "standin/host/Canvas.h"
#include "standin/host/Console.h"
#include "standin/host/Finding.h"
#include "standin/host/Game.h"
#include "standin/host/OperationLog.h"

namespace standin {

/// One host per process, as in the game: constructing a Host makes it the one every wrapper talks to.
class HOST_API Host {
 public:
  Host();
  ~Host();
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  /// The host that wrappers talk to, or nullptr when none runs.
  static Host* current() noexcept { return activeHost_; }

  Game game;
  Canvas canvas;
  /// Its switches model what a real host may do differently and a plugin must not rely on: whether binding
  /// writes a cell at once (setWriteOnBind) and whether a change reaches the hooks before the cells
  /// (setHooksBeforeCells).
  Console console;

  /// A new slot for a plugin: what tells its handles, drawables, hooks and bindings from another plugin's.
  std::uint32_t newSlot() { return nextSlot_++; }
  /// Removes every drawable, hook and binding of the plugin, as the host does when it unloads one. Returns
  /// how many drawables and hooks there were.
  std::size_t closeSlot(std::uint32_t slot);

  void registerDrawable(std::uint32_t slot, std::function<void(CanvasWrapper)> drawable);
  void unregisterDrawables(std::uint32_t slot);
  std::size_t drawableCount() const;
  /// Clears the canvas and calls every registered drawable with it. Drawables registered during the frame are
  /// first called on the next one; drawables removed during the frame are not called again.
  void drawFrame();

  /// Every host operation the plugins make and every wrapper's life, and the fault injection.
  OperationLog operations;

  /// Switches the global-state check around every call into plugin code on or off (on by default). It
  /// allocates nothing, but asks the system for the working directory.
  void setChecking(bool on) { checking_ = on; }
  bool checking() const { return checking_; }
  /// What the host's checks found so far.
  const std::vector<Finding>& findings() const { return findings_; }
  void addFinding(Finding finding) noexcept;
  /// Called with every finding of any host as it is made; the test programs fail the running test with it.
  /// nullptr (the default) only records.
  static void setReporter(void (*reporter)(const Finding&)) { reporter_ = reporter; }
  static void (*reporter())(const Finding&) { return reporter_; }

  /// The ball behind an address, or nullptr for the null ball or a ball that no longer exists.
  Ball* ballAt(std::uintptr_t address);
  /// The number of balls an event reports.
  std::int32_t ballCount(std::uintptr_t eventOrArray) const;

 private:
  static Host* activeHost_;
  static void (*reporter_)(const Finding&);

  struct Drawable {
    std::uint32_t slot;
    std::function<void(CanvasWrapper)> draw;
  };

  std::vector<Drawable> drawables_;
  std::vector<Drawable> added_;
  bool drawing_ = false;
  std::uint32_t nextSlot_ = 1;
  bool checking_ = true;
  std::vector<Finding> findings_;
};

}  // namespace standin
