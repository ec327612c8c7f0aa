#pragma once
// The --out file of a sweep: where it stands before anything is written, its
// lock against other sweeps, and the appends of rows.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <utility>

#include "sweep/input_error.h"
#include "sweep/sweep_arguments.h"

namespace impactsim {

// Where --out stands before anything is written to it.
struct OutState {
  std::uint64_t KeepBytes = 0;  // complete lines already there
  std::uint64_t DoneRows = 0;   // rows among them: the shard's first tasks
  bool Exists = false;
  bool TornLine = false;  // an unfinished last line to cut off
  bool WriteHeader = false;
  bool WriteMeta = false;  // a new or empty file: describe the sweep afresh

  // The --series file, if asked for: the bytes of its header and of the
  // series of the rows kept; anything after them is cut off.
  bool SeriesExists = false;
  std::uint64_t SeriesSize = 0;
  std::uint64_t SeriesKeepBytes = 0;
  bool WriteSeriesHeader = false;
};

// A row kept from the file, in order, as InspectOut reads it.
using KeptRow = std::function<void(const SweepTask& task, const RowResult& row)>;

// Checks --out against the request: a file that holds rows is only
// continued (--resume), and only when its description names this very sweep
// and is one verify can read back (RecordedSweepOf), the files of a sweep
// that was complete still have the digests it records, and every complete
// line is the row of the shard's next task, each handed to `kept` if given.
// With --series, the series file is checked alongside: it must be this
// sweep's (the description names its identity and the file) and hold, for
// every row kept, that task's rounds agreeing with the row. Reads, never
// writes; throws InputError.
OutState InspectOut(const SweepRequest& request, const std::string& identity,
                    const KeptRow& kept = nullptr);

// Checks that the --series file is a file of its own: not the rows, nor
// their description, however it is spelled. Throws InputError.
void CheckSeriesPath(const SweepRequest& request);

// Opens --out for appending and takes its lock: an existing file before it
// is read, so that no other sweep can change it between the checks and the
// appends; a new one, created here, after the checks. Throws InputError for
// `key`, the file's argument ("out" or "series").
int OpenOut(const std::string& path, bool create, const char* key = "out");

// Where the rows go: the --out file, appended to by whole writes, or a stream.
class RowSink {
 public:
  explicit RowSink(std::ostream& out) : out_(&out) {}
  // `key` names the file's argument in messages: "out" or "series".
  RowSink(int fd, std::string path, std::string key = "out")
      : fd_(fd), path_(std::move(path)), key_(std::move(key)) {}
  RowSink(const RowSink&) = delete;
  RowSink& operator=(const RowSink&) = delete;
  ~RowSink();

  // Writes and flushes; on failure sets the reason and returns false.
  bool Write(std::string_view text);

  // Cuts the file to its first `size` bytes, dropping what a sweep that was
  // cut short left after them; on failure sets the reason.
  bool Truncate(std::uint64_t size);

  const Problem& Error() const { return error_; }

 private:
  std::ostream* out_ = nullptr;
  int fd_ = -1;
  std::string path_;
  std::string key_;
  Problem error_;
};

}  // namespace impactsim
