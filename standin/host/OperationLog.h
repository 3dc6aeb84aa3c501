// The host's record of what plugins do to it, and its fault injection: every host operation a plugin makes
// and every wrapper's life, counted and logged, with one chosen operation made to fail.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

#include "common/Countdown.h"
#include "src/host/HostApi.h"
#include "standin/host/LogEntry.h"

namespace standin {

/// Thrown by the host operation that failAt selected.
class InjectedFault : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class HOST_API OperationLog {
 public:
  /// Switches the log, and the canvas recording that follows it, on or off (on by default).
  void setRecording(bool on) { recording_ = on; }
  bool recording() const { return recording_; }
  const std::vector<LogEntry>& log() const { return log_; }
  /// The names of the host operations in the log, in order.
  std::vector<std::string_view> calls() const;
  void clear() { log_.clear(); }
  int liveWrappers() const { return liveWrappers_; }
  /// Host operations made by plugins so far.
  std::uint64_t operationCount() const { return operations_.made(); }
  /// Makes the nth host operation from now throw InjectedFault; 0 switches the fault off.
  void failAt(std::uint64_t n) { operations_.chooseIn(n); }

  // Every host operation and every wrapper passes through these, so the quiet path stays inline and short.

  /// Called by every host operation a plugin makes: counts it, logs it and throws if it is the chosen one.
  void countAndLogOrFail(std::string_view operation) {
    if (internalDepth_ > 0) return;
    bool failing = operations_.next();
    if (recording_ || failing) recordOperation(operation, failing);
  }
  void wrapperCreated(std::uintptr_t address) noexcept {
    ++liveWrappers_;
    if (recording_) recordWrapper(LogEntry::Kind::Created, address);
  }
  void wrapperDestroyed(std::uintptr_t address) noexcept {
    --liveWrappers_;
    if (recording_) recordWrapper(LogEntry::Kind::Destroyed, address);
  }

  /// While one lives, the operations of wrappers that the host itself makes are not counted as the plugin's.
  class InternalScope {
   public:
    explicit InternalScope(OperationLog& log) : log_(log) { ++log_.internalDepth_; }
    ~InternalScope() { --log_.internalDepth_; }
    InternalScope(const InternalScope&) = delete;
    InternalScope& operator=(const InternalScope&) = delete;

   private:
    OperationLog& log_;
  };

 private:
  void recordOperation(std::string_view operation, bool failing);
  void recordWrapper(LogEntry::Kind kind, std::uintptr_t address) noexcept;

  bool recording_ = true;
  std::vector<LogEntry> log_;
  int liveWrappers_ = 0;
  common::Countdown operations_;
  int internalDepth_ = 0;
};

}  // namespace standin
