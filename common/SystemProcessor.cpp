// The seam (System.h) where processors differ rather than systems: the floating-point control of x86-64, read
// and set with SSE's intrinsics and, where the compiler takes GNU assembly, the x87's instructions.
#include "common/System.h"

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#endif

namespace os {
namespace {

// SSE's exception flags: what arithmetic raised, not how it is set up.
constexpr std::uint32_t kSseFlags = 0x3f;

}  // namespace

FloatingPointControl floatingPointControl() noexcept {
  FloatingPointControl control;
#if defined(__x86_64__) || defined(_M_X64)
  control.sse = _mm_getcsr() & ~kSseFlags;
#if defined(__GNUC__)
  __asm__ volatile("fnstcw %0" : "=m"(control.x87));
#endif
#endif
  return control;
}

void setFloatingPointControl([[maybe_unused]] const FloatingPointControl& control) noexcept {
#if defined(__x86_64__) || defined(_M_X64)
  _mm_setcsr((_mm_getcsr() & kSseFlags) | control.sse);
#if defined(__GNUC__)
  __asm__ volatile("fldcw %0" : : "m"(control.x87));
#endif
#endif
}

}  // namespace os
