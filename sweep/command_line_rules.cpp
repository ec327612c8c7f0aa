#include "sweep/command_line_rules.h"

#include <algorithm>

#include <CLI/CLI.hpp>

#include "sweep/text_escape.h"

namespace impactsim {

namespace {

bool LooksLikeOption(const std::string& arg) {
  return arg.size() > 1 && arg[0] == '-';
}

// The option part of "--name=value".
std::string OptionPart(const std::string& arg) {
  return arg.substr(0, arg.find('='));
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

}  // namespace

void TextOption::AddTo(CLI::App& command, const std::string& name, const std::string& type,
                       const std::string& help) {
  Option = command.add_option(name, Given, help)
               ->type_name(type)
               ->expected(0, 1)
               ->allow_extra_args(false)
               ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
}

std::string TextOption::Key() const {
  return KeyOfOption(Option->get_name());
}

CLI::Option* AddSwitch(CLI::App& command, const std::string& name, const std::string& help) {
  return command.add_flag(name)->description(help)->disable_flag_override();
}

std::string OptionName(const CLI::Option* option) {
  return option->get_name();
}

void Collect(const TextOption& option, Arguments& arguments) {
  if (!option.Given.empty()) arguments.Given[option.Key()] = option.Given;
}

void Collect(const TextOption& option, const std::vector<std::string>& args, Arguments& arguments) {
  Collect(option, arguments);
  // None, or a repeat, which is refused apart.
  if (option.Given.size() != 1) return;
  const std::string name = OptionName(option.Option);
  for (std::size_t i = 0; i < args.size(); ++i) {
    // Empty, whatever the parser made of the word after it.
    if (args[i] == name + "=") {
      arguments.Given[option.Key()] = {""};
      return;
    }
    if (args[i] == name && i + 1 < args.size() && args[i + 1].empty()) return;
  }
  if (option.Given[0].empty()) arguments.Given[option.Key()] = {};
}

void Collect(const CLI::Option* flag, Arguments& arguments) {
  if (flag != nullptr && flag->count() > 0) arguments.Given[KeyOfOption(flag->get_name())] = {};
}

std::vector<std::string> WithoutEndOfOptions(const std::vector<std::string>& args) {
  const auto end = std::find(args.begin(), args.end(), "--");
  if (end == args.end()) return args;
  if (end + 1 != args.end()) {
    throw InputError("",
                     "--: impactsim takes options only, got " + Quoted(*(end + 1)) + " after it");
  }
  return {args.begin(), end};
}

void CheckLeftovers(const CLI::App& app) {
  for (const std::string& arg : app.remaining()) {
    if (LooksLikeOption(arg)) throw InputError("", Escaped(OptionPart(arg)) + ": unknown option");
    throw InputError("", "command: expects run, sweep or verify, got " + Quoted(arg));
  }
  const std::vector<CLI::App*> commands = app.get_subcommands();  // in the order given
  if (commands.empty()) {
    throw InputError("", "command: expects run, sweep or verify, got none (see impactsim --help)");
  }
  const std::string name = commands[0]->get_name();
  if (commands[0]->count() > 1) {
    throw InputError("", name + ": takes options only, got " + Quoted(name) + " again");
  }
  if (commands.size() > 1) {
    throw InputError("", name + ": takes options only, got " + Quoted(commands[1]->get_name()));
  }
  for (const std::string& arg : commands[0]->remaining()) {
    if (LooksLikeOption(arg)) {
      throw InputError(
          "", Escaped(OptionPart(arg)) + ": unknown option (see impactsim " + name + " --help)");
    }
    throw InputError("", name + ": takes options only, got " + Quoted(arg));
  }
}

void CheckRepeatsAndSwitches(const CLI::App& command, const std::vector<std::string>& args) {
  for (const CLI::Option* option : command.get_options()) {
    if (option->count() > 1) throw InputError("", OptionName(option) + ": given more than once");
  }
  for (const std::string& arg : args) {
    const std::size_t equals = arg.find('=');
    if (!arg.starts_with("--") || equals == std::string::npos) continue;
    const CLI::Option* option = command.get_option_no_throw(arg.substr(0, equals));
    if (option != nullptr && option->get_expected_max() == 0) {
      throw InputError("", OptionName(option) + ": a switch, takes no value");
    }
  }
}

std::string Describe(const CLI::ParseError& error, const CLI::App& command) {
  const std::string message = error.what();
  if (const CLI::Option* option = OptionInMessage(command, message)) {
    if (option->get_expected_max() == 0) {
      return option->get_name() + ": a switch, takes no value";
    }
  }
  return Escaped(message.substr(0, message.find('\n')));
}

}  // namespace impactsim
