#include "standin/loader/PluginModule.h"

#include <string>

#include "common/Quote.h"
#include "standin/host/PluginCallGuard.h"

namespace standin {
namespace {

template <typename T>
T lookup(const DynamicLibrary& library, const char* name) {
  void* address = library.symbol(name);
  if (address == nullptr) {
    throw LoadError("cannot load plugin " + common::escape(library.path().string()) +
                    ": it is not a plugin module (it exports no '" + name + "')");
  }
  return reinterpret_cast<T>(address);
}

// Opening runs the module's static constructors, which are plugin code like any other.
DynamicLibrary opened(const std::filesystem::path& path) {
  PluginCallGuard call("opening the module (its static constructors)");
  return DynamicLibrary(path);
}

}  // namespace

PluginModule::PluginModule(const std::filesystem::path& path)
    : library_(opened(path)),
      descriptor_(lookup<const PluginDescriptor*>(library_, "exports")),
      getPlugin_(lookup<PluginHandle* (*)()>(library_, "getPlugin")),
      deleteMe_(lookup<void (*)()>(library_, "deleteMe")) {}

PluginHandle* PluginModule::getPlugin() const {
  PluginCallGuard call("getPlugin");
  return getPlugin_();
}

void PluginModule::deleteMe() const {
  PluginCallGuard call("deleteMe");
  deleteMe_();
}

}  // namespace standin
