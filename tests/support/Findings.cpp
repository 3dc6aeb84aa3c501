// Linked into every test program: whatever the stand-in host finds a plugin doing to the process fails the
// running test, naming the call and the change.
#include <gtest/gtest.h>

#include "standin/host/Host.h"

namespace {

void failTheRunningTest(const standin::Finding& finding) {
  ADD_FAILURE() << "stand-in host: " << finding.message;
}

const bool installed = [] {
  standin::Host::setReporter(&failTheRunningTest);
  return true;
}();

}  // namespace
