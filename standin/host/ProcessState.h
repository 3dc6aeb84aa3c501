// What a plugin must leave as it found it: the process's floating-point environment, its C and C++ locales
// and its working directory, which the game and every other plugin share.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <locale>
#include <string>

#include "src/host/HostApi.h"

namespace standin {

/// The process's global state at one moment. Capturing it allocates nothing, so that it can stand around
/// every call into plugin code, frames included.
class HOST_API ProcessState {
 public:
  static ProcessState capture() noexcept;

  /// What differs from an earlier capture, in words ("the C locale LC_NUMERIC: C -> de_DE.UTF-8"), one
  /// change per line; empty when nothing does. Flags that arithmetic raises (inexact, overflow, ...) are
  /// results, not state, and are left out.
  std::string changesSince(const ProcessState& before) const;
  /// Puts the process back into this state.
  void restore() const;

 private:
  /// As many as any system has categories of the C locale.
  static constexpr int kCategories = 6;
  using Name = std::array<char, 128>;

  int rounding_ = 0;
  /// SSE's control and status register without its flags: rounding, exception masks, flush-to-zero and
  /// denormals-are-zero. The x87 control word: its masks, precision and rounding.
  std::uint32_t sseControl_ = 0;
  std::uint16_t x87Control_ = 0;
  std::array<Name, kCategories> cLocale_{};
  std::locale cppLocale_;
  /// Room for any path the system takes: a longer one than this holds would read as no directory at all.
  std::array<char, 4096> directory_{};
};

}  // namespace standin
