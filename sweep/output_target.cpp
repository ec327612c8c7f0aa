#include "sweep/output_target.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "sweep/text_escape.h"

// Linux's file flags (immutable, append-only); a system without them (the
// web edition's) has no file they keep from being replaced.
#if __has_include(<linux/fs.h>)
#include <linux/fs.h>
#include <sys/ioctl.h>
#define IMPACTSIM_FILE_FLAGS 1
#endif

namespace impactsim {

namespace {

namespace fs = std::filesystem;

constexpr int kMaxLinks = 40;  // as the kernel allows in one path

// The link's target as a path of its own: relative targets start in the
// link's directory.
fs::path LinkTarget(const fs::path& link, std::error_code& ec) {
  const fs::path to = fs::read_symlink(link, ec);
  return to.is_absolute() ? to : link.parent_path() / to;
}

// An existing file at `path`, as stat found it.
OutputTarget Found(const std::string& path, const struct stat& st) {
  OutputTarget target;
  target.Path = path;
  target.What = S_ISREG(st.st_mode) ? OutputTarget::Kind::Regular : OutputTarget::Kind::Special;
  target.Device = st.st_dev;
  target.Inode = st.st_ino;
  target.Mode = st.st_mode;
  target.Owner = st.st_uid;
  target.Group = st.st_gid;
  return target;
}

}  // namespace

bool OutputTarget::SameFileAs(const OutputTarget& other) const {
  const bool exists = What != Kind::Absent;
  if (exists != (other.What != Kind::Absent)) return false;
  if (exists) return Device == other.Device && Inode == other.Inode;
  return Path == other.Path;
}

std::optional<OutputTarget> FindOutputTarget(const std::string& path, std::string& error) {
  if (path.empty() || path.back() == '/') {
    error = "names a directory, not a file";
    return std::nullopt;
  }
  std::error_code ec;
  fs::path current = fs::absolute(path, ec);
  // A device, FIFO or socket is written where the system finds it: the
  // stream a name such as /dev/stdout leads to through /proc may have no
  // name of its own ("pipe:[1234]") to follow a link to.
  if (struct stat st{};
      ::stat(current.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
    return Found(current.string(), st);
  }
  // The name itself may be a chain of links; each is followed by hand so
  // that a dangling one leads to the file it would create.
  for (int links = 0;; ++links) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) break;
    if (links == kMaxLinks) {
      error = ErrnoText(ELOOP);
      return std::nullopt;
    }
    current = LinkTarget(current, ec);
    if (ec) {
      error = ec.message();
      return std::nullopt;
    }
  }
  const fs::path name = current.filename();
  if (name.empty() || name == "." || name == "..") {
    error = "names a directory, not a file";
    return std::nullopt;
  }
  // The directories on the way are resolved as the system resolves them,
  // so "a", "./a" and "d/../a" come to one path.
  const fs::path directory = fs::weakly_canonical(current.parent_path(), ec);
  if (ec) {
    error = ec.message();
    return std::nullopt;
  }
  const std::string found = (directory / name).string();
  struct stat st {};
  if (::stat(found.c_str(), &st) != 0) {
    if (errno != ENOENT) {
      error = ErrnoText(errno);
      return std::nullopt;
    }
    OutputTarget target;
    target.Path = found;
    return target;
  }
  if (S_ISDIR(st.st_mode)) {
    error = "is a directory";
    return std::nullopt;
  }
  return Found(found, st);
}

bool CheckReplaceable(const OutputTarget& target, std::string& error) {
  if (target.What != OutputTarget::Kind::Regular) return true;
    // A file the system keeps from being replaced: renaming over it would fail
    // only after the run.
#ifdef IMPACTSIM_FILE_FLAGS
  const int fd = ::open(target.Path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd >= 0) {
    int flags = 0;
    const bool known = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    ::close(fd);
    if (known && (flags & FS_IMMUTABLE_FL) != 0) {
      error = "is immutable and cannot be replaced";
      return false;
    }
    if (known && (flags & FS_APPEND_FL) != 0) {
      error = "is append-only and cannot be replaced";
      return false;
    }
  }
#endif
  if (::faccessat(AT_FDCWD, target.Path.c_str(), W_OK, AT_EACCESS) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  // In a sticky directory only the file's owner, the directory's owner and
  // the superuser may replace a file.
  const std::string directory = fs::path(target.Path).parent_path().string();
  struct stat dir {};
  const uid_t me = ::geteuid();
  if (::stat(directory.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && me != 0 &&
      target.Owner != me && dir.st_uid != me) {
    error = "belongs to another user in a sticky directory and cannot be replaced";
    return false;
  }
  return true;
}

std::string KindOfFile(mode_t mode) {
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISSOCK(mode)) return "a socket";
  return "a special file";
}

}  // namespace impactsim
