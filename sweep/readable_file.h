#pragma once
// Reading a file that a user, a sweep's description or a resumed sweep
// names (rows, series, description): only a regular file is read, opened so
// that nothing holds the reader up; a description only up to a bound, and
// rows and series only in lines up to a bound.
// A FIFO, a device or a socket is refused without being read: a FIFO would
// block, and /dev/zero or /dev/urandom never end.

#include <cstddef>
#include <cstdint>
#include <istream>
#include <streambuf>
#include <string>

namespace impactsim {

// Far more than any description a sweep writes (a few kilobytes, and a few
// hundred bytes more for each session), and little enough to read whole.
inline constexpr std::uint64_t kDescriptionLimit = std::uint64_t{16} << 20;

// A regular file open for reading; closed when destroyed.
class ReadableFile {
 public:
  // Opens `path`, following links. What stat finds not to be a regular file
  // is refused unopened; the open itself never waits (O_NONBLOCK, so a file
  // swapped for a FIFO meanwhile cannot block it), never takes a terminal
  // (O_NOCTTY) and is closed on exec; what was opened is checked again with
  // fstat. On failure IsOpen() is false, Reason() says why ("No such file or
  // directory", "a FIFO, not a regular file") and Errno() is the system's
  // error number (EISDIR for a directory; 0 for another kind of file).
  explicit ReadableFile(const std::string& path);
  ReadableFile() = default;  // not open
  ReadableFile(ReadableFile&& other) noexcept;
  ReadableFile& operator=(ReadableFile&& other) noexcept;
  ReadableFile(const ReadableFile&) = delete;
  ReadableFile& operator=(const ReadableFile&) = delete;
  ~ReadableFile();

  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }
  const std::string& Reason() const { return reason_; }
  int Errno() const { return errno_; }

  // Reads up to `size` bytes at the current offset: the count read, 0 at
  // the end, -1 on failure (errno set).
  std::ptrdiff_t Read(char* data, std::size_t size);

 private:
  void Failed();  // after a call that failed, by errno
  void Refuse(int errorNumber, std::string reason);

  int fd_ = -1;
  int errno_ = 0;
  std::string reason_;
};

// The whole of the regular file `path` when it holds at most `limit` bytes.
// Otherwise returns false, sets `reason` ("a FIFO, not a regular file",
// "larger than 16 MiB", the system's error text) and, when given, `error`
// to the system's error number (0 when the file was refused for its kind or
// size).
bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& text,
                   std::string& reason, int* error = nullptr);

// How deep a description's JSON may nest: a sweep's nests 4 deep. Parsing
// deeper text would take memory out of all proportion to its size.
inline constexpr int kDescriptionDepth = 64;

// A description (FILE.meta.json) as ReadWholeFile reads it with
// kDescriptionLimit, also refused ("JSON nested more than 64 deep") when its
// arrays and objects nest deeper than kDescriptionDepth.
bool ReadDescriptionFile(const std::string& path, std::string& text, std::string& reason);

// Far longer than any line of a sweep's rows or series (under a kilobyte).
inline constexpr std::uint64_t kLineLimit = std::uint64_t{1} << 20;

// A ReadableFile as a stream, for reading a sweep's rows or series line by
// line. A stream whose file could not be opened, or made without one, reads
// as empty. A failed read, and a line longer than kLineLimit, set badbit
// where they are met, so that no line read is ever larger than the bound
// (a sparse file of a terabyte takes no disk space to make).
class FileInput : public std::istream {
 public:
  FileInput();
  explicit FileInput(const std::string& path);

  // Opens `path` in a stream made without a file and not yet read; failbit
  // when it cannot be.
  void Open(const std::string& path);

  bool IsOpen() const { return buffer_.File.IsOpen(); }
  // Why the file could not be opened.
  const std::string& Reason() const { return buffer_.File.Reason(); }

 private:
  struct Buffer : std::streambuf {
    ReadableFile File;
    std::uint64_t SinceLineBreak = 0;  // bytes read after the last '\n'
    char Data[1 << 16];

   protected:
    int_type underflow() override;
  };
  Buffer buffer_;
};

}  // namespace impactsim
