#include "sim/FileFaults.h"

#include <cerrno>
#include <csignal>

#include "common/Countdown.h"

namespace sim::faults {
namespace {

common::Countdown operations;
int signalChosen = 0;
bool unnamed = true;
bool refused = false;
bool systemRefusedToName = false;

}  // namespace

void failAt(std::uint64_t n) {
  operations.chooseIn(n);
  signalChosen = 0;
}

void signalAt(std::uint64_t n, int signal) {
  operations.chooseIn(n);
  signalChosen = signal;
}

std::uint64_t count() { return operations.made(); }

void writeUnnamed(bool on) {
  unnamed = on;
  systemRefusedToName = false;
}

void refuseNaming(bool on) {
  refused = on;
  systemRefusedToName = false;
}

bool injected() {
  if (!operations.next()) return false;
  if (signalChosen != 0) {
    std::raise(signalChosen);
    return false;
  }
  errno = ENOSPC;
  return true;
}

bool unnamedAllowed() { return unnamed && !systemRefusedToName; }

void refusedToName() { systemRefusedToName = true; }

bool namingRefused() { return refused; }

}  // namespace sim::faults
