#pragma once
// Settings of the whole process that suit a program made of many runs. The
// engine never applies them itself: a program's main() calls them at start,
// before its first run. A library that hosts the engine inside someone
// else's process (the Python module) leaves them alone.

namespace impactsim {

// Runs one after another each take and give back the same few hundred
// kilobytes to a few megabytes. By default glibc returns freed memory at the
// top of the heap to the system and serves large blocks from fresh mappings,
// so every run would take its memory back page by page, a page fault each;
// on a virtual machine those cost more than a short run's rounds. This keeps
// freed memory in the process for the next run. Changes glibc's malloc
// settings for the whole process; does nothing on other C libraries. Results
// do not depend on it.
void KeepFreedMemoryBetweenRuns();

}  // namespace impactsim
