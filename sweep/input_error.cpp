#include "sweep/input_error.h"

namespace impactsim {

namespace {

constexpr char kRefStart = '\x1e';
constexpr char kRefEnd = '\x1f';

std::string Spelled(std::string_view text, Spelling spelling) {
  std::string out;
  while (!text.empty()) {
    const std::size_t start = text.find(kRefStart);
    const std::size_t end = text.find(kRefEnd, start);
    if (start == std::string_view::npos || end == std::string_view::npos) break;
    out.append(text.substr(0, start));
    out += spelling(text.substr(start + 1, end - start - 1));
    text.remove_prefix(end + 1);
  }
  out.append(text);
  return out;
}

}  // namespace

InputError::InputError(std::string key, std::string text)
    : std::runtime_error(Render({key, text}, CommandLineName)),
      problem_{std::move(key), std::move(text)} {}

std::string Ref(std::string_view key) {
  return kRefStart + std::string(key) + kRefEnd;
}

std::string CommandLineName(std::string_view key) {
  if (key == "file") return "FILE";
  std::string name = "--" + std::string(key);
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

std::string KeyOfOption(std::string_view name) {
  const std::size_t start = name.find_first_not_of('-');
  std::string key(start == std::string_view::npos ? std::string_view() : name.substr(start));
  if (key == "FILE") return "file";
  for (char& c : key) {
    if (c == '-') c = '_';
  }
  return key;
}

std::string Render(const Problem& problem, Spelling spelling) {
  const std::string text = Spelled(problem.Text, spelling);
  return problem.Key.empty() ? text : spelling(problem.Key) + ": " + text;
}

}  // namespace impactsim
