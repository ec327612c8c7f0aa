#include "sweep/output_file.h"

#include <fcntl.h>
#include <pthread.h>
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
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

#include "sweep/text_escape.h"

namespace impactsim {

namespace {

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

// The signals that ask the process to stop (Ctrl+C, kill, a closed
// terminal): while a StopRunsOnSignal lives, the first of them only asks the
// runs to stop after their current round.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile std::sig_atomic_t stopInRounds = 0;  // a StopRunsOnSignal lives
volatile std::sig_atomic_t stopSignal = 0;    // the signal that asked, once one has
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

extern "C" void StopRunsOrRemoveAndRaise(int sig) {
  if (stopInRounds != 0 && stopSignal == 0) {
    stopSignal = sig;
    stopRequested.store(true);
    return;
  }
  RemovePendingAndRaise(sig);
}

// The signals a fault raises, and the actions they had before.
constexpr int kFaultSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGSYS};
struct sigaction faultActions[std::size(kFaultSignals)];

// Sent by another process (kill, sigqueue): removes the temporary files and
// ends the process as SIGTERM's handler does. A genuine fault goes to the
// action in place before: for a fault that comes again when the instruction
// is retried, on return; SIGTRAP and SIGSYS, which are not retried, at once.
extern "C" void RemovePendingIfSent(int sig, siginfo_t* info, void* context) {
  (void)context;
  if (info != nullptr && (info->si_code == SI_USER || info->si_code == SI_QUEUE)) {
    RemovePendingAndRaise(sig);
    return;
  }
  for (std::size_t i = 0; i < std::size(kFaultSignals); ++i) {
    if (kFaultSignals[i] == sig) ::sigaction(sig, &faultActions[i], nullptr);
  }
  if (sig == SIGTRAP || sig == SIGSYS) std::raise(sig);
}

// Installs `handler` for `sig` unless the process was started ignoring it.
void Handle(int sig, const struct sigaction& handler, struct sigaction* before = nullptr) {
  struct sigaction current {};
  if (::sigaction(sig, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) return;
  if (before != nullptr) *before = current;
  ::sigaction(sig, &handler, nullptr);
}

}  // namespace

void RemoveTemporaryFilesOnSignal() {
  // The signals whose default action ends the process; those a fault raises
  // (SIGSEGV and its kind) only when another process sends them.
  std::vector<int> signals = {SIGQUIT, SIGPIPE, SIGALRM, SIGUSR1, SIGUSR2,   SIGVTALRM, SIGPROF,
                              SIGXCPU, SIGXFSZ, SIGIO,   SIGPWR,  SIGSTKFLT, SIGABRT};
  for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) signals.push_back(sig);
  struct sigaction cleanup {};
  cleanup.sa_handler = RemovePendingAndRaise;
  sigemptyset(&cleanup.sa_mask);
  for (const int sig : signals) Handle(sig, cleanup);
  // Restarted system calls: a signal that only asks the runs to stop must
  // not fail a write in progress.
  struct sigaction stop {};
  stop.sa_handler = StopRunsOrRemoveAndRaise;
  stop.sa_flags = SA_RESTART;
  sigemptyset(&stop.sa_mask);
  for (const int sig : kStopSignals) Handle(sig, stop);
  struct sigaction sent {};
  sent.sa_sigaction = RemovePendingIfSent;
  sent.sa_flags = SA_SIGINFO;
  sigemptyset(&sent.sa_mask);
  for (std::size_t i = 0; i < std::size(kFaultSignals); ++i) {
    faultActions[i].sa_handler = SIG_DFL;
    Handle(kFaultSignals[i], sent, &faultActions[i]);
  }
}

StopRunsOnSignal::StopRunsOnSignal() {
  stopInRounds = 1;
}

StopRunsOnSignal::~StopRunsOnSignal() {
  stopInRounds = 0;
}

const std::atomic<bool>& StopRequested() {
  return stopRequested;
}

void EndIfStopRequested() {
  const int sig = stopSignal;
  if (sig != 0) RemovePendingAndRaise(sig);
}

void OpenClosedStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number is this one: the ones below are open.
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

bool OutputFile::Open(std::string& error) {
  Discard();
  const std::optional<OutputTarget> target = FindOutputTarget(path_, error);
  if (!target) return false;
  targetPath_ = target->Path;
  if (target->What == OutputTarget::Kind::Special) return OpenInPlace(*target, error);
  // Replacing the file the log or the seed goes to would lose them.
  for (const auto& [fd, stream] :
       {std::pair{STDOUT_FILENO, "standard output"}, std::pair{STDERR_FILENO, "standard error"}}) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_dev == target->Device && st.st_ino == target->Inode) {
      error = std::string("is where ") + stream + " goes";
      return false;
    }
  }
  if (!CheckReplaceable(*target, error)) return false;
  return OpenBeside(*target, error);
}

