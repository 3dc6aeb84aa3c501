// The handles that the host gives one plugin: its own game and console, made as the host makes them.
#pragma once

#include <cstdint>
#include <memory>

#include "standin/host/Host.h"

class CVarManagerWrapper;
class GameWrapper;
namespace BakkesMod::Plugin {
class BakkesModPlugin;
}

namespace standin {

/// The base handles the host gives one plugin.
struct PluginSlot {
  std::uint32_t id;
  std::shared_ptr<GameWrapper> game;
  std::shared_ptr<CVarManagerWrapper> cvars;
};

/// Gives a plugin its own game and console handles, in a new slot of the host.
PluginSlot openSlot(Host& host);
/// Opens a slot and fills the plugin's two base handles with its handles, as the host does before onLoad;
/// returns the slot.
PluginSlot connectPlugin(Host& host, BakkesMod::Plugin::BakkesModPlugin& plugin);

}  // namespace standin
