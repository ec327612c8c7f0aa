#include <dlfcn.h>
#include <unistd.h>

#include <array>
#include <string>

#include "cli/picture_part.h"
#include "sweep/text_escape.h"

namespace impactsim::cli {

namespace {

// The directory of the running executable, with its final '/'.
std::string ExecutableDirectory() {
  std::array<char, 4096> path{};
  const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (n <= 0) return "./";
  std::string text(path.data(), static_cast<std::size_t>(n));
  return text.substr(0, text.rfind('/') + 1);
}

}  // namespace

std::unique_ptr<RunPictureMaker> LoadRunPictureMaker(const ProgramProfile& program,
                                                     std::string& error) {
  const std::string file = ExecutableDirectory() + std::string(kPicturePartFile);
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
