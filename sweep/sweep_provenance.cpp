#include "sweep/sweep_provenance.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>

#include "sweep/build_info.h"
#include "sweep/input_error.h"
#include "sweep/readable_file.h"
#include "sweep/sha256.h"
#include "sweep/sweep_description.h"
#include "sweep/text_escape.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim {

namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kOut = "out";

// The status of a session: written as "running" when it starts, so one that
// was killed says so.
constexpr const char* kRunning = "running";
constexpr const char* kComplete = "complete";
constexpr const char* kStopped = "stopped";
constexpr const char* kFailed = "failed";

// This session as the description records it: the build, the machine, the
// command line (and the Python call) and the start; the end is filled in by
// End.
Json NewSession(const SweepOrigin& origin) {
  const BuildInfo& build = ThisBuild();
  const HostInfo host = ThisHost();
  Json commandLine = Json::array({"impactsim"});
  for (const std::string& arg : origin.Args) commandLine.push_back(RecordedArgument(arg));
  // Text from the system may be in any encoding; JSON holds only UTF-8.
  Json session{{"host", RecordedArgument(host.Host)},
               {"os", RecordedArgument(host.Os)},
               {"arch", RecordedArgument(host.Arch)},
               {"version", IMPACTSIM_PROJECT_VERSION},
               {"commit", build.Commit},
               {"commit_modified", build.Modified},
               {"compiler", build.Compiler},
               {"build_type", build.BuildType},
               {"flags", build.Flags},
               {"command_line", commandLine}};
  if (!origin.Call.empty()) session["call"] = RecordedArgument(origin.Call);
  session["started"] = UtcNow();
  session["finished"] = nullptr;
  session["rows_added"] = 0;
  session["status"] = kRunning;
  return session;
}

// Sets the sweep's own provenance fields, after every other field and in
// one order however often the description is rewritten: the first start, the
// latest finish, the rows the file holds, whether that is every task of the
// shard, the digest of a complete file, and the sessions.
void PutSummary(Json& meta, const Json& finished, std::uint64_t rows, bool complete,
                const std::string& sha256, const std::string& seriesSha256 = "") {
  const Json started = meta.contains("started") ? meta["started"] : Json(nullptr);
  const Json sessions =
      meta.contains("sessions") && meta["sessions"].is_array() ? meta["sessions"] : Json::array();
  for (const char* key : {"started", "finished", "rows_written", "complete", "rows_sha256",
                          "series_sha256", "sessions"}) {
    meta.erase(key);
  }
  meta["started"] = started;
  meta["finished"] = finished;
  meta["rows_written"] = rows;
  meta["complete"] = complete;
  if (!sha256.empty()) meta["rows_sha256"] = sha256;
  if (!seriesSha256.empty()) meta["series_sha256"] = seriesSha256;
  meta["sessions"] = sessions;
}

// The latest session of a continued file, if it never recorded its end (it
// was killed, or could not rewrite the description), added the rows kept now
// beyond those the file held when it started, which it recorded as the
// description's rows_written.
void CountRowsOfUnfinishedSession(Json& meta, std::uint64_t rowsKept) {
  const auto sessions = meta.find("sessions");
  const auto before = meta.find("rows_written");
  if (sessions == meta.end() || !sessions->is_array() || sessions->empty() ||
      before == meta.end() || !before->is_number_unsigned()) {
    return;
  }
  Json& last = sessions->back();
  const auto finished = last.is_object() ? last.find("finished") : last.end();
  if (finished == last.end() || !finished->is_null()) return;
  const auto held = before->get<std::uint64_t>();
  last["rows_added"] = rowsKept >= held ? rowsKept - held : 0;
}

}  // namespace

std::optional<RowsFileScan> ScanRowsFile(const std::string& path, std::string& error) {
  ReadableFile in(path);
  if (!in.IsOpen()) {
    error = "cannot read " + Quoted(path) + ": " + in.Reason();
    return std::nullopt;
  }
  Sha256 digest;
  RowsFileScan scan;
  char last = '\n';
  std::string buffer(1 << 16, '\0');
  while (true) {
    const std::ptrdiff_t got = in.Read(buffer.data(), buffer.size());
    if (got < 0) {
      error = "reading " + Quoted(path) + " failed: " + ErrnoText(errno);
      return std::nullopt;
    }
    const auto n = static_cast<std::size_t>(got);
    if (n == 0) break;
    if (!digest.Update(std::string_view(buffer.data(), n))) break;
    scan.Lines += static_cast<std::uint64_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
    scan.Bytes += n;
    last = buffer[n - 1];
  }
  scan.Sha256 = digest.Hex();
  if (scan.Sha256.empty()) {
    error = "SHA-256 is not available";
    return std::nullopt;
  }
  scan.TornLine = last != '\n';
  return scan;
}

std::uint64_t RowsIn(const RowsFileScan& scan, RowFormat format) {
  return format == RowFormat::Csv && scan.Lines > 0 ? scan.Lines - 1 : scan.Lines;
}

