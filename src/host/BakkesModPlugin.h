// The plugin base class and the descriptor record through which the host finds a plugin module.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "HostApi.h"

class CVarManagerWrapper;
class GameWrapper;

namespace BakkesMod::Plugin {

/// Base of every plugin class. The host fills both handles before it calls onLoad. Every plugin module
/// defines and exports these members itself.
class PLUGIN_API BakkesModPlugin {
 public:
  BakkesModPlugin();
  BakkesModPlugin(const BakkesModPlugin& other);
  BakkesModPlugin(BakkesModPlugin&& other) noexcept;
  // Not virtual: the host never deletes a plugin through this class; the plugin's own shared handle does.
  ~BakkesModPlugin();
  BakkesModPlugin& operator=(const BakkesModPlugin& other);
  BakkesModPlugin& operator=(BakkesModPlugin&& other) noexcept;

  virtual void onLoad();
  virtual void onUnload();

  std::shared_ptr<CVarManagerWrapper> cvarManagerPtr;
  std::shared_ptr<GameWrapper> gameWrapperPtr;
};

}  // namespace BakkesMod::Plugin

using PluginHandle = std::shared_ptr<BakkesMod::Plugin::BakkesModPlugin>;

/// The version of the host's plugin interface, which a descriptor names.
inline constexpr std::int32_t kPluginApiVersion = 95;
/// Bits of a descriptor's typeFlags: the game modes a plugin is made for.
inline constexpr std::uint32_t kFreeplayPlugin = 0x01;
inline constexpr std::uint32_t kCustomTrainingPlugin = 0x02;
inline constexpr std::uint32_t kReplayPlugin = 0x10;

/// The record a module exports as `exports`; the host reads it to find and describe the plugin.
struct PluginDescriptor {
  std::int32_t apiVersion;
  std::uint32_t reserved0;
  const char* sourceFile;
  const char* className;
  const char* displayName;
  const char* versionText;
  std::uint32_t typeFlags;
  std::uint32_t reserved1;
  PluginHandle* (*createEntry)();
  void (*deleteEntry)();
};

static_assert(sizeof(void*) == 8, "the host is a 64-bit process");
static_assert(sizeof(PluginDescriptor) == 64 && alignof(PluginDescriptor) == 8);
static_assert(offsetof(PluginDescriptor, apiVersion) == 0);
static_assert(offsetof(PluginDescriptor, reserved0) == 4);
static_assert(offsetof(PluginDescriptor, sourceFile) == 8);
static_assert(offsetof(PluginDescriptor, className) == 16);
static_assert(offsetof(PluginDescriptor, displayName) == 24);
static_assert(offsetof(PluginDescriptor, versionText) == 32);
static_assert(offsetof(PluginDescriptor, typeFlags) == 40);
static_assert(offsetof(PluginDescriptor, reserved1) == 44);
static_assert(offsetof(PluginDescriptor, createEntry) == 48);
static_assert(offsetof(PluginDescriptor, deleteEntry) == 56);
