#pragma once
// What identifies the rows of a sweep, and the description file written
// beside them (FILE.meta.json), by which a later --resume knows them.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sweep/sweep_arguments.h"

namespace impactsim {

inline constexpr const char* kMetaSuffix = ".meta.json";

// How a description's identity was computed: the "identity_scheme" it
// records. Descriptions without that field come from earlier versions, whose
// identity is TaskListIdentity.
inline constexpr std::int64_t kTaskListScheme = 1;
inline constexpr std::int64_t kIdentityScheme = 2;

// What the rows mean where versions differ: the "rows_scheme" a description
// records. Descriptions without it come from earlier versions, whose rows
// gave period 0 to a run that ended in unanimity; kRowsScheme rows give 1.
inline constexpr std::int64_t kEarlierRowsScheme = 1;
inline constexpr std::int64_t kRowsScheme = 2;

// "csv" or "jsonl".
const char* FormatName(RowFormat format);

// A hash of what makes a sweep's rows: the columns, the format, the shard,
// and the normalised task list: for each program in order its name and the
// values of each of its settings as that program sees them (an omitted
// setting as the program's default), then the seeds as runs of consecutive
// values. Two command lines that give the same tasks in the same order,
// however spelled, have the same identity.
std::string SweepIdentity(const SweepPlan& plan, RowFormat format, const Shard& part);

// The identity of a sweep's series file: its columns and format, and the
// identity of the sweep whose runs it follows round by round.
std::string SeriesIdentity(const std::string& sweepIdentity, RowFormat format);

// The identity of the same things as recorded by earlier versions: a hash
// over the settings row of every task. It takes time in proportion to the
// number of tasks, so it is only computed to recognise such a file.
std::string TaskListIdentity(const SweepPlan& plan, RowFormat format, const Shard& part);

// Who asked for a sweep: the command line after the program name ("sweep"
// first) that asks for it, and for a sweep started from Python, the call as
// Python shows it. The description records both.
struct SweepOrigin {
  std::vector<std::string> Args;
  std::string Call;  // empty: started from the command line
};

// The description file's text: the tool and its version, the command line
// (`args`, after the program name, each as RecordedArgument gives it), the
// format, the shard, the task counts, the identity (of kIdentityScheme), the
// rows scheme (kRowsScheme), the meaning of every column and, for a sweep with --series, the series
// file (as given), its identity and columns; indented JSON ending in a line break.
std::string SweepDescription(const SweepRequest& request, const std::vector<std::string>& args,
                             const std::string& identity);

// The identity a description records and its scheme.
struct RecordedSweep {
  std::string Identity;
  std::int64_t Scheme = kTaskListScheme;         // when the description names none
  std::int64_t RowsScheme = kEarlierRowsScheme;  // likewise
  std::optional<std::string> Series;             // the series identity, for a sweep with one
  std::string SeriesFile;                        // the series file as recorded
  std::vector<std::string> ColumnNames;          // the row columns the description lists
  // The digests of a complete sweep's files, as recorded: one that is not
  // text as its JSON, which no digest equals.
  std::optional<std::string> RowsSha256;
  std::optional<std::string> SeriesSha256;
};

// What a description records, or nothing if `in` holds no description of a
// sweep (not JSON, no identity, or a scheme that is not an integer).
std::optional<RecordedSweep> RecordedIdentity(std::istream& in);

}  // namespace impactsim