// A device, FIFO or socket: written where it is. The one standard output or
// standard error goes to is written through a copy of that descriptor, as a
// socket cannot be opened by name, and a pipe's reader is known to be there.
// Opening any other FIFO waits for a reader, as a shell's redirection does.
bool OutputFile::OpenInPlace(const OutputTarget& target, std::string& error) {
  for (const int stream : {STDOUT_FILENO, STDERR_FILENO}) {
    struct stat st {};
    if (::fstat(stream, &st) != 0 || st.st_dev != target.Device || st.st_ino != target.Inode) {
      continue;
    }
    const int fd = ::fcntl(stream, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) {
      error = ErrnoText(errno);
      return false;
    }
    if (!Adopt(fd, error)) return false;
    // The log goes to standard output as the run makes it; an output sent
    // there too waits in an unnamed temporary file (memory stays flat
    // however long the run) and follows the whole log when put in place.
    if (stream == STDOUT_FILENO) {
      spool_ = std::tmpfile();
      if (spool_ == nullptr) return Fail(error, errno);
    }
    return true;
  }
  const int fd = ::open(targetPath_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    error = ErrnoText(errno);
    return false;
  }
  return Adopt(fd, error);
}

bool OutputFile::OpenBeside(const OutputTarget& target, std::string& error) {
  const std::string directory = targetPath_.substr(0, targetPath_.rfind('/') + 1);
  std::string pattern = directory + ".impactsim.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  // No signal may end the process between the file's creation and its
  // listing for removal: one that comes meanwhile waits until it is listed.
  sigset_t all;
  sigset_t before;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &before);
  const int fd = ::mkstemp(name.data());
  const int made = errno;
  if (fd >= 0) {
    tempPath_ = name.data();
    signalSlot_ = ListPending(tempPath_);
  }
  ::pthread_sigmask(SIG_SETMASK, &before, nullptr);
  if (fd < 0) {
    error = ErrnoText(made);
    return false;
  }
  // A new file is made like any other file the user creates; a replaced one
  // keeps what it had: its permissions, and its owner where that is allowed.
  const bool replacing = target.What == OutputTarget::Kind::Regular;
  if (replacing) {
    // Best effort: a user who may not give the file away keeps it.
    const uid_t owner = ::geteuid() == 0 ? target.Owner : static_cast<uid_t>(-1);
    [[maybe_unused]] const int given = ::fchown(fd, owner, target.Group);
  }
  if (::fchmod(fd, replacing ? (target.Mode & 07777) : NewFileMode()) != 0) {
    const int e = errno;
    ::close(fd);
    return Fail(error, e);
  }
  return Adopt(fd, error);
}

// Writes go through a stdio stream on the opened descriptor; on failure the
// descriptor is closed and the temporary file, if any, removed.
bool OutputFile::Adopt(int fd, std::string& error) {
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
  std::FILE* to = spool_ != nullptr ? spool_ : file_;
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), to) != text.size()) {
    writeError_ = errno != 0 ? errno : EIO;
  }
}

void OutputFile::Flush() {
  if (file_ == nullptr || writeError_ != 0) return;
  if (std::fflush(spool_ != nullptr ? spool_ : file_) != 0) writeError_ = errno != 0 ? errno : EIO;
}

// Copies the spooled content to the stream it waited for.
bool OutputFile::Unspool(std::string& error) {
  if (std::fflush(spool_) != 0 || std::fseek(spool_, 0, SEEK_SET) != 0) return Fail(error, errno);
  char buffer[1 << 16];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, spool_)) > 0) {
    if (std::fwrite(buffer, 1, got, file_) != got) return Fail(error, errno != 0 ? errno : EIO);
  }
  if (std::ferror(spool_) != 0) return Fail(error, EIO);
  std::fclose(spool_);
  spool_ = nullptr;
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (file_ == nullptr) {
    error = "not open";
    return false;
  }
  if (writeError_ != 0) return Fail(error, writeError_);
  if (spool_ != nullptr && !Unspool(error)) return false;
  if (std::fflush(file_) != 0) return Fail(error, errno);
  // A pipe or a terminal cannot be synced, and need not be.
  if (!tempPath_.empty() && ::fsync(::fileno(file_)) != 0) return Fail(error, errno);
  std::FILE* file = file_;
  file_ = nullptr;
  if (std::fclose(file) != 0) return Fail(error, errno);
  if (tempPath_.empty()) return true;
  if (std::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) return Fail(error, errno);
  tempPath_.clear();
  UnlistPending(signalSlot_);
  return true;
}

void OutputFile::Discard() {
  if (spool_ != nullptr) {
    std::fclose(spool_);
    spool_ = nullptr;
  }
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
  error = ErrnoText(errorNumber);
  Discard();
  return false;
}

}  // namespace impactsim
