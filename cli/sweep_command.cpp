#include "cli/sweep_command.h"

#include <unistd.h>

#include <iostream>
#include <optional>

#include "cli/progress_bar.h"
#include "cli/report.h"
#include "sweep/output_file.h"
#include "sweep/sweep_writer.h"

namespace impactsim::cli {

namespace {

int ListTasks(const SweepRequest& request, std::ostream& out, std::ostream& err) {
  const std::uint64_t count = request.Part.Size(request.Plan.TaskCount());
  if (request.Format == RowFormat::Csv) out << CsvHeader(true, request.Plan.Columns());
  for (std::uint64_t p = 0; p < count && out; ++p) {
    out << FormatRow(request.Format, request.Plan.Task(request.Part.TaskAt(p)), nullptr);
  }
  out.flush();
  if (out) return kExitOk;
  ReportError(err, "stdout: write failed");
  return kExitFailed;
}

// Thrown through the sweep once a signal asked the runs to stop.
struct Interrupted {};

// The progress bar, and failures reported below it; a signal that asks the
// runs to stop stops the sweep at the next progress report.
class SweepOutput final : public SweepListener {
 public:
  explicit SweepOutput(std::ostream& err, bool showProgress)
      : err_(err), showProgress_(showProgress) {}

  void Started(std::uint64_t runs) override {
    progress_.emplace(showProgress_ ? &err_ : nullptr, runs);
  }
  void Progress(std::uint64_t done) override {
    if (StopRequested()) throw Interrupted{};
    if (progress_) progress_->Update(done);
  }
  void Failed(const Problem& problem) override {
    Finish();
    ReportError(err_, problem);
  }
  void Finish() {
    if (progress_) progress_->Finish();
    progress_.reset();
  }

 private:
  std::ostream& err_;
  bool showProgress_;
  std::optional<ProgressBar> progress_;
};

}  // namespace

int ExecuteSweep(const SweepRequest& request, const std::vector<std::string>& args,
                 std::ostream& out, std::ostream& err) {
  if (request.List) return ListTasks(request, out, err);
  const bool showProgress = !request.Quiet && &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
  SweepOutput output(err, showProgress);
  bool complete = false;
  const StopRunsOnSignal stopping;
  try {
    complete = WriteSweep(request, SweepOrigin{args, ""}, &out, output);
  } catch (const Interrupted&) {
    // The files are left as an interrupted sweep leaves them; the caller
    // ends as the signal demands.
    output.Finish();
    return kExitFailed;
  } catch (...) {
    output.Finish();
    throw;
  }
  output.Finish();
  return complete ? kExitOk : kExitFailed;
}

}  // namespace impactsim::cli
