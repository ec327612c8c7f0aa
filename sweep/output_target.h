#pragma once
// Where an output named on the command line really goes, and whether it can
// go there: symbolic links followed to the file they name, the kind of file
// found there, and everything replacing it will need, checked before a run.

#include <sys/types.h>

#include <optional>
#include <string>

namespace impactsim {

struct OutputTarget {
  enum class Kind { Absent, Regular, Special };  // Special: a device, FIFO or socket

  // Absolute, symbolic links followed, directories resolved; a special file
  // as named (its links are followed by the system when it is opened).
  std::string Path;
  Kind What = Kind::Absent;
  dev_t Device = 0;  // of an existing file
  ino_t Inode = 0;
  mode_t Mode = 0;
  uid_t Owner = 0;
  gid_t Group = 0;

  // Whether two targets are one file: the same device and inode where the
  // file exists, the same resolved path where it does not yet.
  bool SameFileAs(const OutputTarget& other) const;
};

// Finds the target of `path`, following every symbolic link (a dangling one
// to the file it would create). On failure returns nothing and sets the
// reason: a directory, a loop of links, a parent that cannot be searched.
std::optional<OutputTarget> FindOutputTarget(const std::string& path, std::string& error);

// Checks that an existing regular target may be replaced by a new file
// renamed over it: that the user may write it, that it is neither immutable
// nor append-only, and that a sticky directory lets this user replace it.
// Returns false and sets the reason otherwise.
bool CheckReplaceable(const OutputTarget& target, std::string& error);

// "a character device", "a FIFO", ... for messages about special files
// (neither regular files nor directories).
std::string KindOfFile(mode_t mode);

}  // namespace impactsim
