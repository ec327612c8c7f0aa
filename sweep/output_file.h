#pragma once
// An output file that appears whole or not at all.

#include <atomic>
#include <cstdio>
#include <string>
#include <string_view>
#include <utility>

#include "sweep/output_target.h"

namespace impactsim {

// The content goes to a temporary file beside the target (.impactsim.XXXXXX
// in the same directory, so on the same file system), which is renamed over
// the target only when all of it has been written. Until then the target
// keeps its old content, or stays absent; an uncommitted temporary file is
// removed on destruction. A symbolic link is followed: the file it names is
// replaced and the link stays. A replaced file keeps its permissions (and,
// for the superuser, its owner and group).
//
// A device, FIFO or socket is never replaced: it is opened and written in
// place, as a stream, and what was written stays written. Where standard
// output or standard error goes to it (/dev/stdout on a pipe, a socket or a
// terminal), that stream's descriptor is written; for standard output, which
// carries the log as it is made, only when committed, after the whole log
// (the content waits in an unnamed temporary file until then).
class OutputFile {
 public:
  explicit OutputFile(std::string path) : path_(std::move(path)) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  // Finds the target and proves, before any work is done, everything that
  // putting the output in place will need: the temporary file is created
  // (or the special file opened), and an existing file may be written and
  // replaced. On failure returns false and sets the reason.
  bool Open(std::string& error);

  // Appends text. A failure is remembered and reported by Commit; later
  // writes are skipped.
  void Write(std::string_view text);

  // Hands what was written so far to the file, so that a reader of the
  // temporary file (or of a special file) sees it; a failure is remembered.
  void Flush();

  // Flushes, syncs and closes the temporary file and renames it over the
  // target (a special file: flushes and closes it). On failure removes the
  // temporary file, leaves the target as it was, returns false and sets the
  // reason.
  bool Commit(std::string& error);

  // Closes and removes the temporary file, if any.
  void Discard();

  const std::string& Path() const { return path_; }

 private:
  bool OpenInPlace(const OutputTarget& target, std::string& error);
  bool OpenBeside(const OutputTarget& target, std::string& error);
  bool Adopt(int fd, std::string& error);
  bool Unspool(std::string& error);
  bool Fail(std::string& error, int errorNumber);

  std::string path_;
  std::string targetPath_;  // path_ with its links followed
  std::string tempPath_;    // empty when writing in place
  int signalSlot_ = -1;     // where the temporary file is listed for signal cleanup
  std::FILE* file_ = nullptr;
  std::FILE* spool_ = nullptr;  // what waits for standard output, or none
  int writeError_ = 0;          // errno of the first failed write
};

// Makes every signal that ends the process by default (SIGINT, SIGTERM,
// SIGHUP, SIGPIPE, SIGQUIT, SIGALRM, SIGUSR1, SIGXCPU, the real-time signals
// and the like) remove the temporary files of outputs not yet committed
// before the process ends as the signal demands, so an interrupted run leaves
// none behind; SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP and SIGSYS too when
// another process sends them (a genuine fault is left as it was). While a
// StopRunsOnSignal lives, SIGINT, SIGTERM and SIGHUP instead ask the runs to
// stop (StopRequested); a second one ends the process at once. For the
// executable's main; tests keep the default handlers.
void RemoveTemporaryFilesOnSignal();

// While one lives, the first SIGINT, SIGTERM or SIGHUP sets StopRequested()
// rather than ending the process (where RemoveTemporaryFilesOnSignal is in
// force): for work that reads the flag between rounds, stops, and leaves its
// outputs as an interrupted run leaves them. One at a time, on the main
// thread.
class StopRunsOnSignal {
 public:
  StopRunsOnSignal();
  StopRunsOnSignal(const StopRunsOnSignal&) = delete;
  StopRunsOnSignal& operator=(const StopRunsOnSignal&) = delete;
  ~StopRunsOnSignal();
};

// Set once a signal asked the runs to stop; never cleared.
const std::atomic<bool>& StopRequested();

// If a signal asked the runs to stop, removes the temporary files still
// listed and ends the process as that signal demands; returns otherwise. For
// the executable's main, once the work has stopped and its output is flushed.
void EndIfStopRequested();

// Opens /dev/null on any of descriptors 0, 1 and 2 that is closed, so that no
// file opened later takes the number of a standard stream and receives what
// is written to it. For the executable's main, before anything else.
void OpenClosedStandardStreams();

}  // namespace impactsim
