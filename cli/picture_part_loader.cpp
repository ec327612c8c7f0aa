#include <dlfcn.h>
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "cli/picture_part.h"
#include "sweep/output_target.h"
#include "sweep/text_escape.h"

#ifndef IMPACTSIM_PICTURE_PART_DIR
#error "IMPACTSIM_PICTURE_PART_DIR must be defined by the build"
#endif

namespace impactsim::cli {

namespace {

using ElfHeader = ElfW(Ehdr);
using SegmentHeader = ElfW(Phdr);

// The directory of the running executable, with its final '/'.
std::string ExecutableDirectory() {
  std::array<char, 4096> path{};
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "./";
  std::string text(path.data(), static_cast<std::size_t>(n));
  return text.substr(0, text.rfind('/') + 1);
}

// A file descriptor closed when it goes out of scope.
struct OpenFile {
  explicit OpenFile(const char* path)
      : Fd(::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
  OpenFile(const OpenFile&) = delete;
  OpenFile& operator=(const OpenFile&) = delete;
  ~OpenFile() {
    if (Fd >= 0) ::close(Fd);
  }
  int Fd;
};

// The ELF header at the start of the file, or nothing where it is too
// short for one or does not start as an ELF file does.
std::optional<ElfHeader> ReadElfHeader(int fd) {
  ElfHeader header{};
  if (::pread(fd, &header, sizeof header, 0) != static_cast<ssize_t>(sizeof header)) {
    return std::nullopt;
  }
  const unsigned char* id = header.e_ident;
  if (id[EI_MAG0] != ELFMAG0 || id[EI_MAG1] != ELFMAG1 || id[EI_MAG2] != ELFMAG2 ||
      id[EI_MAG3] != ELFMAG3) {
    return std::nullopt;
  }
  return header;
}

// The runner's own ELF header: a part it can load was built for the same
// machine, word size and byte order.
const std::optional<ElfHeader>& RunnerElfHeader() {
  static const std::optional<ElfHeader> header = [] {
    const OpenFile self("/proc/self/exe");
    return self.Fd >= 0 ? ReadElfHeader(self.Fd) : std::nullopt;
  }();
  return header;
}

// The processor an ELF file is built for, e.g. "ELF machine 62, 64-bit,
// little-endian". The machine is at one place in 32- and 64-bit headers.
std::string ProcessorOf(const ElfHeader& header) {
  const unsigned char wordSize = header.e_ident[EI_CLASS];
  const unsigned char byteOrder = header.e_ident[EI_DATA];
  return "ELF machine " + std::to_string(header.e_machine) +
         (wordSize == ELFCLASS64   ? ", 64-bit"
          : wordSize == ELFCLASS32 ? ", 32-bit"
                                   : ", of an unknown word size") +
         (byteOrder == ELFDATA2LSB   ? ", little-endian"
          : byteOrder == ELFDATA2MSB ? ", big-endian"
                                     : ", of an unknown byte order");
}

// How many bytes the file's ELF headers say it holds at least: the ends of
// the header tables and of every segment to be loaded. Nothing where the
// headers cannot be read or a size overflows.
std::optional<std::uint64_t> BytesDescribed(int fd, const ElfHeader& header) {
  if (header.e_phentsize != sizeof(SegmentHeader) || header.e_phoff > UINT64_MAX / 2 ||
      header.e_shoff > UINT64_MAX / 2) {
    return std::nullopt;
  }
  const auto tableEnd = [](std::uint64_t offset, std::uint64_t count, std::uint64_t size) {
    return offset + count * size;  // below 2^63 + 2^32: no overflow
  };
  std::uint64_t need = std::max(tableEnd(header.e_phoff, header.e_phnum, header.e_phentsize),
                                tableEnd(header.e_shoff, header.e_shnum, header.e_shentsize));
  std::vector<SegmentHeader> segments(header.e_phnum);
  const auto bytes = static_cast<ssize_t>(segments.size() * sizeof(SegmentHeader));
  if (::pread(fd, segments.data(), static_cast<std::size_t>(bytes),
              static_cast<off_t>(header.e_phoff)) != bytes) {
    return need;  // the table itself is cut short
  }
  for (const SegmentHeader& segment : segments) {
    if (segment.p_type != PT_LOAD) continue;
    if (segment.p_offset > UINT64_MAX - segment.p_filesz) return std::nullopt;
    need = std::max<std::uint64_t>(need, segment.p_offset + segment.p_filesz);
  }
  return need;
}

// Why the file at `path` cannot be the part, or nothing where it looks like
// a whole shared library for this machine. Loading a file shorter than its
// headers say would end the process with SIGBUS when a missing page is read.
std::optional<std::string> PartProblem(const std::string& path) {
  const OpenFile file(path.c_str());
  if (file.Fd < 0) {
    if (errno == ELOOP) return "its symbolic links form a loop (or a chain too long to follow)";
    return ErrnoText(errno);
  }
  struct stat st {};
  if (::fstat(file.Fd, &st) != 0) return ErrnoText(errno);
  if (S_ISDIR(st.st_mode)) return std::string("is a directory");
  if (!S_ISREG(st.st_mode)) return "is " + KindOfFile(st.st_mode) + ", not a file";
  const std::optional<ElfHeader> header = ReadElfHeader(file.Fd);
  if (!header) return std::string("is not a shared library (no ELF header)");
  if (const auto& own = RunnerElfHeader();
      own &&
      (header->e_ident[EI_CLASS] != own->e_ident[EI_CLASS] ||
       header->e_ident[EI_DATA] != own->e_ident[EI_DATA] || header->e_machine != own->e_machine)) {
    return "is built for another kind of processor (" + ProcessorOf(*header) +
           "; this runner: " + ProcessorOf(*own) + ")";
  }
  if (header->e_type != ET_DYN) return std::string("is not a shared library");
  const std::optional<std::uint64_t> need = BytesDescribed(file.Fd, *header);
  if (!need) return std::string("is damaged: its ELF headers describe no possible file");
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (size < *need) {
    return "is cut short: " + std::to_string(size) + " bytes, where its ELF headers describe " +
           std::to_string(*need);
  }
  return std::nullopt;
}

// Whether anything, even a broken link, stands at `path`.
bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// Where the part is: beside the executable (a build tree) if anything stands
// there, else where an installed tree keeps it; null if neither has it, with
// the reason naming both places.
std::optional<std::string> FindPart(std::string& error) {
  const std::string directory = ExecutableDirectory();
  const std::string beside = directory + std::string(kPicturePartFile);
  if (Exists(beside)) return beside;
  // The executable's directory has no links in it: "../" can be taken away.
  const std::string installed = std::filesystem::path(directory + IMPACTSIM_PICTURE_PART_DIR + "/" +
                                                      std::string(kPicturePartFile))
                                    .lexically_normal()
                                    .string();
  if (Exists(installed)) return installed;
  error = "cannot load the picture part " + Quoted(beside) + ": " + ErrnoText(ENOENT) +
          " (nor at " + Quoted(installed) + ")";
  return std::nullopt;
}

}  // namespace

std::unique_ptr<RunPictureMaker> LoadRunPictureMaker(const ProgramProfile& program,
                                                     std::string& error) {
  const std::optional<std::string> found = FindPart(error);
  if (!found) return nullptr;
  const std::string& file = *found;
  if (const std::optional<std::string> problem = PartProblem(file)) {
    error = "cannot load the picture part " + Quoted(file) + ": " + *problem;
    return nullptr;
  }
  // The part stays loaded for the life of the process: the GUI library it
  // brings keeps state of its own until exit.
  void* part = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (part == nullptr) {
    // The loader's reason starts with the file name again: say it once.
    std::string reason = ::dlerror();
    if (reason.starts_with(file + ": ")) reason.erase(0, file.size() + 2);
    error = "cannot load the picture part " + Quoted(file) + ": " + reason;
    return nullptr;
  }
  const auto make = reinterpret_cast<MakeRunPictureMaker>(::dlsym(part, kPicturePartEntry));
  if (make == nullptr) {
    error = Quoted(file) + " is not the picture part of this runner (no " +
            std::string(kPicturePartEntry) + ")";
    return nullptr;
  }
  std::array<char, 512> reason{};
  std::unique_ptr<RunPictureMaker> maker(
      make(std::string(program.Name).c_str(), reason.data(), reason.size()));
  if (!maker) error = "the picture part " + Quoted(file) + " failed: " + reason.data();
  return maker;
}

}  // namespace impactsim::cli
