#include "cli/command_line.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/report.h"
#include "cli/run_command.h"
#include "cli/sweep_command.h"
#include "cli/verify_command.h"
#include "sweep/run_options.h"
#include "sweep/sweep_command_line.h"

#ifndef IMPACTSIM_PROJECT_VERSION
#error "IMPACTSIM_PROJECT_VERSION must be defined by the build"
#endif

namespace impactsim::cli {

namespace {

constexpr const char* kDescription =
    "Runs the halvorn (40 x 40 grid) and kestane (20 x 20 torus) social-impact simulations "
    "without a window.";
constexpr const char* kFooter =
    "Every run writes \"seed: N\" to stderr first; --seed N repeats it.\n"
    "Exit status: 0 done, 1 the run or an output file failed, 2 bad input; for verify, 0 "
    "all checked agree, 1 something differs, 2 bad input.";

// The parser of the whole command line: every command with its options.
struct CommandLine {
  CommandLine() : app(kDescription, "impactsim") {
    app.footer(kFooter);
    app.allow_extras();
    app.set_version_flag("--version", std::string("impactsim ") + IMPACTSIM_PROJECT_VERSION,
                         "print the program's version and exit");
    run = app.add_subcommand("run", "one run: its log to stdout, \"seed: N\" to stderr");
    sweep = app.add_subcommand("sweep", "many seeded runs, one row each (CSV or JSON lines)");
    verify = app.add_subcommand(
        "verify", "re-runs the rows of a sweep's --out FILE and compares them byte for byte");
    for (CLI::App* command : {run, sweep, verify}) command->allow_extras();
    runOptions.AddTo(*run);
    sweepOptions.AddTo(*sweep);
    verifyOptions.AddTo(*verify);
  }

  // The command the parser found; run when none was.
  CLI::App& Chosen() const {
    for (CLI::App* command : {sweep, verify}) {
      if (command->parsed()) return *command;
    }
    return *run;
  }

  CLI::App app;
  CLI::App* run = nullptr;
  CLI::App* sweep = nullptr;
  CLI::App* verify = nullptr;
  RunOptions runOptions;
  SweepOptions sweepOptions;
  VerifyOptions verifyOptions;
};

}  // namespace

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   Clock& systemClock) {
  CommandLine line;
  try {
    const std::vector<std::string> given = WithoutEndOfOptions(args);
    // The parser takes the arguments last first.
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    line.app.parse(reversed);
    CheckLeftovers(line.app);
    CheckRepeatsAndSwitches(line.Chosen(), given);
    if (line.sweep->parsed()) {
      return ExecuteSweep(ResolveSweep(line.sweepOptions.Given(given)), args, out, err);
    }
    if (line.verify->parsed()) return ExecuteVerify(line.verifyOptions.Resolve(), out, err);
    return ExecuteRun(line.runOptions.Resolve(), systemClock, out, err);
  } catch (const CLI::CallForHelp&) {
    // "impactsim run --help" shows the run's options; the top level shows
    // every command with all of its options.
    const bool command = line.run->parsed() || line.sweep->parsed() || line.verify->parsed();
    out << (command ? line.app.help() : line.app.help("", CLI::AppFormatMode::All)) << std::flush;
    return kExitOk;
  } catch (const CLI::CallForVersion& e) {
    out << e.what() << '\n' << std::flush;
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    ReportError(err, Describe(e, line.Chosen()));
    return kExitUsage;
  } catch (const InputError& e) {
    ReportError(err, e.What());
    return kExitUsage;
  } catch (const std::exception& e) {
    ReportError(err, e.what());
    return kExitFailed;
  }
}

ProgramHelp HelpTable() {
  const CommandLine line;
  ProgramHelp help{line.app.get_description(), {}, {}};
  const auto listed = [](const CLI::App& command, bool top) {
    CommandHelp listing{top ? "" : command.get_name(), top ? "" : command.get_description(), {}};
    for (const CLI::Option* option : command.get_options()) {
      // A command's own --help is not listed in the full help either.
      if (!top && option == command.get_help_ptr()) continue;
      const bool operand = option->get_positional() && !option->nonpositional();
      listing.Options.push_back({operand ? option->get_name(true) : option->get_name(false, true),
                                 operand ? "" : option->get_type_name(),
                                 option->get_description()});
    }
    return listing;
  };
  help.Commands.push_back(listed(line.app, true));
  for (const CLI::App* command : {line.run, line.sweep, line.verify}) {
    help.Commands.push_back(listed(*command, false));
  }
  std::string footer = line.app.get_footer();
  for (std::size_t start = 0; start < footer.size();) {
    const std::size_t end = std::min(footer.find('\n', start), footer.size());
    if (end > start) help.Footer.push_back(footer.substr(start, end - start));
    start = end + 1;
  }
  return help;
}

std::vector<std::pair<std::string, std::vector<std::string>>> CommandOptions() {
  const CommandLine line;
  std::vector<std::pair<std::string, std::vector<std::string>>> commands;
  for (const CLI::App* command : {line.run, line.sweep, line.verify}) {
    std::vector<std::string> names;
    for (const CLI::Option* option : command->get_options()) names.push_back(option->get_name());
    commands.emplace_back(command->get_name(), names);
  }
  return commands;
}

}  // namespace impactsim::cli
