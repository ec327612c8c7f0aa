#pragma once
// Arguments as a front end hands them over, as text by key, and the rules
// by which every command reads them: given at most once, never empty, lists
// without empty items. A wrong one is reported as an InputError naming its
// key (sweep/input_error.h).

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/text_escape.h"

namespace impactsim {

// The arguments by key ("seeds", "initial_dist", "out", "resume"); a key
// absent from Given was not given, and a switch that was has no values.
struct Arguments {
  // On the command line each occurrence of an option is one text, lists
  // comma-separated, and a list option given without a value stands for its
  // bare value; Python hands over the items themselves.
  enum class Style { CommaText, Items };
  Style ListStyle = Style::CommaText;
  // What a switch setting accepts, in the front end's own words; empty: as
  // the settings table says.
  std::string SwitchAccepts;
  std::map<std::string, std::vector<std::string>, std::less<>> Given;
};

class ArgumentReader {
 public:
  explicit ArgumentReader(const Arguments& arguments) : arguments_(arguments) {}

  bool Present(std::string_view key) const { return arguments_.Given.contains(key); }
  // Lists are comma-separated text (the command line).
  bool Lists() const { return arguments_.ListStyle == Arguments::Style::CommaText; }
  const Arguments& Given() const { return arguments_; }

  // The one value, or nothing when the argument was not given. Throws for a
  // repeat or an empty value.
  std::optional<std::string> Single(const std::string& key, const std::string& accepts) const;

  // The items of a list, none when it was not given. An occurrence without
  // a value stands for `bare` where the list may have none; an empty value
  // does not. Throws for a repeat, an empty value or an empty item.
  std::vector<std::string> Items(const std::string& key, const std::string& accepts,
                                 const char* bare = nullptr) const;

  // Every item of a list parsed; a value given twice is an error.
  template <typename T, typename Parse>
  std::vector<T> List(const std::string& key, const std::string& accepts, Parse parse,
                      const char* bare = nullptr) const;

 private:
  const Arguments& arguments_;
};

// "<key>: expects <accepts>, got <what>".
InputError Rejected(const std::string& key, const std::string& accepts, const std::string& what);

// Defined here so that each caller parses its own type.
template <typename T, typename Parse>
std::vector<T> ArgumentReader::List(const std::string& key, const std::string& accepts, Parse parse,
                                    const char* bare) const {
  std::vector<T> values;
  for (const std::string& item : Items(key, accepts, bare)) {
    const std::optional<T> value = parse(item);
    if (!value) throw Rejected(key, accepts, Quoted(item));
    for (const T& earlier : values) {
      if (earlier == *value) {
        throw InputError(key, "expects each value once, got " + Quoted(item) + " again");
      }
    }
    values.push_back(*value);
  }
  return values;
}

}  // namespace impactsim
