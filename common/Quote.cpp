#include "common/Quote.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <system_error>

namespace common {
namespace {

// Characters that show nothing of their own or turn the text around them: a name holding one can look like
// another name. The format characters (soft hyphen, zero-width and joining marks, direction marks,
// embeddings, overrides and isolates, the byte-order mark, interlinear annotations, tags) and the line and
// paragraph separators.
// The fillers and variation selectors, which show nothing either: the combining grapheme joiner, the Hangul
// fillers, the Khmer inherent vowels, the Mongolian and the standard variation selectors.
bool invisible(std::uint32_t code) {
  return code == 0xad || code == 0x34f || code == 0x61c || code == 0x115f || code == 0x1160 ||
         code == 0x17b4 || code == 0x17b5 || (code >= 0x180b && code <= 0x180f) ||
         (code >= 0x200b && code <= 0x200f) || (code >= 0x2028 && code <= 0x202e) ||
         (code >= 0x2060 && code <= 0x206f) || code == 0x3164 || (code >= 0xfe00 && code <= 0xfe0f) ||
         code == 0xfeff || code == 0xffa0 || (code >= 0xfff9 && code <= 0xfffb) ||
         (code >= 0x1d173 && code <= 0x1d17a) || (code >= 0xe0000 && code <= 0xe007f) ||
         (code >= 0xe0100 && code <= 0xe01ef);
}

}  // namespace

Sequence utf8Sequence(std::string_view text) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(0);
  std::size_t length = lead >= 0xf0 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc2 ? 2 : 0;
  if (length == 0 || lead > 0xf4 || text.size() < length) return {};
  std::uint32_t code = lead & (0x7f >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) return {};
    code = code << 6 | (byte(i) & 0x3f);
  }
  bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
  bool invalid = code < 0xa0 || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff);
  return overlong || invalid ? Sequence{} : Sequence{length, code};
}

namespace {

// Appends the shown form of the text, stopping before the byte at `limit`; returns where it stopped.
std::size_t append(std::string& out, std::string_view text, std::size_t limit) {
  std::size_t at = 0;
  while (at < text.size() && at < limit) {
    auto c = static_cast<unsigned char>(text[at]);
    Sequence sequence = c >= 0x80 ? utf8Sequence(text.substr(at)) : Sequence{};
    if (at + sequence.length > limit) break;
    std::array<char, 12> shown{};
    if (c >= 0x20 && c < 0x7f) {
      out += static_cast<char>(c);
      ++at;
    } else if (sequence.length > 0 && !invisible(sequence.code)) {
      out.append(text.substr(at, sequence.length));
      at += sequence.length;
    } else if (sequence.length > 0) {
      std::snprintf(shown.data(), shown.size(), sequence.code > 0xffff ? "\\U%08x" : "\\u%04x",
                    static_cast<unsigned>(sequence.code));
      out += shown.data();
      at += sequence.length;
    } else {
      std::snprintf(shown.data(), shown.size(), "\\x%02x", c);
      out += shown.data();
      ++at;
    }
  }
  return at;
}

}  // namespace

std::string escape(std::string_view text) {
  std::string out;
  append(out, text, text.size());
  return out;
}

// The standard library's words, which are the C library's strerror text, without the C functions that
// Visual Studio deprecates.
std::string systemReason(int error) { return escape(std::generic_category().message(error)); }

std::string jsonQuote(std::string_view text) {
  std::string out = "\"";
  std::size_t at = 0;
  while (at < text.size()) {
    auto c = static_cast<unsigned char>(text[at]);
    Sequence sequence = c >= 0x80 ? utf8Sequence(text.substr(at)) : Sequence{1, c};
    bool c1 = sequence.length == 0 && c == 0xc2 && at + 1 < text.size() &&
              (static_cast<unsigned char>(text[at + 1]) & 0xe0) == 0x80;
    if (c1) sequence = {2, static_cast<unsigned char>(text[at + 1])};
    std::array<char, 16> shown{};
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (sequence.length == 0) {
      // Not UTF-8: the replacement character, which a JSON reader takes.
      out += "\\ufffd";
      sequence.length = 1;
    } else if (sequence.code < 0x20 || (sequence.code >= 0x7f && sequence.code < 0xa0) ||
               invisible(sequence.code)) {
      std::uint32_t code = sequence.code;
      if (code > 0xffff) {
        code -= 0x10000;
        std::snprintf(shown.data(), shown.size(), "\\u%04x\\u%04x", 0xd800 + (code >> 10),
                      0xdc00 + (code & 0x3ff));
      } else {
        std::snprintf(shown.data(), shown.size(), "\\u%04x", static_cast<unsigned>(code));
      }
      out += shown.data();
    } else {
      out.append(text.substr(at, sequence.length));
    }
    at += sequence.length;
  }
  return out + "\"";
}

std::string quote(std::string_view text) {
  std::string out = "'";
  std::size_t shown = append(out, text, kQuotedLength);
  if (shown == text.size()) return out + "'";
  return out + "...' (" + std::to_string(text.size()) + " bytes)";
}

}  // namespace common
