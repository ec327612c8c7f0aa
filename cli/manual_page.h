#pragma once
// The runner's manual page, impactsim(1), in roff (man macros), made from
// the same table as its --help.

#include <iosfwd>
#include <string_view>

namespace impactsim::cli {

// Writes the page for the given version ("0.1.0"): every command with every
// option and its text as --help gives them. Text outside ASCII is written as
// roff's Unicode escapes, so the page renders the same in any locale.
void WriteManualPage(std::ostream& out, std::string_view version);

}  // namespace impactsim::cli
