#include "sweep/sweep_command_line.h"

#include <CLI/CLI.hpp>

#include "model/random_source.h"
#include "programs/programs.h"
#include "sweep/sweep_runner.h"
#include "sweep/value_text.h"

namespace impactsim {

void SweepOptions::AddTo(CLI::App& command) {
  const std::string defaults = " (default: each program's own)";
  command.footer(
      "Every row is the run \"impactsim run --seed SEED\" makes with the row's settings,\n"
      "unless --stop-on-cycle ends it earlier.\n"
      "Exit status: 0 done, 1 a run or a write failed, 2 bad input (nothing run, no file "
      "changed).");

  program_.AddTo(
      command, "--program", "LIST",
      "programs: " + ProgramAccepts(true) + " (default " + std::string(Programs()[0]->Name) + ")");
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    const SettingOption& setting = SettingOptions()[i];
    const std::string name = "--" + std::string(setting.Name);
    const std::string only =
        setting.Has != nullptr ? "; " + ProgramsWith(setting) + " only" : std::string();
    settings_[i].AddTo(
        command, name, setting.IsSwitch() ? "[LIST]" : "LIST",
        std::string(setting.Help) + ": " + setting.Accepts(true) + only +
            (setting.SweepOnly ? " (default " + std::string(setting.DefaultHelp) + ")" : defaults));
    if (!setting.OffName.empty()) {
      off_[i] =
          AddSwitch(command, "--" + std::string(setting.OffName), "the same as " + name + " off");
    }
  }
  seeds_.AddTo(command, "--seeds", "SEEDS",
               "required: seeds 0.." + std::to_string(kMillisecondsPerDay - 1) +
                   " as a range A-B, spread:N[:K] or " + ListOf("these") +
                   ", e.g. spread:1000 or 5,17,20-29. spread:N is N seeds spread over the "
                   "whole day (N 1.." +
                   std::to_string(kMillisecondsPerDay) +
                   "), one in each of N equal parts of it; a key K 0..4294967295 picks another "
                   "such set (default 0). Consecutive or evenly spaced seeds give patterned "
                   "start populations, spread ones do not");
  format_.AddTo(command, "--format", "FORMAT", "rows as csv or jsonl (default csv)");
  shard_.AddTo(command, "--shard", "K/N",
               "run only the tasks whose number mod N is K (default 0/1)");
  jobs_.AddTo(command, "--jobs", "N",
              "threads: an integer 1.." + std::to_string(kMaxJobs) +
                  ", at most one per processor the sweep may run on, so that rows keep coming "
                  "in order (default: one per processor)");
  out_.AddTo(command, "--out", "FILE",
             "write the rows to FILE, and FILE.meta.json, instead of stdout");
  series_.AddTo(command, "--series", "FILE",
                "also write every round of every run to FILE (task, round, changes, census, "
                "clusters, like_neighbours), in the --format of the rows; needs --out");
  stopOnCycle_.AddTo(command, "--stop-on-cycle", "N",
                     "end a run once its opinion pattern has gone through a cycle of period 2 to "
                     "64 rounds N more times; such a pattern may still dissolve later, in "
                     "halvorn often unless N is large (an integer 1..2147483647; default: runs "
                     "stop only as the windows' do)");
  resume_ =
      AddSwitch(command, "--resume", "continue --out FILE: keep its rows, run the tasks it lacks");
  list_ = AddSwitch(command, "--list", "print the numbered tasks on stdout without running them");
  quiet_ = AddSwitch(command, "--quiet", "no progress bar on stderr");
}

Arguments SweepOptions::Given(const std::vector<std::string>& args) const {
  Arguments arguments;
  for (const TextOption* option :
       {&program_, &seeds_, &format_, &shard_, &jobs_, &out_, &series_, &stopOnCycle_}) {
    Collect(*option, arguments);
  }
  for (std::size_t i = 0; i < kSettingCount; ++i) {
    Collect(settings_[i], args, arguments);
    Collect(off_[i], arguments);
  }
  for (const CLI::Option* flag : {resume_, list_, quiet_}) Collect(flag, arguments);
  return arguments;
}

SweepRequest ParseSweepCommandLine(const std::vector<std::string>& args) {
  CLI::App app("", "impactsim");
  app.allow_extras();
  CLI::App* sweep = app.add_subcommand("sweep");
  sweep->allow_extras();
  SweepOptions options;
  options.AddTo(*sweep);
  try {
    const std::vector<std::string> given = WithoutEndOfOptions(args);
    // The parser takes the arguments last first.
    std::vector<std::string> reversed(given.rbegin(), given.rend());
    app.parse(reversed);
    CheckLeftovers(app);
    CheckRepeatsAndSwitches(*sweep, given);
  } catch (const CLI::Success&) {
    // "--help" (or "-h"): the runner shows the options and runs nothing.
    throw InputError("", "--help: shows the options of impactsim sweep, runs no sweep");
  } catch (const CLI::ParseError& e) {
    throw InputError("", Describe(e, *sweep));
  }
  // Earlier versions took an empty value of a switch setting ("--edge=") as
  // the switch given bare, and recorded such lines as given: read so, they
  // resume and verify as the sweep they started.
  return ResolveSweep(options.Given({}));
}

}  // namespace impactsim
