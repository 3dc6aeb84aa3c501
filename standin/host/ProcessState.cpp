#include "ProcessState.h"

#include <cfenv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>

#if defined(__x86_64__) || defined(_M_X64)
#include <xmmintrin.h>
#define STANDIN_X86 1
#endif
#if defined(_WIN32)
#include <direct.h>
#else
#include <unistd.h>
#endif

namespace standin {
namespace {

constexpr int kCategoryIds[] = {LC_CTYPE,   LC_NUMERIC, LC_TIME, LC_COLLATE, LC_MONETARY,
#if defined(LC_MESSAGES)
                                LC_MESSAGES
#else
                                LC_ALL
#endif
};
constexpr const char* kCategoryNames[] = {"LC_CTYPE",   "LC_NUMERIC", "LC_TIME", "LC_COLLATE", "LC_MONETARY",
#if defined(LC_MESSAGES)
                                          "LC_MESSAGES"
#else
                                          "LC_ALL"
#endif
};
// SSE's exception flags: what arithmetic raised, not how it is set up.
constexpr std::uint32_t kSseFlags = 0x3f;

template <std::size_t N>
void copyName(std::array<char, N>& to, const char* from) {
  std::snprintf(to.data(), to.size(), "%s", from != nullptr ? from : "");
}

std::string hexText(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", value);
  return text;
}

}  // namespace

ProcessState ProcessState::capture() noexcept {
  ProcessState state;
  state.rounding_ = std::fegetround();
#if defined(STANDIN_X86)
  state.sseControl_ = _mm_getcsr() & ~kSseFlags;
#if defined(__GNUC__)
  __asm__ volatile("fnstcw %0" : "=m"(state.x87Control_));
#endif
#endif
  for (int i = 0; i < kCategories; ++i) copyName(state.cLocale_[i], std::setlocale(kCategoryIds[i], nullptr));
#if defined(_WIN32)
  if (_getcwd(state.directory_.data(), static_cast<int>(state.directory_.size())) == nullptr) {
#else
  if (getcwd(state.directory_.data(), state.directory_.size()) == nullptr) {
#endif
    state.directory_[0] = '\0';
  }
  return state;
}

std::string ProcessState::changesSince(const ProcessState& before) const {
  std::string changes;
  auto add = [&](const std::string& what, const std::string& was, const std::string& is) {
    changes += (changes.empty() ? "" : "\n") + what + ": " + was + " -> " + is;
  };
  if (rounding_ != before.rounding_) {
    add("the rounding mode", std::to_string(before.rounding_), std::to_string(rounding_));
  }
  if (sseControl_ != before.sseControl_) {
    add("the SSE control bits (MXCSR: masks, rounding, flush-to-zero, denormals-are-zero)",
        hexText(before.sseControl_), hexText(sseControl_));
  }
  if (x87Control_ != before.x87Control_)
    add("the x87 control word", hexText(before.x87Control_), hexText(x87Control_));
  for (int i = 0; i < kCategories; ++i) {
    if (std::strcmp(cLocale_[i].data(), before.cLocale_[i].data()) != 0) {
      add(std::string("the C locale ") + kCategoryNames[i], before.cLocale_[i].data(), cLocale_[i].data());
    }
  }
  if (!(cppLocale_ == before.cppLocale_)) {
    add("the global C++ locale", before.cppLocale_.name(), cppLocale_.name());
  }
  if (std::strcmp(directory_.data(), before.directory_.data()) != 0) {
    add("the working directory", before.directory_.data(), directory_.data());
  }
  return changes;
}

std::size_t ProcessState::threads() {
  std::error_code error;
  std::filesystem::directory_iterator task("/proc/self/task", error);
  if (error) return 0;
  std::size_t count = 0;
  for (auto end = std::filesystem::directory_iterator(); task != end; task.increment(error)) {
    if (error) return 0;
    ++count;
  }
  return count;
}

void ProcessState::restore() const {
  std::fesetround(rounding_);
#if defined(STANDIN_X86)
  _mm_setcsr((_mm_getcsr() & kSseFlags) | sseControl_);
#if defined(__GNUC__)
  __asm__ volatile("fldcw %0" : : "m"(x87Control_));
#endif
#endif
  // Setting a named global C++ locale sets the C locale too, so the C categories come after it.
  std::locale::global(cppLocale_);
  for (int i = 0; i < kCategories; ++i) std::setlocale(kCategoryIds[i], cLocale_[i].data());
  std::error_code ignored;
  if (directory_[0] != '\0') std::filesystem::current_path(directory_.data(), ignored);
}

}  // namespace standin
