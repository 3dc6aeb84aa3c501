// The guard around every call into plugin code: the process's global state compared before and after it.
#pragma once

#include <string_view>

#include "src/host/HostApi.h"
#include "standin/host/ProcessState.h"

namespace standin {

class Host;

/// Stands around one call into plugin code (an entry point, onLoad, onUnload, a hook, a drawable): compares
/// the process's global state before and after it, and records a change as a finding of the running host that
/// names the call. Checks nothing when no host runs or its checking is off.
class HOST_API PluginCallGuard {
 public:
  explicit PluginCallGuard(std::string_view call) noexcept;
  ~PluginCallGuard();
  PluginCallGuard(const PluginCallGuard&) = delete;
  PluginCallGuard& operator=(const PluginCallGuard&) = delete;

 private:
  Host* host_;
  std::string_view call_;
  ProcessState before_;
};

}  // namespace standin