SweepSession::SweepSession(const SweepRequest& request, const SweepOrigin& origin,
                           const std::string& description, const OutState& state,
                           ReportProblem report)
    : rowsPath_(request.OutPath),
      seriesPath_(request.SeriesPath),
      format_(request.Format),
      shardTasks_(request.Part.Size(request.Plan.TaskCount())),
      rowsAtStart_(state.DoneRows),
      report_(std::move(report)) {
  const std::string metaPath = rowsPath_ + kMetaSuffix;
  Json meta;
  if (state.WriteMeta) {
    meta = Json::parse(description);
  } else {
    // A continued file: InspectOut has just read this description and found
    // it names this sweep.
    std::string text;
    std::string reason;
    if (!ReadDescriptionFile(metaPath, text, reason)) {
      throw InputError("resume", "cannot read " + Quoted(metaPath) + ": " + reason);
    }
    meta = Json::parse(text, nullptr, false);
    if (!meta.is_object()) {
      throw InputError("resume", "cannot read " + Quoted(metaPath));
    }
    if (!meta.contains("identity_scheme")) return;  // an earlier version's: left as it is
  }
  if (!state.WriteMeta) CountRowsOfUnfinishedSession(meta, rowsAtStart_);
  Json session = NewSession(origin);
  // A description from before sessions were recorded has no known start.
  if (state.WriteMeta) meta["started"] = session["started"];
  // A file complete at the start, whose digests InspectOut found agreeing,
  // keeps them while the session runs and however it ends: nothing is left
  // to write to it.
  keepsDigests_ = !state.WriteMeta && !state.TornLine && rowsAtStart_ == shardTasks_ &&
                  state.SeriesKeepBytes == state.SeriesSize;
  const auto digest = [&meta, this](const char* key) {
    const auto found = meta.find(key);
    return keepsDigests_ && found != meta.end() && found->is_string() ? found->get<std::string>()
                                                                      : std::string();
  };
  PutSummary(meta, nullptr, rowsAtStart_, keepsDigests_, digest("rows_sha256"),
             digest("series_sha256"));
  meta["sessions"].push_back(session);
  meta_ = meta.dump(2) + '\n';

  start_.emplace(metaPath);
  std::string reason;
  if (!start_->Open(reason)) {
    throw InputError(kOut, "cannot write " + Quoted(metaPath) + ": " + reason);
  }
}

SweepSession::~SweepSession() {
  if (begun_ && !ended_) End(false);
}

bool SweepSession::Begin() {
  if (!start_) return true;
  start_->Write(meta_);
  if (!Commit(*start_)) return false;
  begun_ = true;
  return true;
}

bool SweepSession::Finish() {
  if (!begun_ || ended_) return true;
  return End(true);
}

bool SweepSession::Commit(OutputFile& file) {
  std::string reason;
  if (file.Commit(reason)) return true;
  report_({kOut, "writing " + Quoted(file.Path()) + " failed: " + reason});
  return false;
}

// Never throws: it may run while an exception unwinds the sweep.
bool SweepSession::End(bool finished) {
  ended_ = true;
  try {
    Json meta = Json::parse(meta_);
    Json& session = meta["sessions"].back();
    std::string reason;
    const std::optional<RowsFileScan> scan = ScanRowsFile(rowsPath_, reason);
    const std::uint64_t rows = scan ? RowsIn(*scan, format_) : rowsAtStart_;
    const bool complete = scan && !scan->TornLine && rows == shardTasks_;
    const std::string now = UtcNow();
    session["finished"] = now;
    session["rows_added"] = rows >= rowsAtStart_ ? rows - rowsAtStart_ : 0;
    session["status"] = !finished ? kFailed : complete ? kComplete : kStopped;
    // The digests only of files this session saw through to their last row,
    // or found complete and left as they were.
    const bool digest = complete && (finished || keepsDigests_);
    std::optional<RowsFileScan> series;
    std::string seriesError;
    if (digest && !seriesPath_.empty()) series = ScanRowsFile(seriesPath_, seriesError);
    PutSummary(meta, now, rows, complete, digest ? scan->Sha256 : "", series ? series->Sha256 : "");
    OutputFile file(rowsPath_ + kMetaSuffix);
    if (!file.Open(reason)) {
      report_({kOut, "cannot write " + Quoted(file.Path()) + ": " + reason});
      MarkFailedInPlace();
      return false;
    }
    file.Write(meta.dump(2) + '\n');
    if (!Commit(file)) {
      MarkFailedInPlace();
      return false;
    }
    if (!scan) {
      report_({kOut, "counting the rows of " + Quoted(rowsPath_) + " failed: " + reason});
      return false;
    }
    if (!seriesError.empty()) {
      report_({"series", seriesError});
      return false;
    }
    return true;
  } catch (const std::exception& e) {
    report_({kOut, "recording the end of the sweep in " + Quoted(rowsPath_ + kMetaSuffix) +
                       " failed: " + e.what()});
    return false;
  }
}

// The description this session wrote at its start, with "running" as the
// last session's status (its last field), becomes "failed" in place: the
// same number of bytes, so that no new space is needed. Touches nothing
// unless the file still holds exactly that description. Never throws.
bool SweepSession::MarkFailedInPlace() const {
  const std::string running = "\"status\": \"running\"";
  const std::string failed = "\"status\": \"failed\" ";
  const std::size_t at = meta_.rfind(running);
  if (at == std::string::npos) return false;
  const int fd = ::open((rowsPath_ + kMetaSuffix).c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return false;
  std::string held(meta_.size() + 1, '\0');
  std::size_t size = 0;
  while (size < held.size()) {
    const ssize_t n = ::pread(fd, held.data() + size, held.size() - size, static_cast<off_t>(size));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  held.resize(size);
  const bool marked = held == meta_ &&
                      ::pwrite(fd, failed.data(), failed.size(), static_cast<off_t>(at)) ==
                          static_cast<ssize_t>(failed.size()) &&
                      ::fsync(fd) == 0;
  ::close(fd);
  return marked;
}

std::string DescriptionWithoutFile(const std::string& description, const SweepOrigin& origin,
                                   std::uint64_t rows) {
  Json meta = Json::parse(description);
  Json session = NewSession(origin);
  const Json now = session["started"];
  session["finished"] = now;
  session["rows_added"] = rows;
  session["status"] = kComplete;
  meta["started"] = now;
  PutSummary(meta, now, rows, true, "");
  meta["sessions"].push_back(session);
  return meta.dump(2) + '\n';
}

}  // namespace impactsim
