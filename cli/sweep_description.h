#pragma once
// What identifies the rows of a sweep, and the description file written
// beside them (FILE.meta.json), by which a later --resume knows them.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/sweep_options.h"

namespace impactsim::cli {

inline constexpr const char* kMetaSuffix = ".meta.json";

// "csv" or "jsonl".
const char* FormatName(RowFormat format);

// A hash of what makes a sweep's rows: the columns, the format, the shard and
// every task of the whole sweep in order. Two command lines that give the
// same tasks, however spelled, have the same identity.
std::string SweepIdentity(const SweepPlan& plan, RowFormat format, const Shard& part);

// The description file's text: the tool and its version, the command line
// (`args`, after the program name), the format, the shard, the task counts,
// the identity and the meaning of every column; indented JSON ending in a
// line break.
std::string SweepDescription(const SweepRequest& request, const std::vector<std::string>& args,
                             const std::string& identity);

// The identity a description records, or nothing if `in` holds no
// description of a sweep.
std::optional<std::string> RecordedIdentity(std::istream& in);

}  // namespace impactsim::cli
