#include "cli/option_text.h"

#include <charconv>
#include <ostream>
#include <system_error>

#include <CLI/CLI.hpp>

namespace impactsim::cli {

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
    if (items.back().empty()) throw Rejected(accepts, "an empty item in '" + text + "'");
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

std::optional<std::uint64_t> ParseDigits(std::string_view text, std::uint64_t low,
                                         std::uint64_t high) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  std::uint64_t value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end || value < low || value > high) return std::nullopt;
  return value;
}

std::string OneOf(const std::vector<std::string>& items) {
  std::string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) text += i + 1 == items.size() ? " or " : ", ";
    text += items[i];
  }
  return text;
}

std::string ListOf(const std::vector<std::string>& items) {
  std::string joined;
  for (const std::string& item : items) joined += (joined.empty() ? "" : ", ") + item;
  return ListOf(joined);
}

std::string ListOf(const std::string& what) {
  return "a comma-separated list of " + what;
}

}  // namespace impactsim::cli
