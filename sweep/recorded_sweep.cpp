#include "sweep/recorded_sweep.h"

#include <filesystem>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "sweep/input_error.h"
#include "sweep/sweep_command_line.h"
#include "sweep/sweep_description.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

using Json = nlohmann::json;

constexpr const char* kFile = "file";

// The recorded command line after the program name, with FILE as its --out
// (given as "--out=FILE", so that a FILE starting with '-' stays a value),
// and the --out and --series it recorded.
struct RecordedLine {
  std::vector<std::string> Args;
  std::string Out;
  std::string Series;
};

RecordedLine RecordedCommandLine(const std::string& path, const Json& meta,
                                 const std::string& notASweep) {
  const auto line = meta.find("command_line");
  if (line == meta.end() || !line->is_array() || line->size() < 2) {
    throw InputError(kFile, notASweep);
  }
  RecordedLine recorded;
  std::vector<std::string>& args = recorded.Args;
  for (const Json& arg : *line) {
    if (!arg.is_string()) throw InputError(kFile, notASweep);
    args.push_back(arg.get<std::string>());
  }
  if (args[0] != "impactsim" || args[1] != "sweep") throw InputError(kFile, notASweep);
  args.erase(args.begin());
  bool out = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--out" && i + 1 < args.size()) {
      recorded.Out = args[i + 1];
      args[i] = "--out=" + path;
      args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
      out = true;
    } else if (args[i].starts_with("--out=")) {
      recorded.Out = args[i].substr(6);
      args[i] = "--out=" + path;
      out = true;
    } else if (args[i] == "--series" && i + 1 < args.size()) {
      recorded.Series = args[i + 1];
    } else if (args[i].starts_with("--series=")) {
      recorded.Series = args[i].substr(9);
    }
  }
  if (!out) throw InputError(kFile, notASweep + " written to a file (no --out)");
  return recorded;
}

// The identity must be the one the command line gives, in the scheme the
// description names: else the description was edited or is of another sweep.
void CheckRecordedIdentity(const SweepRequest& request, const std::string& metaPath,
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
}

// The series is looked for where it stands to FILE as it stood to the
// recorded --out (so the two may be moved together), else where the command
// line named it.
std::string SeriesBeside(const std::string& path, const RecordedLine& line) {
  namespace fs = std::filesystem;
  const fs::path series(line.Series);
  const fs::path rowsWere(line.Out);
  if (series.is_absolute() != rowsWere.is_absolute()) return line.Series;
  const fs::path beside =
      (fs::path(path).parent_path() / series.lexically_relative(rowsWere.parent_path()))
          .lexically_normal();
  std::error_code ignored;
  if (fs::exists(beside, ignored) || !fs::exists(series, ignored)) return beside.string();
  return line.Series;
}

}  // namespace

SweepRequest RecordedSweepOf(const std::string& path, const std::string& metaPath,
                             const std::string& metaText) {
  const std::string notASweep = Quoted(metaPath) + " does not describe a sweep";
  const Json meta = Json::parse(metaText, nullptr, false);
  if (!meta.is_object() || !meta.contains("sweep_identity")) throw InputError(kFile, notASweep);
  const RecordedLine line = RecordedCommandLine(path, meta, notASweep);
  SweepRequest request;
  try {
    request = ParseSweepCommandLine(line.Args);
  } catch (const InputError& e) {
    throw InputError(kFile, Quoted(metaPath) + " records a sweep impactsim refuses: " + e.what());
  }
  CheckRecordedIdentity(request, metaPath, metaText, notASweep);
  if (!line.Series.empty()) request.SeriesPath = SeriesBeside(path, line);
  return request;
}

}  // namespace impactsim
