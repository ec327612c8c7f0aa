#include "sweep/readable_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "sweep/output_target.h"
#include "sweep/text_escape.h"

namespace impactsim {

namespace {

// Why a file of this mode is not read; EISDIR for a directory, as open()
// and read() say of one.
std::pair<int, std::string> Refusal(mode_t mode) {
  if (S_ISDIR(mode)) return {EISDIR, ErrnoText(EISDIR)};
  return {0, KindOfFile(mode) + ", not a regular file"};
}

std::string SizeText(std::uint64_t bytes) {
  constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
  return bytes % kMiB == 0 ? std::to_string(bytes / kMiB) + " MiB"
                           : std::to_string(bytes) + " bytes";
}

}  // namespace

ReadableFile::ReadableFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    Failed();
    return;
  }
  if (S_ISREG(st.st_mode)) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) {
      Failed();
      return;
    }
  }
  if (!S_ISREG(st.st_mode)) {
    auto [number, reason] = Refusal(st.st_mode);
    Refuse(number, std::move(reason));
    return;
  }
  // A regular file never blocks; reads need not see EAGAIN.
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) Failed();
}

ReadableFile::ReadableFile(ReadableFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), errno_(other.errno_), reason_(std::move(other.reason_)) {}

ReadableFile& ReadableFile::operator=(ReadableFile&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    errno_ = other.errno_;
    reason_ = std::move(other.reason_);
  }
  return *this;
}

ReadableFile::~ReadableFile() {
  if (fd_ >= 0) ::close(fd_);
}

void ReadableFile::Failed() {
  const int number = errno;
  Refuse(number, ErrnoText(number));
}

void ReadableFile::Refuse(int errorNumber, std::string reason) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  errno_ = errorNumber;
  reason_ = std::move(reason);
}

std::ptrdiff_t ReadableFile::Read(char* data, std::size_t size) {
  while (true) {
    const ssize_t n = ::read(fd_, data, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

bool ReadWholeFile(const std::string& path, std::uint64_t limit, std::string& text,
                   std::string& reason, int* error) {
  if (error != nullptr) *error = 0;
  ReadableFile file(path);
  if (!file.IsOpen()) {
    reason = file.Reason();
    if (error != nullptr) *error = file.Errno();
    return false;
  }
  text.clear();
  char buffer[1 << 16];
  while (true) {
    const std::ptrdiff_t n = file.Read(buffer, sizeof buffer);
    if (n < 0) {
      if (error != nullptr) *error = errno;
      reason = ErrnoText(errno);
      return false;
    }
    if (n == 0) return true;
    // The file may grow while it is read: the bound holds for what is read.
    if (text.size() + static_cast<std::uint64_t>(n) > limit) {
      reason = "larger than " + SizeText(limit);
      return false;
    }
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

namespace {

// Whether the JSON text's arrays and objects nest at most `depth` deep,
// brackets inside strings not counted.
bool NestsWithin(std::string_view text, int depth) {
  int open = 0;
  bool inString = false;
  bool escaped = false;
  for (const char c : text) {
    if (inString) {
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++open > depth) return false;
    } else if (c == ']' || c == '}') {
      --open;
    }
  }
  return true;
}

}  // namespace

bool ReadDescriptionFile(const std::string& path, std::string& text, std::string& reason) {
  if (!ReadWholeFile(path, kDescriptionLimit, text, reason)) return false;
  if (NestsWithin(text, kDescriptionDepth)) return true;
  reason = "JSON nested more than " + std::to_string(kDescriptionDepth) + " deep";
  return false;
}

FileInput::FileInput() : std::istream(&buffer_) {}

FileInput::FileInput(const std::string& path) : std::istream(&buffer_) {
  Open(path);
}

void FileInput::Open(const std::string& path) {
  buffer_.File = ReadableFile(path);
  if (!buffer_.File.IsOpen()) setstate(std::ios::failbit);
}

FileInput::Buffer::int_type FileInput::Buffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  if (!File.IsOpen()) return traits_type::eof();
  const std::ptrdiff_t n = File.Read(Data, sizeof Data);
  // Thrown here, the failure sets the stream's badbit.
  if (n < 0) throw std::runtime_error(ErrnoText(errno));
  if (n == 0) return traits_type::eof();
  // The line the bytes read continue: the only one that can be too long,
  // as one that starts among them ends among them or is shorter than they.
  const std::string_view chunk(Data, static_cast<std::size_t>(n));
  const std::size_t first = chunk.find('\n');
  const std::uint64_t continued = SinceLineBreak + std::min(first, chunk.size());
  SinceLineBreak =
      first == std::string_view::npos ? continued : chunk.size() - 1 - chunk.rfind('\n');
  if (continued > kLineLimit) throw std::length_error("a line longer than " + SizeText(kLineLimit));
  setg(Data, Data, Data + n);
  return traits_type::to_int_type(*gptr());
}

}  // namespace impactsim
