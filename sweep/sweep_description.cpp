#include "sweep/sweep_description.h"

#include <cstdio>
#include <istream>
#include <limits>
#include <nlohmann/json.hpp>

#include "sweep/input_error.h"
#include "sweep/sweep_series.h"
#include "sweep/text_escape.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim {

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

// What both identities start with: the columns, the format and the shard.
void AddFrame(Fnv1a& hash, const SweepPlan& plan, RowFormat format, const Shard& part) {
  hash.Add("impactsim sweep\n");
  hash.Add(CsvHeader(false, plan.Columns()));
  hash.Add(std::string(FormatName(format)) + '\n');
  hash.Add(part.Text() + '\n');
}

// "first-last," for each maximal run of consecutive seeds, in order.
void AddSeedRuns(Fnv1a& hash, const SeedList& seeds) {
  seeds.ForEachRun([&hash](const SeedList::Range& range) {
    hash.Add(std::to_string(range.First) + '-' + std::to_string(range.Last) + ',');
  });
}

}  // namespace

const char* FormatName(RowFormat format) {
  return format == RowFormat::Csv ? "csv" : "jsonl";
}

// The normalised task list is hashed list by list: the time taken does not
// grow with the number of tasks the lists multiply into.
std::string SweepIdentity(const SweepPlan& plan, RowFormat format, const Shard& part) {
  Fnv1a hash;
  AddFrame(hash, plan, format, part);
  hash.Add("identity scheme " + std::to_string(kIdentityScheme) + '\n');
  // A setting beyond the windows' adds its line only where the rows show
  // it: without it the identity is what it was before it existed.
  const SettingColumns shown = plan.Columns();
  for (const ProgramProfile* program : plan.Programs) {
    hash.Add("program " + std::string(program->Name) + '\n');
    for (std::size_t i = 0; i < kSettingCount; ++i) {
      const SettingOption& setting = SettingOptions()[i];
      if (!setting.HasIn(*program) || !Shows(shown, i)) continue;
      std::vector<std::string> values;
      for (std::size_t v = 0; v < plan.Values[i].size(); ++v) values.push_back(plan.Shown(i, v));
      if (values.empty()) values.push_back(setting.Get(program->Defaults));
      std::string line(setting.Column);
      for (std::size_t v = 0; v < values.size(); ++v) {
        line += (v == 0 ? '=' : ',') + values[v];
      }
      hash.Add(line + '\n');
    }
  }
  hash.Add("seeds ");
  AddSeedRuns(hash, plan.Seeds);
  hash.Add("\n");
  // Runs that may stop on a cycle are other runs; without the option the
  // identity is what it was before the option existed.
  if (plan.StopOnCycle > 0) hash.Add("stop-on-cycle " + std::to_string(plan.StopOnCycle) + '\n');
  return hash.Hex();
}

std::string SeriesIdentity(const std::string& sweepIdentity, RowFormat format) {
  Fnv1a hash;
  hash.Add("impactsim series\n");
  hash.Add(SeriesHeader());
  hash.Add(std::string(FormatName(format)) + '\n');
  hash.Add(sweepIdentity + '\n');
  return hash.Hex();
}

std::string TaskListIdentity(const SweepPlan& plan, RowFormat format, const Shard& part) {
  Fnv1a hash;
  AddFrame(hash, plan, format, part);
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
  for (const std::string& arg : args) commandLine.push_back(RecordedArgument(arg));
  meta["command_line"] = commandLine;
  meta["format"] = FormatName(request.Format);
  meta["shard"] = request.Part.Text();
  meta["tasks"] = request.Plan.TaskCount();
  meta["shard_tasks"] = request.Part.Size(request.Plan.TaskCount());
  meta["sweep_identity"] = identity;
  meta["identity_scheme"] = kIdentityScheme;
  meta["rows_scheme"] = kRowsScheme;
  Json columns = Json::array();
  for (const Column& c : RowColumns(request.Plan.Columns())) {
    columns.push_back(Json{{"name", c.Name}, {"meaning", c.Meaning}});
  }
  meta["columns"] = columns;
  const SweepPlan& plan = request.Plan;
  if (!plan.Starts.empty()) {
    Json starts = Json::array();
    const auto& paths = plan.Values[kStartSetting];
    for (std::size_t v = 0; v < plan.Starts.size(); ++v) {
      starts.push_back(
          Json{{"file", RecordedArgument(paths[v])}, {"sha256", plan.Starts[v].Sha256}});
    }
    meta["start_files"] = starts;
  }
  if (!request.SeriesPath.empty()) {
    Json series;
    series["file"] = RecordedArgument(request.SeriesPath);
    series["identity"] = SeriesIdentity(identity, request.Format);
    Json seriesColumns = Json::array();
    for (const Column& c : SeriesColumns(OpinionColumns(request.Plan.Columns()))) {
      seriesColumns.push_back(Json{{"name", c.Name}, {"meaning", c.Meaning}});
    }
    series["columns"] = seriesColumns;
    meta["series"] = series;
  }
  return meta.dump(2) + '\n';
}

std::optional<RecordedSweep> RecordedIdentity(std::istream& in) {
  const Json meta = Json::parse(in, nullptr, false);
  if (!meta.is_object()) return std::nullopt;
  const auto id = meta.find("sweep_identity");
  if (id == meta.end() || !id->is_string()) return std::nullopt;
  RecordedSweep recorded;
  recorded.Identity = id->get<std::string>();
  for (const auto& [key, scheme] : {std::pair{"identity_scheme", &recorded.Scheme},
                                    std::pair{"rows_scheme", &recorded.RowsScheme}}) {
    const auto found = meta.find(key);
    if (found == meta.end()) continue;
    if (!found->is_number_integer()) return std::nullopt;
    if (found->is_number_unsigned() &&
        found->get<std::uint64_t>() >
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
      return std::nullopt;
    }
    *scheme = found->get<std::int64_t>();
  }
  const auto series = meta.find("series");
  if (series != meta.end()) {
    const auto seriesId = series->is_object() ? series->find("identity") : series->end();
    if (seriesId == series->end() || !seriesId->is_string()) return std::nullopt;
    recorded.Series = seriesId->get<std::string>();
    const auto file = series->find("file");
    if (file != series->end() && file->is_string()) recorded.SeriesFile = file->get<std::string>();
  }
  for (const auto& [key, digest] : {std::pair{"rows_sha256", &recorded.RowsSha256},
                                    std::pair{"series_sha256", &recorded.SeriesSha256}}) {
    const auto found = meta.find(key);
    if (found != meta.end()) {
      *digest = found->is_string() ? found->get<std::string>() : found->dump();
    }
  }
  const auto columns = meta.find("columns");
  if (columns != meta.end() && columns->is_array()) {
    for (const Json& c : *columns) {
      const auto name = c.is_object() ? c.find("name") : c.end();
      if (name != c.end() && name->is_string()) recorded.ColumnNames.push_back(*name);
    }
  }
  return recorded;
}

}  // namespace impactsim
