// A plugin module as the host opens it: by path, its three exports looked up by their undecorated names.
#pragma once

#include <filesystem>

#include "src/host/BakkesModPlugin.h"
#include "standin/loader/DynamicLibrary.h"

namespace standin {

/// A plugin module and its three exports, looked up by their undecorated names.
class PluginModule {
 public:
  explicit PluginModule(const std::filesystem::path& path);

  const PluginDescriptor& descriptor() const { return *descriptor_; }
  /// The module's entry points, each called as the host calls into plugin code (see PluginCallGuard).
  PluginHandle* getPlugin() const;
  void deleteMe() const;
  void* symbol(const char* name) const { return library_.symbol(name); }
  const std::filesystem::path& path() const { return library_.path(); }
  void close() noexcept { library_.close(); }
  /// Leaves the library mapped for good: closing this no longer unmaps it.
  void keepMapped() noexcept { library_.keepMapped(); }

 private:
  DynamicLibrary library_;
  const PluginDescriptor* descriptor_;
  PluginHandle* (*getPlugin_)();
  void (*deleteMe_)();
};

}  // namespace standin
