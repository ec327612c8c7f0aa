#pragma once
// Text a user gave, made safe to show and to record: one line on a terminal,
// and valid UTF-8 in a JSON file.

#include <cstddef>
#include <string>
#include <string_view>

namespace impactsim {

// The byte length of the valid UTF-8 sequence at the start of `text`, or 0
// where none starts there: no overlong forms, surrogates or code points past
// U+10FFFF.
std::size_t Utf8Length(std::string_view text);

// Text the user gave, in single quotes, safe to print on one line: control
// characters (C1 controls such as U+0085 too), the Unicode line and
// paragraph separators, the bidirectional controls that would reorder what
// follows (U+200E, U+202E, U+2066, ...) and bytes that are not UTF-8 are
// shown as escapes (\n, \t, \r, and \xNN for each byte of any other)
// rather than passed to the terminal.
std::string Quoted(std::string_view text);
// The same escapes without the quotes.
std::string Escaped(std::string_view text);

// An argument as a sweep's description records it. JSON text holds only
// UTF-8, so an argument that is valid UTF-8 is kept as it is; in any other,
// each byte that is not part of a valid UTF-8 sequence is written as \xNN
// (two lower-case hex digits) and each backslash is doubled, so the recorded
// text still tells every byte of the argument apart.
std::string RecordedArgument(std::string_view arg);

// The message of an errno value, e.g. "No such file or directory".
std::string ErrnoText(int errorNumber);

}  // namespace impactsim
