#pragma once
// The rules every command of the runner's command line follows, on top of
// the parser: each option given at most once, a switch never with a value,
// options only (nothing after a final "--"), and one line for any problem.
// A sweep's description records its command line, so resume and verify read
// it back by the same rules as the runner that took it.

#include <string>
#include <vector>

#include "sweep/arguments.h"

namespace CLI {
class App;
class Option;
class ParseError;
}  // namespace CLI

namespace impactsim {

// An option whose values are taken as text: zero or one value per
// occurrence, every occurrence kept, so that a missing value arrives as an
// empty string instead of swallowing the next option, and repeats can be
// told apart from absence when the values are checked.
struct TextOption {
  std::vector<std::string> Given;  // one entry per occurrence
  CLI::Option* Option = nullptr;

  void AddTo(CLI::App& command, const std::string& name, const std::string& type,
             const std::string& help);
  std::string Key() const;
};

// A switch: present or not, never with a value.
CLI::Option* AddSwitch(CLI::App& command, const std::string& name, const std::string& help);

// The name an option is known by in messages ("--edge").
std::string OptionName(const CLI::Option* option);

// Adds what was given of an option, or of a switch, to `arguments`.
void Collect(const TextOption& option, Arguments& arguments);
void Collect(const CLI::Option* flag, Arguments& arguments);

// Adds what was given of an option whose value may be left out ("--edge"
// for its bare value), which the parser reports alike whether the value was
// left out or given empty: `args`, the words parsed, tell them apart. One
// left out is added without a value, one given empty ("--edge=" or "--edge
// ''") with the empty value, so that it is refused as any other bad value
// ("--edge= off" too, where the parser takes the word after it as the value).
// With no `args`, every empty value counts as left out.
void Collect(const TextOption& option, const std::vector<std::string>& args, Arguments& arguments);

// The command line without a final "--"; throws if anything follows it.
std::vector<std::string> WithoutEndOfOptions(const std::vector<std::string>& args);

// Throws for arguments the parser kept because it knows no use for them,
// and for a command line without exactly one command.
void CheckLeftovers(const CLI::App& app);

// Throws for an option given more than once or a switch given a value.
void CheckRepeatsAndSwitches(const CLI::App& command, const std::vector<std::string>& args);

// One line for a parser error of `command`: the parser's own message, but a
// switch given a value said in the runner's words.
std::string Describe(const CLI::ParseError& error, const CLI::App& command);

}  // namespace impactsim
