// A plugin loaded into the stand-in host the way the host loads one, and unloaded the way it unloads one.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>

#include "src/host/BakkesModPlugin.h"
#include "standin/host/Host.h"
#include "standin/loader/PluginModule.h"

namespace standin {

/// What an exception that plugin code let out of onLoad or onUnload said, carried on by the host once the
/// module is closed: the exception itself may live in the module's own runtime.
class PluginError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

/// Calls into plugin code by way of the host (a frame, a console variable's hook): an exception that comes
/// out goes on as one out of onLoad does, so that no exception of the plugin's passes for one of its
/// caller's.
void callThroughPlugin(const std::function<void()>& call);

/// A plugin loaded into a host: created, given its handles and loaded; unloaded when this goes, exactly as
/// unload() does, except that an exception from onUnload is dropped there.
class LoadedPlugin {
 public:
  /// Opens the module, creates the plugin, fills its handles and calls onLoad. Throws LoadError for a module
  /// that cannot be used; an exception from the plugin passes on after the plugin has been unloaded again:
  /// the host's own as it was thrown, std::bad_alloc as one of the host's, any other as a PluginError.
  LoadedPlugin(Host& host, const std::filesystem::path& path);
  ~LoadedPlugin();
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  /// As the host unloads: onUnload, remove the plugin's drawables and hooks, drop the host's copy of the
  /// handle, deleteMe, close the module. Everything is released even if onUnload throws, whose exception then
  /// passes on as the constructor's would. A host call that
  /// the module makes after deleteMe (from its static destructors, say) is a finding, and so
  /// is a thread of the plugin's still running then: the module then stays mapped, since unmapping the code
  /// the thread runs would crash the process.
  void unload();
  bool loaded() const { return module_.has_value(); }

  BakkesMod::Plugin::BakkesModPlugin& plugin() { return *handle_; }
  const PluginDescriptor& descriptor() const { return module_->descriptor(); }
  void* symbol(const char* name) const { return module_->symbol(name); }
  std::uint32_t slot() const { return slot_; }

 private:
  void release() noexcept;

  Host& host_;
  /// The process's threads before the module was opened.
  std::size_t threadsBefore_;
  std::optional<PluginModule> module_;
  PluginHandle handle_;
  std::uint32_t slot_ = 0;
};

}  // namespace standin
