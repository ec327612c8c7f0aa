#include "cli/output_file.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <system_error>
#include <vector>

namespace impactsim::cli {

namespace {

std::string Reason(int errorNumber) {
  return std::generic_category().message(errorNumber);
}

// The mode a newly created file would get: mkstemp makes 0600, but an output
// file should be as readable as any other file the user creates.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return static_cast<mode_t>(0666 & ~mask);
}

// The temporary files a signal handler removes. Filled before a file is
// listed as in use and cleared after it is gone, so the handler, which may
// only call async-signal-safe functions, sees whole paths.
struct PendingFile {
  char Path[4096];
  volatile std::sig_atomic_t InUse;
};
PendingFile pendingFiles[8];

int ListPending(const std::string& path) {
  if (path.size() >= sizeof(PendingFile::Path)) return -1;
  for (int i = 0; i < static_cast<int>(std::size(pendingFiles)); ++i) {
    PendingFile& slot = pendingFiles[i];
    if (slot.InUse) continue;
    std::memcpy(slot.Path, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);  // the path is complete before use
    slot.InUse = 1;
    return i;
  }
  return -1;
}

void UnlistPending(int& slot) {
  if (slot >= 0) pendingFiles[slot].InUse = 0;
  slot = -1;
}

extern "C" void RemovePendingAndRaise(int sig) {
  for (PendingFile& slot : pendingFiles) {
    if (slot.InUse) ::unlink(slot.Path);
  }
  std::signal(sig, SIG_DFL);
  std::raise(sig);
}

}  // namespace

void RemoveTemporaryFilesOnSignal() {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    // A signal the process was started ignoring stays ignored.
    struct sigaction current {};
    if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) continue;
    struct sigaction cleanup {};
    cleanup.sa_handler = RemovePendingAndRaise;
    sigemptyset(&cleanup.sa_mask);
    ::sigaction(sig, &cleanup, nullptr);
  }
}

bool OutputFile::Open(std::string& error) {
  Discard();
  if (path_.empty() || path_.back() == '/') {
    error = "names a directory, not a file";
    return false;
  }
  struct stat target {};
  if (::stat(path_.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
    error = "is a directory";
    return false;
  }
  std::string pattern = path_ + ".tmp.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) {
    error = Reason(errno);
    return false;
  }
  tempPath_ = name.data();
  signalSlot_ = ListPending(tempPath_);
  if (::fchmod(fd, NewFileMode()) != 0) {
    const int e = errno;
    ::close(fd);
    return Fail(error, e);
  }
  file_ = ::fdopen(fd, "w");
  if (file_ == nullptr) {
    const int e = errno;
    ::close(fd);
    return Fail(error, e);
  }
  writeError_ = 0;
  return true;
}

void OutputFile::Write(std::string_view text) {
  if (file_ == nullptr || writeError_ != 0 || text.empty()) return;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
    writeError_ = errno != 0 ? errno : EIO;
  }
}

bool OutputFile::Commit(std::string& error) {
  if (file_ == nullptr) {
    error = "not open";
    return false;
  }
  if (writeError_ != 0) return Fail(error, writeError_);
  if (std::fflush(file_) != 0) return Fail(error, errno);
  if (::fsync(::fileno(file_)) != 0) return Fail(error, errno);
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) return Fail(error, errno);
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) return Fail(error, errno);
  tempPath_.clear();
  UnlistPending(signalSlot_);
  return true;
}

void OutputFile::Discard() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!tempPath_.empty()) {
    std::remove(tempPath_.c_str());
    tempPath_.clear();
  }
  UnlistPending(signalSlot_);
}

bool OutputFile::Fail(std::string& error, int errorNumber) {
  error = Reason(errorNumber);
  Discard();
  return false;
}

}  // namespace impactsim::cli
