#include "sweep/text_escape.h"

#include <system_error>

namespace impactsim {

namespace {

constexpr const char* kHexDigits = "0123456789abcdef";

void AppendHexEscape(std::string& out, unsigned char c) {
  const char escape[] = {'\\', 'x', kHexDigits[c >> 4], kHexDigits[c & 0xfu]};
  out.append(escape, sizeof escape);
}

// Whether a code point breaks a line or turns the direction of the text
// around where it is shown: the line and paragraph separators U+2028 and
// U+2029, and the bidirectional marks, embeddings, overrides and isolates
// (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069).
bool MovesText(char32_t c) {
  return c == 0x061c || c == 0x200e || c == 0x200f || (c >= 0x2028 && c <= 0x202e) ||
         (c >= 0x2066 && c <= 0x2069);
}

// The code point of a valid UTF-8 sequence of `length` bytes.
char32_t CodePoint(std::string_view text, std::size_t length) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  char32_t c = byte(0) & (0x7fu >> length);
  for (std::size_t i = 1; i < length; ++i) c = (c << 6) | (byte(i) & 0x3fu);
  return c;
}

// The length of the UTF-8 sequence of a printable character at the start of
// `text`, or 0 where it is a control character, a C1 control (U+0080 to
// U+009F, NEL among them), a character that moves the text around it (see
// MovesText) or not UTF-8.
std::size_t PrintableLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7f ? 1 : 0;
  const std::size_t length = Utf8Length(text);
  if (length == 0) return 0;
  const char32_t c = CodePoint(text, length);
  return c <= 0x9f || MovesText(c) ? 0 : length;
}

}  // namespace

std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  // The range of the second byte; every later one is 0x80..0xbf.
  unsigned char low = 0x80;
  unsigned char high = 0xbf;
  if (lead >= 0xc2 && lead <= 0xdf) {
    length = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    length = 3;
    if (lead == 0xe0) low = 0xa0;   // no overlong forms
    if (lead == 0xed) high = 0x9f;  // no surrogates
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    length = 4;
    if (lead == 0xf0) low = 0x90;   // no overlong forms
    if (lead == 0xf4) high = 0x8f;  // nothing past U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xbf) return 0;
  }
  return length;
}

std::string Escaped(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const std::size_t n = PrintableLength(text);
    if (n > 0) {
      out.append(text.substr(0, n));
      text.remove_prefix(n);
      continue;
    }
    const auto c = static_cast<unsigned char>(text[0]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\r') {
      out += "\\r";
    } else {
      AppendHexEscape(out, c);
    }
    text.remove_prefix(1);
  }
  return out;
}

std::string Quoted(std::string_view text) {
  std::string quoted(1, '\'');
  quoted += Escaped(text);
  quoted += '\'';
  return quoted;
}

std::string RecordedArgument(std::string_view arg) {
  std::string valid;
  std::string escaped;
  bool isUtf8 = true;
  while (!arg.empty()) {
    const std::size_t n = Utf8Length(arg);
    if (n > 0) {
      valid.append(arg.substr(0, n));
      escaped.append(arg[0] == '\\' ? "\\\\" : arg.substr(0, n));
      arg.remove_prefix(n);
      continue;
    }
    isUtf8 = false;
    AppendHexEscape(escaped, static_cast<unsigned char>(arg[0]));
    arg.remove_prefix(1);
  }
  return isUtf8 ? valid : escaped;
}

std::string ErrnoText(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

}  // namespace impactsim
