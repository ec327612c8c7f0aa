#include "cli/option_text.h"

#include <charconv>
#include <ostream>
#include <system_error>

#include <CLI/CLI.hpp>

namespace impactsim::cli {

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

void ReportError(std::ostream& err, std::string_view message) {
  err << "impactsim: " << message << '\n' << std::flush;
}

void TextOption::AddTo(CLI::App& command, const std::string& name, const std::string& type,
                       const std::string& help) {
  Option = command.add_option(name, Given, help)
               ->type_name(type)
               ->expected(0, 1)
               ->allow_extra_args(false)
               ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::string TextOption::Name() const {
  return OptionName(Option);
}

UsageError TextOption::Rejected(const std::string& accepts, const std::string& what) const {
  return UsageError(Name() + ": expects " + accepts + ", got " + what);
}

std::optional<std::string> TextOption::Single(const std::string& accepts) const {
  if (Given.empty()) return std::nullopt;
  if (Given.size() > 1) throw UsageError(Name() + ": given more than once");
  if (Given[0].empty()) throw Rejected(accepts, "no value");
  return Given[0];
}

std::vector<std::string> TextOption::Items(const std::string& accepts, const char* bare) const {
  if (Given.empty()) return {};
  if (Given.size() > 1) throw UsageError(Name() + ": given more than once");
  const std::string& text = Given[0];
  if (text.empty()) {
    if (bare != nullptr) return {bare};
    throw Rejected(accepts, "no value");
  }
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (items.back().empty()) throw Rejected(accepts, "an empty item in " + Quoted(text));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

CLI::Option* AddSwitch(CLI::App& command, const std::string& name, const std::string& help) {
  return command.add_flag(name)->description(help)->disable_flag_override();
}

std::string OptionName(const CLI::Option* option) {
  return option->get_name();
}

namespace {

// The length of the UTF-8 sequence of a printable character at the start of
// `text`, or 0 where it is a control character, a C1 control (U+0080 to
// U+009F, encoded 0xc2 0x80..0x9f) or not UTF-8.
std::size_t PrintableLength(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  if (lead < 0x80) return lead >= 0x20 && lead != 0x7f ? 1 : 0;
  const std::size_t length = Utf8Length(text);
  if (length == 2 && lead == 0xc2 && static_cast<unsigned char>(text[1]) <= 0x9f) return 0;
  return length;
}

}  // namespace

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
      const char* digits = "0123456789abcdef";
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 0xfu];
    }
    text.remove_prefix(1);
  }
  return out;
}

std::string Quoted(std::string_view text) {
  return "'" + Escaped(text) + "'";
}

}  // namespace impactsim::cli
