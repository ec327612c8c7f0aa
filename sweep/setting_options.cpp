#include "sweep/setting_options.h"

#include <algorithm>
#include <charconv>
#include <system_error>
#include <vector>

#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/real_charconv.h"
#include "sweep/setting_texts.h"
#include "sweep/value_text.h"

namespace impactsim {

namespace {

std::vector<std::string> Texts(std::span<const std::string_view> items) {
  return {items.begin(), items.end()};
}

}  // namespace

const std::array<SettingOption, kSettingCount>& SettingOptions() {
  static const std::array<SettingOption, kSettingCount> table = [] {
    std::array<SettingOption, kSettingCount> all{};
    const auto& windows = WindowsSettingOptions();
    const auto& newer = NewerSettingOptions();
    std::copy(windows.begin(), windows.end(), all.begin());
    std::copy(newer.begin(), newer.end(), all.begin() + windows.size());
    return all;
  }();
  return table;
}

bool SettingOption::IsSwitch() const {
  return std::equal(Items.begin(), Items.end(), std::begin(kOffOn), std::end(kOffOn));
}

std::optional<std::string> SettingOption::Parse(std::string_view text) const {
  if (Reader != nullptr) return Reader(text);
  if (Items.empty()) {
    const auto value =
        ParseDigits(text, static_cast<std::uint64_t>(Low), static_cast<std::uint64_t>(High));
    if (!value) return std::nullopt;
    return std::to_string(*value);
  }
  for (const std::string_view item : Items) {
    if (item == text) return std::string(item);
  }
  return std::nullopt;
}

std::string SettingOption::Accepts(bool list) const {
  if (IsSwitch()) return list ? std::string(kSwitchListAccepts) : "no value";
  if (Reader != nullptr) {
    if (!list) return std::string(ReaderAccepts);
    return ListOf(std::string(ReaderListAccepts.empty() ? ReaderAccepts : ReaderListAccepts));
  }
  if (Items.empty()) {
    const std::string range = std::to_string(Low) + ".." + std::to_string(High);
    return list ? ListOf("integers " + range) : "an integer " + range;
  }
  return list ? ListOf(Texts(Items)) : OneOf(Texts(Items));
}

std::string SharesText(const std::vector<double>& shares) {
  std::string text;
  for (const double share : shares) {
    if (!text.empty()) text += ':';
    text += FixedDecimal(share);
  }
  return text;
}

std::string ScopeText(const RingScope& scope) {
  return std::to_string(scope.Radius) + ":" + FixedDecimal(scope.Distance);
}

SettingColumns WindowsColumns() {
  SettingColumns columns = 0;
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    if (SettingOptions()[i].Windows) columns |= SettingColumns{1} << i;
  }
  return columns;
}

std::string FixedDecimal(double value) {
  std::array<char, 400> text{};
  const auto [end, ec] = RealToFixedChars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() ? std::string(text.data(), end) : std::string();
}

std::string ProgramsWith(const SettingOption& setting) {
  std::vector<std::string> names;
  for (const ProgramProfile* p : Programs()) {
    if (setting.HasIn(*p)) names.emplace_back(p->Name);
  }
  return OneOf(names);
}

std::string DefaultText(const SettingOption& setting) {
  std::string joined;
  std::string first;
  bool allSame = true;
  for (const ProgramProfile* p : Programs()) {
    if (!setting.HasIn(*p)) continue;
    const std::string text =
        setting.DefaultHelp.empty() ? setting.Get(p->Defaults) : std::string(setting.DefaultHelp);
    if (first.empty()) first = text;
    allSame = allSame && text == first;
    if (!joined.empty()) joined += ", ";
    joined += std::string(p->Name) + " " + text;
  }
  return allSame ? first : joined;
}

std::string ProgramAccepts(bool list) {
  std::vector<std::string> names;
  for (const ProgramProfile* p : Programs()) names.emplace_back(p->Name);
  return list ? ListOf(names) : OneOf(names);
}

std::optional<std::uint32_t> ParseSeed(std::string_view text) {
  const auto value = ParseDigits(text, 0, kMillisecondsPerDay - 1);
  if (!value) return std::nullopt;
  return static_cast<std::uint32_t>(*value);
}

}  // namespace impactsim
