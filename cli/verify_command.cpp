#include "cli/verify_command.h"

#include <unistd.h>

#include <iostream>

#include <CLI/CLI.hpp>

#include "cli/progress_bar.h"
#include "cli/report.h"
#include "sweep/sweep_runner.h"
#include "sweep/text_escape.h"
#include "sweep/value_text.h"

namespace impactsim::cli {

namespace {

const std::string kTasksAccepts =
    "task numbers as a range A-B or " + ListOf("task numbers and ranges");
const std::string kJobsAccepts = "an integer 1.." + std::to_string(kMaxJobs);

// Shows the differences as they are found, below a progress bar.
class VerifyOutput final : public VerifyListener {
 public:
  VerifyOutput(std::ostream& out, std::ostream* err) : out_(out), err_(err) {}

  void Started(std::uint64_t rows) override { progress_.emplace(err_, rows); }
  void Progress(std::uint64_t done) override {
    if (progress_) progress_->Update(done);
  }
  void Found(const std::string& line) override {
    if (progress_) progress_->Finish();
    out_ << line << '\n';
  }
  void Finish() {
    if (progress_) progress_->Finish();
  }

 private:
  std::ostream& out_;
  std::ostream* err_;
  std::optional<ProgressBar> progress_;
};

}  // namespace

void VerifyOptions::AddTo(CLI::App& command) {
  command.footer(
      "Differences go to stdout, one line each, then a summary line.\n"
      "Exit status: 0 all checked agree, 1 something differs or a run failed, 2 bad input "
      "(nothing checked).");
  // Every operand is taken, so that a second one is refused by the rule for
  // repeats ("FILE: given more than once") rather than in the parser's words.
  fileOption_ =
      command.add_option("FILE", file_, "the --out file of a sweep, beside FILE.meta.json")
          ->expected(0, CLI::detail::expected_max_vector_size)
          ->type_name("");
  sample_.AddTo(command, "--sample", "N",
                "check N rows picked at random among those in FILE (default: every row)");
  tasks_.AddTo(command, "--tasks", "LIST",
               "check the rows of these tasks: " + kTasksAccepts + ", e.g. 0-9 or 3,17,20-29");
  jobs_.AddTo(command, "--jobs", "N",
              "threads: " + kJobsAccepts +
                  ", at most one per processor (default: one per "
                  "processor)");
  quiet_ = AddSwitch(command, "--quiet", "no progress bar on stderr");
}

VerifyRequest VerifyOptions::Resolve() const {
  Arguments given;
  if (!file_.empty()) given.Given["file"] = file_;
  for (const TextOption* option : {&sample_, &tasks_, &jobs_}) Collect(*option, given);
  Collect(quiet_, given);
  return ResolveVerify(given);
}

int ExecuteVerify(const VerifyRequest& request, std::ostream& out, std::ostream& err) {
  const bool showProgress = !request.Quiet && &err == &std::cerr && ::isatty(STDERR_FILENO) == 1;
  VerifyOutput output(out, showProgress ? &err : nullptr);
  VerifyReport report;
  try {
    report = VerifySweep(request, output);
  } catch (...) {
    output.Finish();
    throw;
  }
  output.Finish();
  out << report.Summary() << '\n';
  out.flush();
  if (!out) {
    ReportError(err, "stdout: write failed");
    return kExitFailed;
  }
  return report.Agrees() ? kExitOk : kExitFailed;
}

}  // namespace impactsim::cli
