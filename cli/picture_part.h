#pragma once
// The window's pictures of a run as PNG images, drawn by the window's own
// drawing code in a part of the runner that is loaded only when a picture is
// asked for, so that the runner itself links no GUI library.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "model/program_profile.h"
#include "model/run_observer.h"

namespace impactsim::cli {

// Draws the map and the evolution chart of one run as it reports them, the
// way the program's window draws them. Made by the part, used on the thread
// that runs the run; PNG bytes are asked for once the run is over.
class RunPictureMaker : public RunObserver {
 public:
  // The run's opinions (2..kMaxOpinions), each a band of the chart; told
  // before the run starts.
  virtual void SetOpinionCount(int opinions) = 0;
  virtual std::string MapPng() const = 0;
  virtual std::string ChartPng() const = 0;
};

// The part's file, looked for beside the runner's executable (a build tree)
// and then in the library directory of the tree the runner is installed in
// (found relative to the executable, so a moved tree still finds it), and its one
// entry point: makes the picture maker of the named program, or returns null
// and writes a reason (at most errorSize bytes, ending in '\0') to error.
inline constexpr std::string_view kPicturePartFile = "impactsim-pictures.so";
inline constexpr const char* kPicturePartEntry = "impactsim_make_run_picture_maker";
using MakeRunPictureMaker = RunPictureMaker* (*)(const char* program, char* error,
                                                 std::size_t errorSize);

// Loads the part (once per process) and makes the program's picture maker.
// On failure returns null and sets error to a reason that names the file.
std::unique_ptr<RunPictureMaker> LoadRunPictureMaker(const ProgramProfile& program,
                                                     std::string& error);

}  // namespace impactsim::cli
