#pragma once
// The sweep a description (FILE.meta.json) records, rebuilt from the command
// line it records through the sweep's own checks, for verify.

#include <string>

#include "sweep/sweep_arguments.h"

namespace impactsim {

// The sweep the description text `metaText` (read from `metaPath`) records,
// with `path` as its --out, and its series looked for beside `path` as it
// stood beside the recorded --out. Throws InputError for the argument
// "file" when the description is not a sweep's, records a sweep the runner
// refuses (its command line, or a series that is its rows or their
// description), an identity its command line does not give, or a tool,
// format, shard, task counts or series that command line does not give.
// Throws InputError under `key` naming the first start file of `plan` that
// the description text (read from `metaPath`) records under the same name
// with another digest: the file was edited since the sweep was written.
void CheckStartFiles(const SweepPlan& plan, const std::string& metaPath,
                     const std::string& metaText, const std::string& key);

SweepRequest RecordedSweepOf(const std::string& path, const std::string& metaPath,
                             const std::string& metaText);

}  // namespace impactsim
