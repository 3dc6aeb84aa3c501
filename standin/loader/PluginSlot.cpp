#include "standin/loader/PluginSlot.h"

#include "src/host/BakkesModPlugin.h"
#include "src/host/CVarManagerWrapper.h"
#include "src/host/GameWrapper.h"
#include "standin/host/Address.h"

namespace standin {

PluginSlot openSlot(Host& host) {
  std::uint32_t id = host.newSlot();
  OperationLog::InternalScope scope(host.operations);
  // The slot in each address tells the plugins apart; the real host's type arguments have no use here.
  return {id, std::make_shared<GameWrapper>(address::make(address::Kind::Game, id), 0L, typeid(GameWrapper)),
          std::make_shared<CVarManagerWrapper>(address::make(address::Kind::CvarManager, id),
                                               typeid(CVarManagerWrapper))};
}

PluginSlot connectPlugin(Host& host, BakkesMod::Plugin::BakkesModPlugin& plugin) {
  PluginSlot slot = openSlot(host);
  plugin.cvarManagerPtr = slot.cvars;
  plugin.gameWrapperPtr = slot.game;
  return slot;
}

}  // namespace standin
