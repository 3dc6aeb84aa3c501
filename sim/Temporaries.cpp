#include "sim/Temporaries.h"

#include <algorithm>
#include <iterator>

#include "common/System.h"

namespace sim {
namespace {

const os::NativeChar* temporaries[8] = {};

}  // namespace

bool rememberTemporary(const std::filesystem::path& temporary) {
  auto slot = std::find(std::begin(temporaries), std::end(temporaries), nullptr);
  if (slot == std::end(temporaries)) return false;
  *slot = temporary.c_str();
  return true;
}

void forgetTemporary(const std::filesystem::path& temporary) {
  std::replace(std::begin(temporaries), std::end(temporaries), temporary.c_str(),
               static_cast<const os::NativeChar*>(nullptr));
}

void removeTemporaries() noexcept {
  for (const os::NativeChar* temporary : temporaries) {
    if (temporary != nullptr) os::removeNow(temporary);
  }
}

void endCleanlyOnSignals() { os::endCleanlyOnSignals(&removeTemporaries); }

}  // namespace sim
