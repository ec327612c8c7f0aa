#include "cli/command_line.h"

#include <algorithm>
#include <exception>
#include <ostream>

#include <CLI/CLI.hpp>

#include "cli/option_text.h"
#include "cli/run_command.h"
#include "cli/run_options.h"
#include "cli/sweep_command.h"
#include "cli/verify_command.h"

namespace impactsim::cli {

namespace {

constexpr const char* kDescription =
    "Runs the halvorn (40 x 40 grid) and kestane (20 x 20 torus) social-impact simulations "
    "without a window.";
constexpr const char* kFooter =
    "Every run writes \"seed: N\" to stderr first; --seed N repeats it.\n"
    "Exit status: 0 done, 1 the run or an output file failed, 2 bad input; for verify, 0 "
    "all checked agree, 1 something differs, 2 bad input.";

bool LooksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

// The option part of "--name=value".
std::string OptionPart(const std::string& arg) {
  return arg.substr(0, arg.find('='));
}

// Arguments the parser kept because it knows no use for them, and a command
// line without exactly one command.
void CheckLeftovers(const CLI::App& app) {
  for (const std::string& arg : app.remaining()) {
    if (LooksLikeOption(arg)) throw UsageError(Escaped(OptionPart(arg)) + ": unknown option");
    throw UsageError("command: expects run, sweep or verify, got " + Quoted(arg));
  }
  const std::vector<CLI::App*> commands = app.get_subcommands();  // in the order given
  if (commands.empty()) {
    throw UsageError("command: expects run, sweep or verify, got none (see impactsim --help)");
  }
  const std::string name = commands[0]->get_name();
  if (commands[0]->count() > 1) {
    throw UsageError(name + ": takes options only, got " + Quoted(name) + " again");
  }
  if (commands.size() > 1) {
    throw UsageError(name + ": takes options only, got " + Quoted(commands[1]->get_name()));
  }
  for (const std::string& arg : commands[0]->remaining()) {
    if (LooksLikeOption(arg)) {
      throw UsageError(Escaped(OptionPart(arg)) + ": unknown option (see impactsim " + name +
                       " --help)");
    }
    throw UsageError(name + ": takes options only, got " + Quoted(arg));
  }
}

// The command line without a final "--": every argument of the runner is an
// option or a command, so nothing may follow it.
std::vector<std::string> WithoutEndOfOptions(const std::vector<std::string>& args) {
  const auto end = std::find(args.begin(), args.end(), "--");
  if (end == args.end()) return args;
  if (end + 1 != args.end()) {
    throw UsageError("--: impactsim takes options only, got " + Quoted(*(end + 1)) + " after it");
  }
  return {args.begin(), end};
}

// One rule for every option of both commands: given at most once, and a
// switch never with a value ("--summation=true" is refused like "--edge=on").
void CheckRepeatsAndSwitches(const CLI::App& command, const std::vector<std::string>& args) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->count() > 1) throw UsageError(OptionName(option) + ": given more than once");
  }
  for (const std::string& arg : args) {
    const std::size_t equals = arg.find('=');
    if (!arg.starts_with("--") || equals == std::string::npos) continue;
    const CLI::Option* option = command.get_option_no_throw(arg.substr(0, equals));
    if (option != nullptr && option->get_expected_max() == 0) {
      throw UsageError(OptionName(option) + ": a switch, takes no value");
    }
  }
}

// The option a parser message starts with ("--edge: ..." or "edge was ..."),
// if it is one of the command's.
const CLI::Option* OptionInMessage(const CLI::App& command, const std::string& message) {
  const std::string token = message.substr(0, message.find_first_of(": "));
  const std::size_t start = token.find_first_not_of('-');
  const std::string bare = start == std::string::npos ? std::string() : token.substr(start);
  for (const CLI::Option* option : command.get_options()) {
    for (const std::string& name : option->get_lnames()) {
      if (name == bare) return option;
    }
  }
  return nullptr;
}

// One line for a parser error; the parser's own messages are single lines,
// but a switch given a value is said in the runner's words.
std::string Describe(const CLI::ParseError& e, const CLI::App& run) {
  const std::string message = e.what();
  if (const CLI::Option* option = OptionInMessage(run, message)) {
    if (option->get_expected_max() == 0) {
      return option->get_name() + ": a switch, takes no value";
    }
  }
  return Escaped(message.substr(0, message.find('\n')));
}

// The command the parser found, of those given; `fallback` when none was.
CLI::App& Chosen(std::initializer_list<CLI::App*> commands, CLI::App& fallback) {
  for (CLI::App* command : commands) {
    if (command->parsed()) return *command;
  }
  return fallback;
}

}  // namespace

SweepRequest ParseSweepCommandLine(const std::vector<std::string>& args) {
  CLI::App app("", "impactsim");
  app.allow_extras();
  CLI::App* sweep = app.add_subcommand("sweep");
  sweep->allow_extras();
  SweepOptions options;
  options.AddTo(*sweep);
  try {
    const std::vector<std::string> given = WithoutEndOfOptions(args);
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    app.parse(reversed);
    CheckLeftovers(app);
    CheckRepeatsAndSwitches(*sweep, given);
  } catch (const CLI::ParseError& e) {
    throw UsageError(Describe(e, *sweep));
  }
  return options.Resolve();
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   Clock& systemClock) {
  CLI::App app(kDescription, "impactsim");
  app.footer(kFooter);
  app.allow_extras();
  CLI::App* run = app.add_subcommand("run", "one run: its log to stdout, \"seed: N\" to stderr");
  run->allow_extras();
  RunOptions options;
  options.AddTo(*run);
  CLI::App* sweep =
      app.add_subcommand("sweep", "many seeded runs, one row each (CSV or JSON lines)");
  sweep->allow_extras();
  SweepOptions sweepOptions;
  sweepOptions.AddTo(*sweep);
  CLI::App* verify = app.add_subcommand(
      "verify", "re-runs the rows of a sweep's --out FILE and compares them byte for byte");
  verify->allow_extras();
  VerifyOptions verifyOptions;
  verifyOptions.AddTo(*verify);

  try {
    const std::vector<std::string> given = WithoutEndOfOptions(args);
    // The parser takes the arguments last first.
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    app.parse(reversed);
    CheckLeftovers(app);
    CheckRepeatsAndSwitches(Chosen({sweep, verify}, *run), given);
    if (sweep->parsed()) return ExecuteSweep(sweepOptions.Resolve(), args, out, err);
    if (verify->parsed()) return ExecuteVerify(verifyOptions.Resolve(), out, err);
    return ExecuteRun(options.Resolve(), systemClock, out, err);
  } catch (const CLI::CallForHelp&) {
    // "impactsim run --help" shows the run's options; the top level shows
    // every command with all of its options.
    const bool command = run->parsed() || sweep->parsed() || verify->parsed();
    out << (command ? app.help() : app.help("", CLI::AppFormatMode::All)) << std::flush;
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    ReportError(err, Describe(e, Chosen({sweep, verify}, *run)));
    return kExitUsage;
  } catch (const UsageError& e) {
    ReportError(err, e.what());
    return kExitUsage;
  } catch (const std::exception& e) {
    ReportError(err, e.what());
    return kExitFailed;
  }
}

}  // namespace impactsim::cli
