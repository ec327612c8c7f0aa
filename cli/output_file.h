#pragma once
// An output file that appears whole or not at all.

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

namespace impactsim::cli {

// The content goes to a temporary file next to the target (FILE.tmp.XXXXXX,
// so on the same file system), which is renamed over the target only when
// all of it has been written. Until then the target keeps its old content, or
// stays absent; an uncommitted temporary file is removed on destruction.
class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  // Creates the temporary file. Proves before any work is done that the
  // target's directory takes new files. On failure returns false and sets
  // the reason.
  bool Open(std::string& error);

  // Appends text. A failure is remembered and reported by Commit; later
  // writes are skipped.
  void Write(std::string_view text);

  // Flushes, syncs and closes the temporary file and renames it over the
  // target. On failure removes the temporary file, leaves the target as it
  // was, returns false and sets the reason.
  bool Commit(std::string& error);

  // Closes and removes the temporary file, if any.
  void Discard();

  const std::string& Path() const { return path_; }
  const std::string& TempPath() const { return tempPath_; }

 private:
  bool Fail(std::string& error, int errorNumber);

  std::string path_;
  std::string tempPath_;
  int signalSlot_ = -1;  // where the temporary file is listed for signal cleanup
  std::FILE* file_ = nullptr;
  int writeError_ = 0;  // errno of the first failed write
};

// Makes SIGINT, SIGTERM, SIGHUP and SIGPIPE remove the temporary files of
// outputs not yet committed before the process ends as the signal demands, so
// an interrupted run leaves no FILE.tmp.XXXXXX behind. For the executable's
// main; tests keep the default handlers.
void RemoveTemporaryFilesOnSignal();

}  // namespace impactsim::cli
