#include "cli/manual_page.h"

#include <cstdio>
#include <ostream>
#include <string>

#include "cli/command_line.h"

namespace impactsim::cli {

namespace {

// The UTF-8 sequence starting at text[i] as roff's "\[uXXXX]"; i is moved to
// its last byte. A byte that starts no sequence is written as it is.
std::string UnicodeEscape(std::string_view text, std::size_t& i) {
  const auto byte = static_cast<unsigned char>(text[i]);
  const int extra = byte >= 0xF0 ? 3 : byte >= 0xE0 ? 2 : byte >= 0xC0 ? 1 : 0;
  if (extra == 0 || i + static_cast<std::size_t>(extra) >= text.size()) {
    return std::string(1, text[i]);
  }
  unsigned code = byte & (0x3Fu >> extra);
  for (int k = 0; k < extra; ++k) {
    code = (code << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu);
  }
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "\\[u%04X]", code);
  return buffer;
}

// Text as roff reads it: backslashes and minus signs escaped (a dash of an
// option stays a dash and never breaks a line), a line never starting with
// a control character, and text outside ASCII as Unicode escapes.
std::string Roff(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-') {
      out += "\\-";
    } else if ((c == '.' || c == '\'') && (out.empty() || out.back() == '\n')) {
      out += "\\&";
      out += c;
    } else if (static_cast<unsigned char>(c) >= 0x80) {
      out += UnicodeEscape(text, i);
    } else {
      out += c;
    }
  }
  return out;
}

// The description as the one line of NAME: lower case first, no full stop.
std::string Summary(std::string text) {
  if (!text.empty() && text.back() == '.') text.pop_back();
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z')
    text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

void WriteOptions(std::ostream& out, const CommandHelp& command) {
  for (const OptionHelp& option : command.Options) {
    out << ".TP\n\\fB" << Roff(option.Names) << "\\fR";
    if (!option.Value.empty()) out << " \\fI" << Roff(option.Value) << "\\fR";
    out << '\n' << Roff(option.Text) << '\n';
  }
}

}  // namespace

void WriteManualPage(std::ostream& out, std::string_view version) {
  const ProgramHelp help = HelpTable();
  out << ".\\\" Made from the runner's own option table at build time: do not edit.\n"
      << ".TH IMPACTSIM 1 \"\" \"impactsim " << Roff(version) << "\" \"User Commands\"\n"
      << ".SH NAME\nimpactsim \\- " << Roff(Summary(help.Description)) << '\n'
      << ".SH SYNOPSIS\n.B impactsim\n.RB [ \\-\\-help | \\-\\-version ]\n";
  for (const CommandHelp& command : help.Commands) {
    if (command.Name.empty()) continue;
    out << ".br\n.B impactsim " << Roff(command.Name) << "\n.RI [ options ]\n";
  }
  out << ".SH DESCRIPTION\n" << Roff(help.Description) << '\n';
  for (const std::string& paragraph : help.Footer) out << ".PP\n" << Roff(paragraph) << '\n';
  for (const CommandHelp& command : help.Commands) {
    if (command.Name.empty()) {
      out << ".SH OPTIONS\n";
    } else {
      if (&command == &help.Commands[1]) out << ".SH COMMANDS\n";
      out << ".SS \"impactsim " << Roff(command.Name) << "\"\n" << Roff(command.Text) << '\n';
    }
    WriteOptions(out, command);
  }
  out << ".SH SEE ALSO\n"
         ".BR halvorn (1),\n"
         ".BR kestane (1);\n"
         "README.md in share/doc/impactsim below the installation prefix (/usr/share/doc/impactsim "
         "for Debian's packages)\n";
}

}  // namespace impactsim::cli
