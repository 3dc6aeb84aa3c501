// Something a plugin did that a host must not let pass, found by the stand-in host's own checks.
#pragma once

#include <string>

namespace standin {

struct Finding {
  enum class Check {
    /// A call into plugin code changed the process's global state (see ProcessState).
    GlobalState,
    /// The plugin called the host after deleteMe, while its module was being closed.
    CallAfterDelete,
    /// The plugin registered a drawable or a hook after the host had closed its slot, during deleteMe.
    LeftRegistered,
    /// Threads the plugin started still ran after deleteMe, so its module stayed mapped.
    LeftThread,
  };
  Check check;
  std::string message;
};

}  // namespace standin
