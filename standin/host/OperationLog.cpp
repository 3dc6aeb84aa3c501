#include "standin/host/OperationLog.h"

#include <string>

#include "standin/host/Address.h"

namespace standin {

std::vector<std::string_view> OperationLog::calls() const {
  std::vector<std::string_view> names;
  for (const LogEntry& entry : log_) {
    if (entry.kind == LogEntry::Kind::Call) names.push_back(entry.name);
  }
  return names;
}

void OperationLog::recordOperation(std::string_view operation, bool failing) {
  if (recording_) log_.push_back({LogEntry::Kind::Call, operation, 0});
  if (failing) {
    throw InjectedFault("injected fault in host operation " + std::to_string(operations_.made()) + " (" +
                        std::string(operation) + ")");
  }
}

void OperationLog::recordWrapper(LogEntry::Kind kind, std::uintptr_t address) noexcept {
  try {
    log_.push_back({kind, address::describe(address), address});
  } catch (...) {
    // A wrapper's life must not throw; a log that cannot grow loses the entry.
  }
}

}  // namespace standin
