#include "Korvindel.h"

#include <cmath>
#include <cstdint>
#include <functional>
#include <iomanip>
#include <limits>
#include <locale>
#include <sstream>
#include <utility>

#include "host/ArrayWrapper.h"
#include "host/CVarManagerWrapper.h"
#include "host/GameWrapper.h"
#include "host/ServerWrapper.h"

// The module holds only this handle; it must be empty at load without start-up code, which a
// default-constructed shared_ptr is (constant initialisation).
static constinit PluginHandle pluginInstance;

extern "C" {

PluginHandle* getPlugin() {
  if (!pluginInstance) {
    // Built for the concrete class, so the control block destroys a Korvindel even though the base
    // destructor is not virtual. Assigned only once both allocations have succeeded.
    pluginInstance = std::shared_ptr<Korvindel>(new Korvindel());
  }
  return &pluginInstance;
}

void deleteMe() {
  // Empty the module's handle before the object's destructor can run.
  PluginHandle released = std::move(pluginInstance);
}

}

// Named arrays, not literals: the class name and the display name must stay two separate texts.
static constexpr char className[] = "Korvindel";
static constexpr char displayName[] = "Korvindel";

extern "C" {

constinit PluginDescriptor exports = {
    .apiVersion = 95,
    .reserved0 = 0,
    .sourceFile = __FILE__,
    .className = className,
    .displayName = displayName,
    .versionText = "1.0",
    .typeFlags = 0x13,
    .reserved1 = 0,
    .createEntry = &getPlugin,
    .deleteEntry = &deleteMe,
};
}

// Each module carries its own copy of the base class's members; the host only ever reaches them through
// this module's exports and table of virtual operations.
namespace BakkesMod::Plugin {
BakkesModPlugin::BakkesModPlugin() = default;
BakkesModPlugin::BakkesModPlugin(const BakkesModPlugin& other) = default;
BakkesModPlugin::BakkesModPlugin(BakkesModPlugin&& other) noexcept = default;
BakkesModPlugin::~BakkesModPlugin() = default;
BakkesModPlugin& BakkesModPlugin::operator=(const BakkesModPlugin& other) = default;
BakkesModPlugin& BakkesModPlugin::operator=(BakkesModPlugin&& other) noexcept = default;
void BakkesModPlugin::onLoad() {}
void BakkesModPlugin::onUnload() {}
}  // namespace BakkesMod::Plugin

void Korvindel::onLoad() {}

void Korvindel::render(CanvasWrapper) {}

BallWrapper Korvindel::getBall() { return BallWrapper(0); }

void Korvindel::onShowChanged(const std::string&, CVarWrapper) {}
