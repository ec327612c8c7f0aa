#pragma once
// What the sweep tests share: the runner driven in-process, and reading its
// rows back.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/report.h"
#include "model/random_source.h"
#include "tests/scratch_dir.h"

namespace impactsim::cli::testing {

namespace fs = std::filesystem;
using Args = std::vector<std::string>;
using impactsim::testing::Slurp;

struct Outcome {
  int status;
  std::string out, err;
};

inline Outcome Invoke(const Args& args) {
  std::ostringstream out, err;
  FixedClock clock(4321);
  const int status = RunCommandLine(args, out, err, clock);
  return {status, out.str(), err.str()};
}

inline Args Concat(Args a, const Args& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline void Spit(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = line.find(',', start);
    fields.push_back(line.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) return fields;
    start = comma + 1;
  }
}

// CSV rows as column name -> value.
inline std::vector<std::map<std::string, std::string>> Records(const std::string& csv) {
  const std::vector<std::string> lines = Lines(csv);
  std::vector<std::map<std::string, std::string>> records;
  if (lines.empty()) return records;
  const std::vector<std::string> names = Fields(lines[0]);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> values = Fields(lines[i]);
    EXPECT_EQ(values.size(), names.size()) << lines[i];
    std::map<std::string, std::string> record;
    for (std::size_t c = 0; c < names.size() && c < values.size(); ++c)
      record[names[c]] = values[c];
    records.push_back(record);
  }
  return records;
}

// Makes the description beside `rows` that of a sweep cut short, as a
// session that was stopped leaves it: not complete, no digests. For tests
// that cut a finished file to resume it.
inline void CutShort(const fs::path& rows) {
  const fs::path meta = rows.string() + ".meta.json";
  nlohmann::ordered_json description = nlohmann::ordered_json::parse(Slurp(meta));
  description.erase("rows_sha256");
  description.erase("series_sha256");
  description["complete"] = false;
  Spit(meta, description.dump(2) + '\n');
}

class SweepTest : public impactsim::testing::ScratchDirTest {
 protected:
  // Every file of the directory with its content.
  std::map<std::string, std::string> Snapshot() const {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir_)) {
      files[e.path().filename()] = Slurp(e.path());
    }
    return files;
  }
};

}  // namespace impactsim::cli::testing
