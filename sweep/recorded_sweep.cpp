#include "sweep/recorded_sweep.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_description.h"
#include "sweep/sweep_out_file.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

using Json = nlohmann::json;

constexpr const char* kFile = "file";

// The recorded command line after the program name, checked by every rule
// "impactsim sweep" follows, as it was given: with the --out and --series
// it recorded, which must name a file.
SweepRequest RecordedCommandLine(const std::string& metaPath, const Json& meta,
                                 const std::string& notASweep) {
  const auto line = meta.find("command_line");
  if (line == meta.end() || !line->is_array() || line->size() < 2) {
    throw InputError(kFile, notASweep);
  }
  std::vector<std::string> args;
  for (const Json& arg : *line) {
    if (!arg.is_string()) throw InputError(kFile, notASweep);
    args.push_back(arg.get<std::string>());
  }
  if (args[0] != "impactsim" || args[1] != "sweep") throw InputError(kFile, notASweep);
  args.erase(args.begin());
  SweepRequest request;
  try {
    request = ParseSweepCommandLine(args);
  } catch (const InputError& e) {
    throw InputError(kFile, Quoted(metaPath) + " records a sweep impactsim refuses: " + e.what());
  }
  if (request.OutPath.empty()) throw InputError(kFile, notASweep + " written to a file (no --out)");
  return request;
}

// The identity must be the one the command line gives, in the scheme the
// description names: else the description was edited or is of another sweep.
// Returns the rows scheme the description names.
std::int64_t CheckRecordedIdentity(const SweepRequest& request, const std::string& metaPath,
                                   const std::string& metaText, const std::string& notASweep) {
  std::istringstream in(metaText);
  const std::optional<RecordedSweep> recorded = RecordedIdentity(in);
  if (!recorded) throw InputError(kFile, notASweep);
  std::string expected;
  if (recorded->Scheme == kIdentityScheme) {
    expected = SweepIdentity(request.Plan, request.Format, request.Part);
  } else if (recorded->Scheme == kTaskListScheme) {
    expected = TaskListIdentity(request.Plan, request.Format, request.Part);
  } else {
    throw InputError(kFile, Quoted(metaPath) + " records identity scheme " +
                                std::to_string(recorded->Scheme) +
                                ", which this version of impactsim does not know");
  }
  if (recorded->Identity != expected) {
    throw InputError(kFile,
                     Quoted(metaPath) + " records an identity its command line does not give");
  }
  if (recorded->RowsScheme != kEarlierRowsScheme && recorded->RowsScheme != kRowsScheme) {
    throw InputError(kFile, Quoted(metaPath) + " records rows scheme " +
                                std::to_string(recorded->RowsScheme) +
                                ", which this version of impactsim does not know");
  }
  return recorded->RowsScheme;
}

// The fields a description states of its sweep must be the sweep's own.
void CheckRecordedFields(const SweepRequest& request, const std::string& metaPath,
                         const Json& meta) {
  const std::uint64_t tasks = request.Plan.TaskCount();
  const std::pair<const char*, Json> fields[] = {
      {"tool", "impactsim"},
      {"format", FormatName(request.Format)},
      {"shard", request.Part.Text()},
      {"tasks", tasks},
      {"shard_tasks", request.Part.Size(tasks)},
  };
  for (const auto& [key, expected] : fields) {
    const auto found = meta.find(key);
    if (found == meta.end() || *found != expected) {
      throw InputError(kFile, Quoted(metaPath) + " records " + key + " " +
                                  (found == meta.end() ? "none" : found->dump()) +
                                  " for a sweep whose command line gives " + expected.dump());
    }
  }
}

// The series the description names is the one its command line writes,
// with the identity of the sweep's series.
void CheckRecordedSeries(const SweepRequest& request, const std::string& metaPath, const Json& meta,
                         const std::string& identity) {
  const auto series = meta.find("series");
  if (series == meta.end() && request.SeriesPath.empty()) return;
  const bool agrees = series != meta.end() && series->is_object() &&
                      series->value("file", Json()) == request.SeriesPath &&
                      series->value("identity", Json()) == SeriesIdentity(identity, request.Format);
  if (!agrees) {
    throw InputError(
        kFile,
        Quoted(metaPath) + (series == meta.end() ? " names no series, its command line writes one"
                                                 : " names a series its command line does not "
                                                   "write (see \"series\")"));
  }
}

// The series is looked for where it stands to FILE as it stood to the
// recorded --out (so the two may be moved together), else where the command
// line named it.
std::string SeriesBeside(const std::string& path, const std::string& out,
                         const std::string& seriesPath) {
  namespace fs = std::filesystem;
  const fs::path series(seriesPath);
  const fs::path rowsWere(out);
  if (series.is_absolute() != rowsWere.is_absolute()) return seriesPath;
  const fs::path beside =
      (fs::path(path).parent_path() / series.lexically_relative(rowsWere.parent_path()))
          .lexically_normal();
  std::error_code ignored;
  if (fs::exists(beside, ignored) || !fs::exists(series, ignored)) return beside.string();
  return seriesPath;
}

}  // namespace

void CheckStartFiles(const SweepPlan& plan, const std::string& metaPath,
                     const std::string& metaText, const std::string& key) {
  const Json meta = Json::parse(metaText, nullptr, false);
  const auto recorded = meta.is_object() ? meta.find("start_files") : meta.end();
  if (!meta.is_object() || recorded == meta.end() || !recorded->is_array()) return;
  for (std::size_t v = 0; v < plan.Starts.size() && v < recorded->size(); ++v) {
    const Json& entry = (*recorded)[v];
    const std::string& path = plan.Values[kStartSetting][v];
    if (!entry.is_object() || entry.value("file", Json()) != RecordedArgument(path) ||
        entry.value("sha256", Json()) == plan.Starts[v].Sha256) {
      continue;
    }
    throw InputError(key, "the start file " + Quoted(path) + " has changed since the sweep " +
                              Quoted(metaPath) + " describes was written");
  }
}

SweepRequest RecordedSweepOf(const std::string& path, const std::string& metaPath,
                             const std::string& metaText) {
  const std::string notASweep = Quoted(metaPath) + " does not describe a sweep";
  const Json meta = Json::parse(metaText, nullptr, false);
  if (!meta.is_object() || !meta.contains("sweep_identity")) throw InputError(kFile, notASweep);
  SweepRequest request = RecordedCommandLine(metaPath, meta, notASweep);
  CheckStartFiles(request.Plan, metaPath, metaText, kFile);
  // An earlier version's rows are re-made as it made them.
  if (CheckRecordedIdentity(request, metaPath, metaText, notASweep) == kEarlierRowsScheme) {
    request.Plan.Unanimity = UnanimityPeriod::PatternRepeat;
  }
  CheckRecordedFields(request, metaPath, meta);
  CheckRecordedSeries(request, metaPath, meta, meta.at("sweep_identity").get<std::string>());
  const std::string out = request.OutPath;
  request.OutPath = path;
  if (!request.SeriesPath.empty()) {
    request.SeriesPath = SeriesBeside(path, out, request.SeriesPath);
    // As the sweep refuses a series that is its rows or their description.
    try {
      CheckSeriesPath(request);
    } catch (const InputError& e) {
      throw InputError(kFile, Quoted(metaPath) + " records a sweep impactsim refuses: " + e.what());
    }
  }
  return request;
}

}  // namespace impactsim
