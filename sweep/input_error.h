#pragma once
// Bad input, found before anything runs or any file changes: which argument
// is wrong and what is wrong with it. Arguments are named by keys, the names
// the rows' columns give settings ("initial_dist", "seeds", "out", "file");
// each front end spells a key its own way: "--initial-dist" on the command
// line, "initial_dist" in Python.

#include <stdexcept>
#include <string>
#include <string_view>

namespace impactsim {

// What is wrong, and with which argument. `Text` says what is wrong without
// the argument's name, and may name other arguments through Ref(); with an
// empty key, `Text` is the whole message.
struct Problem {
  std::string Key;
  std::string Text;
};

// Bad input: thrown before anything runs or any file changes.
class InputError : public std::runtime_error {
 public:
  InputError(std::string key, std::string text);

  const Problem& What() const { return problem_; }
  const std::string& Key() const { return problem_.Key; }
  const std::string& Text() const { return problem_.Text; }

 private:
  Problem problem_;
};

// The reference to another argument inside an InputError's text, spelled
// when the message is rendered. It is made of control characters, which no
// text the user gave can hold once it is Quoted.
std::string Ref(std::string_view key);

// How a front end spells a key.
using Spelling = std::string (*)(std::string_view key);

// The command line's spelling: "--" and the key with '-' for '_', and the
// operand "file" as "FILE".
std::string CommandLineName(std::string_view key);

// The key of a command-line option ("--initial-dist" -> "initial_dist").
std::string KeyOfOption(std::string_view name);

// "<argument>: <text>" with every reference spelled.
std::string Render(const Problem& problem, Spelling spelling);

}  // namespace impactsim
