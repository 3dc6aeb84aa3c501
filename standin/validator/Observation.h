// The frames the validator draws and what it observes of a module over a load, those frames and an unload:
// the facts its rules judge, and their form on the way from the run that observed them to the validator.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "standin/host/Finding.h"
#include "standin/host/Host.h"
#include "standin/loader/PluginHarness.h"
#include "standin/validator/Allocations.h"
#include "standin/validator/Profile.h"

namespace standin {

/// Loads the module into the harness's host and, when the plugin has registered the profile's switch,
/// switches its drawing on.
void loadSwitchedOn(PluginHarness& harness, const std::filesystem::path& module,
                    const PluginProfile& profile);

/// Draws one frame of every kind a plugin must draw without stalling the game: each game state with the
/// profile's ball, a readout held while the ball explodes, free play without a ball, and the main menu.
void drawEveryKind(Host& host, const PluginProfile& profile);

/// What one load, frames of every kind and one unload showed, and which of it this build could not see.
struct Observed {
  std::int32_t apiVersion = 0;
  /// Whether the descriptor's entry points are the module's exports getPlugin and deleteMe.
  bool entriesAreExports = false;
  int wrappersKeptByFrames = 0;
  int wrappersAfterUnload = 0;
  std::vector<std::string> allocatingFrames;
  std::string allocationsUnseen;
  std::vector<long> systemCalls;
  /// How the frames under the count ended, when not by returning.
  std::string systemCallsCutShort;
  std::string systemCallsUnseen;
  std::vector<Finding> findings;
};

/// Loads the module switched on, draws frames of every kind, measuring their allocations (against the
/// profile's reference work) and system calls, and unloads it. Exceptions from plugin code pass on, the
/// module still loaded unless they came from onLoad or onUnload.
Observed observe(PluginHarness& harness, const std::filesystem::path& module, const PluginProfile& profile,
                 AllocationCounter allocations);

/// The observations as one text, and back; none for a text that is not one.
std::string encoded(const Observed& seen);
std::optional<Observed> decoded(const std::string& text);

}  // namespace standin
