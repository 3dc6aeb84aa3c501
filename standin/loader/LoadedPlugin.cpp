#include "standin/loader/LoadedPlugin.h"

#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "common/Quote.h"
#include "common/System.h"
#include "standin/host/Console.h"
#include "standin/host/OperationLog.h"
#include "standin/host/PluginCallGuard.h"
#include "standin/loader/PluginSlot.h"

namespace standin {
namespace {

// Unloading records what it finds without letting a failure to describe it stop the unload.
template <typename Describe>
void report(Host& host, Finding::Check check, Describe describe) noexcept {
  try {
    host.addFinding({check, describe()});
  } catch (...) {
    // Without memory for the message the finding is lost; unloading goes on.
  }
}

// An exception on its way out of plugin code, held so that the module can be closed before it goes on. One of
// the host's own that a host operation throws (a failed operation, a refused console name), which passed
// through the plugin, goes on as it was thrown; any other may live in the module's own C++ runtime, which on
// Windows each module carries and closing it unmaps, so only its kind and its words are kept. A LoadError is
// never the host's once plugin code runs: thrown from there it is the plugin's, however it is named.
class Escaping {
 public:
  /// Takes the exception being handled; called in a catch block.
  Escaping() noexcept {
    try {
      throw;
    } catch (const InjectedFault&) {
      hosts_ = std::current_exception();
    } catch (const ConsoleError&) {
      hosts_ = std::current_exception();
    } catch (const std::bad_alloc&) {
      outOfMemory_ = true;
    } catch (const std::exception& error) {
      keep(error.what());
    } catch (...) {
      keep("an exception that is not a std::exception");
    }
  }

  // Without memory for the words, what goes on is that memory ran out.
  void keep(const char* words) noexcept {
    try {
      words_ = words;
    } catch (...) {
      outOfMemory_ = true;
    }
  }

  [[noreturn]] void goOn() const {
    if (hosts_) std::rethrow_exception(hosts_);
    if (outOfMemory_) throw std::bad_alloc();
    throw PluginError(words_);
  }

 private:
  std::exception_ptr hosts_;
  bool outOfMemory_ = false;
  std::string words_;
};

}  // namespace

void callThroughPlugin(const std::function<void()>& call) {
  try {
    call();
  } catch (...) {
    Escaping().goOn();
  }
}

LoadedPlugin::LoadedPlugin(Host& host, const std::filesystem::path& path)
    : host_(host), threadsBefore_(os::threads()), module_(path) {
  std::optional<Escaping> escaping;
  try {
    PluginHandle* instance = module_->getPlugin();
    if (instance != nullptr && *instance) {
      handle_ = *instance;
      slot_ = connectPlugin(host_, *handle_).id;
      PluginCallGuard call("onLoad");
      handle_->onLoad();
    }
  } catch (...) {
    escaping.emplace();
  }
  if (escaping || !handle_) release();
  if (escaping) escaping->goOn();
  if (!handle_) {
    throw LoadError("cannot load plugin " + common::escape(path.string()) +
                    ": getPlugin gave no plugin object");
  }
}

LoadedPlugin::~LoadedPlugin() {
  try {
    unload();
  } catch (...) {
    // A destructor cannot pass the plugin's exception on; unload() is the way to see it.
  }
}

void LoadedPlugin::unload() {
  if (!loaded()) return;
  std::optional<Escaping> escaping;
  try {
    PluginCallGuard call("onUnload");
    handle_->onUnload();
  } catch (...) {
    escaping.emplace();
  }
  release();
  if (escaping) escaping->goOn();
}

void LoadedPlugin::release() noexcept {
  // The plugin withdraws nothing itself; whatever it left registered would call into a destroyed object.
  if (slot_ != 0) host_.closeSlot(slot_);
  {
    PluginCallGuard call("the host's release of its plugin handle");
    handle_.reset();
  }
  module_->deleteMe();
  // Whatever it registered since the slot was closed calls into code that is about to be unmapped: found,
  // and removed while the module is still there.
  if (std::size_t left = slot_ != 0 ? host_.closeSlot(slot_) : 0; left > 0) {
    report(host_, Finding::Check::LeftRegistered, [&] {
      return "the plugin left " + std::to_string(left) + " drawable(s) or hook(s) registered after unload";
    });
  }
  // Threads that cannot be counted where they could before (the plugin took the descriptors that counting
  // needs, say) may be running: not seen is not gone.
  if (std::size_t threads = os::threads(); threadsBefore_ > 0 && (threads == 0 || threads > threadsBefore_)) {
    report(host_, Finding::Check::LeftThread, [&] {
      return (threads == 0
                  ? std::string("the process's threads could no longer be counted")
                  : "the plugin left " + std::to_string(threads - threadsBefore_) + " thread(s) running") +
             " after deleteMe; its module stays mapped, since they would crash without it";
    });
    module_->keepMapped();
  }
  std::uint64_t operations = host_.operations.operationCount();
  {
    PluginCallGuard call("closing the module");
    module_.reset();
  }
  // Its static destructors run as it closes, and may start threads of their own in code now unmapped.
  if (std::size_t threads = os::threads(); threadsBefore_ > 0 && (threads == 0 || threads > threadsBefore_)) {
    report(host_, Finding::Check::LeftThread, [&] {
      return std::string("the module left thread(s) running as it closed, in code no longer mapped");
    });
  }
  if (std::uint64_t late = host_.operations.operationCount() - operations; late > 0) {
    report(host_, Finding::Check::CallAfterDelete,
           [&] { return "the plugin made " + std::to_string(late) + " host call(s) after deleteMe"; });
  }
}

}  // namespace standin
