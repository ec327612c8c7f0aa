#pragma once
// The engine as a web page's worker calls it (WebAssembly, through the
// module's ccall): one seeded run at a time, set up from the words
// "impactsim run" takes, so that a seed shown on the page repeats the run
// with the runner. The run reports round by round as it goes, through the
// functions the page sets on the module (onLogLine, onRound; a missing one
// is skipped), and keeps its log and final map to be read afterwards. It
// draws the map and the chart as the windows and "impactsim run --map-png
// --chart-png" do, with the same drawing code, for the page to show.
//
//   onLogLine(text): each log line, without its newline, as the runner
//     prints it.
//   onRound(round, changes, census, opinions): at the start (round 0,
//     changes 0) and after every round; census an Int32Array of the cells of
//     opinions 1..K, opinions a Uint8Array of every cell's opinion, row by
//     row from the top, each row from the left. Both are copies. When it is
//     called, the map and the chart already show that round, so the page can
//     copy them from the module's memory within the call.

#include <cstdint>

extern "C" {

// Runs the options in `args`, one word per line, as "impactsim run" takes
// them ("--program\nkestane\n--seed\n42\n--sequential"): the program, the
// seed and the settings; the options that write files are refused, as the
// page has no files. Without --seed the seed is the time of day `clockMs`,
// which the page reads from its clock (UTC milliseconds of the day). Returns
// 0 after the run, 2 for bad input (nothing ran; impactsim_error says why).
int impactsim_run(const char* args, std::uint32_t clockMs);

// The problem of the last impactsim_run that returned 2, as the runner
// words it ("--distance: expects ..."); empty otherwise.
const char* impactsim_error();

// The seed of the last run.
std::uint32_t impactsim_seed();

// The whole log of the last run, each line ended by a newline: what
// "impactsim run --seed S" prints on stdout.
const char* impactsim_log();

// The final opinions of the last run as "impactsim run --grid-out" writes
// them: one line per row, one character per cell.
const char* impactsim_final_map();

// The map and the chart of the current or last run, as they stand: width x
// height pixels, each 0xFFRRGGBB, row after row from the top, each row from
// the left; the pixels of "impactsim run --map-png" and "--chart-png" once
// the run has ended. Read them within onRound for each round (round 0
// included), or after the run. The pixels lie in the module's memory
// (HEAPU32 from pixels / 4): copy them before the engine runs again, and
// take the sizes, the pointer and the module's HEAPU32 anew each time, as a
// run may move them. Before a run, and after bad input, the sizes are 0 and
// the pointers null.
int impactsim_map_width();
int impactsim_map_height();
const std::uint32_t* impactsim_map_pixels();
int impactsim_chart_width();
int impactsim_chart_height();
const std::uint32_t* impactsim_chart_pixels();
}
