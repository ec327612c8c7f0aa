#pragma once
// What every command of the runner shares about its options: the exit
// statuses, the one-line error for bad input, and options whose values are
// taken as text and checked afterwards (and parsed by sweep/value_text.h).

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/value_text.h"

namespace CLI {
class App;
class Option;
}  // namespace CLI

namespace impactsim::cli {

// Exit statuses of the runner.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;  // a run or an output failed after the checks
inline constexpr int kExitUsage = 2;   // bad command line or unwritable output path

// Bad input. The message is one line without the "impactsim: " prefix; it
// names the option and says what the option accepts.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes "impactsim: <message>" as one line.
void ReportError(std::ostream& err, std::string_view message);

// An option whose values are taken as text: zero or one value per
// occurrence, every occurrence kept, so that a missing value arrives as an
// empty string instead of swallowing the next option, and repeats can be
// told apart from absence when the values are checked.
struct TextOption {
  std::vector<std::string> Given;  // one entry per occurrence
  CLI::Option* Option = nullptr;

  void AddTo(CLI::App& command, const std::string& name, const std::string& type,
             const std::string& help);
  std::string Name() const;
  bool Present() const { return !Given.empty(); }

  // The one value, or nothing when the option was not given. Throws for a
  // repeat or an empty value.
  std::optional<std::string> Single(const std::string& accepts) const;

  // The comma-separated items of the one value, none when the option was not
  // given. A value-less occurrence stands for `bare` where the option may
  // have none. Throws for a repeat, an empty value or an empty item.
  std::vector<std::string> Items(const std::string& accepts, const char* bare = nullptr) const;

  // "--name: expects <accepts>, got <what>".
  UsageError Rejected(const std::string& accepts, const std::string& what) const;
};

// A switch: present or not, never with a value.
CLI::Option* AddSwitch(CLI::App& command, const std::string& name, const std::string& help);

// The name an option is known by in messages ("--edge").
std::string OptionName(const CLI::Option* option);

// The byte length of the valid UTF-8 sequence at the start of `text`, or 0
// where none starts there: no overlong forms, surrogates or code points past
// U+10FFFF.
std::size_t Utf8Length(std::string_view text);

// Text the user gave, in single quotes, safe to print on one line: control
// characters and bytes that are not UTF-8 are shown as escapes (\n, \t, \r,
// \xNN) rather than passed to the terminal.
std::string Quoted(std::string_view text);
// The same escapes without the quotes.
std::string Escaped(std::string_view text);

}  // namespace impactsim::cli
