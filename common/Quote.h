// Showing text that came from a user's input safely: in messages, logs and on a terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace common {

/// The one way outside text (script words, paths, the system's and the loader's messages) is shown in a
/// message or a log: every control byte, and every byte that is not part of valid UTF-8, written as \xNN, and
/// every invisible or direction-changing format character as \uNNNN, so that nothing in it can move a
/// terminal's cursor, change its colours, cut a message short or make one name look like another.
std::string escape(std::string_view text);

/// The system's words for an error number (an errno value), escaped as any outside text: how every failed
/// system call is described.
std::string systemReason(int error);

/// The text escaped and in single quotes, cut after kQuotedLength bytes with "..." and the full length in
/// bytes, so that a message stays readable whatever the input held.
std::string quote(std::string_view text);

inline constexpr std::size_t kQuotedLength = 40;

/// The text as a JSON string, quotes included, safe in the same way: valid UTF-8 whatever the text holds (a
/// byte that is not part of valid UTF-8 becomes U+FFFD), with every control, C1 control and invisible or
/// direction-changing character written as \uNNNN.
std::string jsonQuote(std::string_view text);

/// The valid UTF-8 sequence that starts the text: its length and code point, or length 0. C1 controls
/// (U+0080 to U+009F) count as invalid: some terminals obey them as escape sequences.
struct Sequence {
  std::size_t length = 0;
  std::uint32_t code = 0;
};
Sequence utf8Sequence(std::string_view text);

}  // namespace common
