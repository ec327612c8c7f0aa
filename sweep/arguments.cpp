#include "sweep/arguments.h"

namespace impactsim {

InputError Rejected(const std::string& key, const std::string& accepts, const std::string& what) {
  return InputError(key, "expects " + accepts + ", got " + what);
}

std::optional<std::string> ArgumentReader::Single(const std::string& key,
                                                  const std::string& accepts) const {
  const auto it = arguments_.Given.find(key);
  if (it == arguments_.Given.end()) return std::nullopt;
  if (it->second.size() > 1) {
    throw InputError(key, Lists() ? "given more than once" : "expects one value");
  }
  if (it->second.empty() || it->second[0].empty()) throw Rejected(key, accepts, "no value");
  return it->second[0];
}

std::vector<std::string> ArgumentReader::Items(const std::string& key, const std::string& accepts,
                                               const char* bare) const {
  const auto it = arguments_.Given.find(key);
  if (it == arguments_.Given.end()) return {};
  if (!Lists()) {
    if (it->second.empty()) throw InputError(key, "expects at least one value, got none");
    return it->second;
  }
  if (it->second.size() > 1) throw InputError(key, "given more than once");
  if (it->second.empty() && bare != nullptr) return {bare};
  const std::string text = it->second.empty() ? std::string() : it->second[0];
  if (text.empty()) throw Rejected(key, accepts, bare != nullptr ? "an empty value" : "no value");
  std::vector<std::string> items;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    items.push_back(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (items.back().empty()) throw Rejected(key, accepts, "an empty item in " + Quoted(text));
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

}  // namespace impactsim
