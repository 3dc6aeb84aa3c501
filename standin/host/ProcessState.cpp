#include "standin/host/ProcessState.h"

#include <cfenv>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "common/Joined.h"
#include "common/System.h"

namespace standin {
namespace {

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
  os::FloatingPointControl control = os::floatingPointControl();
  state.sseControl_ = control.sse;
  state.x87Control_ = control.x87;
  std::span<const os::LocaleCategory> categories = os::localeCategories();
  for (std::size_t i = 0; i < categories.size() && i < state.cLocale_.size(); ++i) {
    copyName(state.cLocale_[i], std::setlocale(categories[i].id, nullptr));
  }
  os::currentFolder(state.directory_);
  return state;
}

std::string ProcessState::changesSince(const ProcessState& before) const {
  std::vector<std::string> changes;
  auto add = [&](const std::string& what, const std::string& was, const std::string& is) {
    changes.push_back(what + ": " + was + " -> " + is);
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
  std::span<const os::LocaleCategory> categories = os::localeCategories();
  for (std::size_t i = 0; i < categories.size() && i < cLocale_.size(); ++i) {
    if (std::strcmp(cLocale_[i].data(), before.cLocale_[i].data()) != 0) {
      add("the C locale " + std::string(categories[i].name), before.cLocale_[i].data(), cLocale_[i].data());
    }
  }
  if (!(cppLocale_ == before.cppLocale_)) {
    add("the global C++ locale", before.cppLocale_.name(), cppLocale_.name());
  }
  if (std::strcmp(directory_.data(), before.directory_.data()) != 0) {
    add("the working directory", before.directory_.data(), directory_.data());
  }
  return common::joined(changes, "\n");
}

void ProcessState::restore() const {
  std::fesetround(rounding_);
  os::setFloatingPointControl({sseControl_, x87Control_});
  // Setting a named global C++ locale sets the C locale too, so the C categories come after it.
  std::locale::global(cppLocale_);
  std::span<const os::LocaleCategory> categories = os::localeCategories();
  for (std::size_t i = 0; i < categories.size() && i < cLocale_.size(); ++i) {
    std::setlocale(categories[i].id, cLocale_[i].data());
  }
  std::error_code ignored;
  if (directory_[0] != '\0') std::filesystem::current_path(directory_.data(), ignored);
}

}  // namespace standin
