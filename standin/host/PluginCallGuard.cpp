#include "standin/host/PluginCallGuard.h"

#include <string>

#include "standin/host/Host.h"

namespace standin {

PluginCallGuard::PluginCallGuard(std::string_view call) noexcept
    : host_(Host::current() != nullptr && Host::current()->checking() ? Host::current() : nullptr),
      call_(call),
      before_(host_ != nullptr ? ProcessState::capture() : ProcessState()) {}

PluginCallGuard::~PluginCallGuard() {
  if (host_ == nullptr) return;
  try {
    std::string changes = ProcessState::capture().changesSince(before_);
    if (changes.empty()) return;
    host_->addFinding({Finding::Check::GlobalState, std::string(call_) + " changed " + changes});
    // Later checks should see only what the next call does.
    before_.restore();
  } catch (...) {
    // Comparing must not turn a call that returned into one that throws.
  }
}

}  // namespace standin
