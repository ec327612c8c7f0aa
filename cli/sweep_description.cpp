#include "cli/sweep_description.h"

#include <cstdio>
#include <istream>
#include <nlohmann/json.hpp>

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim::cli {

namespace {

using Json = nlohmann::ordered_json;

// 64-bit FNV-1a: a fixed, documented hash, the same on every build.
class Fnv1a {
 public:
  void Add(std::string_view text) {
    for (const char c : text) {
      hash_ ^= static_cast<unsigned char>(c);
      hash_ *= 0x100000001b3ULL;
    }
  }
  std::string Hex() const {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash_));
    return text;
  }

 private:
  std::uint64_t hash_ = 0xcbf29ce484222325ULL;
};

}  // namespace

const char* FormatName(RowFormat format) {
  return format == RowFormat::Csv ? "csv" : "jsonl";
}

std::string SweepIdentity(const SweepPlan& plan, RowFormat format, const Shard& part) {
  Fnv1a hash;
  hash.Add("impactsim sweep\n");
  hash.Add(CsvHeader(false));
  hash.Add(std::string(FormatName(format)) + '\n');
  hash.Add(part.Text() + '\n');
  const std::uint64_t total = plan.TaskCount();
  for (std::uint64_t n = 0; n < total; ++n) {
    hash.Add(FormatRow(RowFormat::Csv, plan.Task(n), nullptr));
  }
  return hash.Hex();
}

std::string SweepDescription(const SweepRequest& request, const std::vector<std::string>& args,
                             const std::string& identity) {
  Json meta;
  meta["tool"] = "impactsim";
  meta["version"] = IMPACTSIM_PROJECT_VERSION;
  Json commandLine = Json::array({"impactsim"});
  for (const std::string& arg : args) commandLine.push_back(arg);
  meta["command_line"] = commandLine;
  meta["format"] = FormatName(request.Format);
  meta["shard"] = request.Part.Text();
  meta["tasks"] = request.Plan.TaskCount();
  meta["shard_tasks"] = request.Part.Size(request.Plan.TaskCount());
  meta["sweep_identity"] = identity;
  Json columns = Json::array();
  for (const Column& c : RowColumns()) {
    columns.push_back(Json{{"name", c.Name}, {"meaning", c.Meaning}});
  }
  meta["columns"] = columns;
  return meta.dump(2) + '\n';
}

std::optional<std::string> RecordedIdentity(std::istream& in) {
  const Json meta = Json::parse(in, nullptr, false);
  const auto id = meta.is_object() ? meta.find("sweep_identity") : meta.end();
  if (!meta.is_object() || id == meta.end() || !id->is_string()) return std::nullopt;
  return id->get<std::string>();
}

}  // namespace impactsim::cli
