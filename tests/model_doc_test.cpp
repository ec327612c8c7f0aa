// docs/model.md against the engine. Every block the document marks with a
// line "<!-- checked: NAME -->" (a fenced block or a table, up to the first
// blank line) is written out again here from the engine's own code: its ring
// scan, impact models, update rule and population build. A block that differs,
// or a marker without a block here (or a block here without its marker),
// fails the test and prints the block as the engine gives it.

#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "impact/contributions.h"
#include "impact/ring_impact.h"
#include "impact/torus_impact.h"
#include "model/simulation.h"
#include "programs/programs.h"

namespace impactsim {
namespace {

const std::string kDistanceName[] = {"nb", "0", "1", "2", "3", "4"};

// The shortest decimal that reads back to v.
std::string Shortest(double v) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, v).ptr;
  return std::string(text, end);
}

std::string Digits(double v, int significant) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", significant, v);
  return text;
}

// d from its square: "√5", or "10" where the square root is whole.
std::string Root(double d) {
  const auto square = std::lround(d * d);
  const auto whole = std::lround(std::sqrt(static_cast<double>(square)));
  return whole * whole == square ? std::to_string(whole) : "√" + std::to_string(square);
}

// The marked blocks of the document, by name.
std::map<std::string, std::string> MarkedBlocks(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << "cannot read " << path;
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::string open = "<!-- checked: ", close = " -->";
  std::map<std::string, std::string> blocks;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.rfind(open, 0) != 0 || !l.ends_with(close)) continue;
    const std::string name = l.substr(open.size(), l.size() - open.size() - close.size());
    std::string block;
    const bool fenced = i + 1 < lines.size() && lines[i + 1].starts_with("```");
    for (std::size_t j = i + 1; j < lines.size() && !lines[j].empty(); ++j) {
      block += lines[j] + "\n";
      if (fenced && j > i + 1 && lines[j] == "```") break;
    }
    EXPECT_FALSE(blocks.contains(name)) << "marker " << name << " twice";
    blocks[name] = block;
  }
  return blocks;
}

RunSettings With(const ProgramProfile& program, DistancePar distance, bool summation = false,
                 bool wide = false, bool edge = true, bool removeSelf = false) {
  RunSettings s = program.Defaults;
  s.Distance = distance;
  s.SummationM = summation;
  s.WideScope = wide;
  s.Edge = program.HasEdge && edge;
  s.RemoveSelf = removeSelf;
  return s;
}

// A table's header "| a | b |" and its rule, from "a | b".
std::string Header(const std::string& names) {
  std::string rule = "|";
  for (std::size_t i = 0;
       i <= static_cast<std::size_t>(std::count(names.begin(), names.end(), '|')); ++i)
    rule += "---|";
  return "| " + names + " |\n" + rule + "\n";
}

// One table row: "| a | b |".
std::string Row(const std::vector<std::string>& cells) {
  std::string row = "|";
  for (const std::string& c : cells) row += " " + c + " |";
  return row + "\n";
}

// A population of `others` with the scope a build gives it for `s`.
ModelState Population(const ProgramProfile& program, const RunSettings& s, Cell others) {
  ModelState m(program.GridSide);
  m.OpinionCount = 2;
  const RingScope& scope = s.WideScope ? program.WideScope : program.Scope;
  m.ScopeRadius = scope.Radius;
  m.ScopeDistance = scope.Distance;
  for (int i = 1; i <= program.CellTotal; ++i) {
    const GridPos p = CellPosition(i, program.GridSide);
    m.PopulationGrid.At(p.x, p.y) = others;
  }
  return m;
}

// halvorn's sources inside the cut-off for `s`, in scan order.
std::vector<RingOffset> RingSources(const RunSettings& s) {
  ModelState m = Population(HalvornProgram(), s, {1, 0, 0});
  RingImpact ring;
  ring.Prepare(s, m);
  return ring.Sources();
}

// A cell placed at an offset from the target (wrapped round the grid).
struct Placed {
  int dx, dy;
  Cell cell;
};

struct Turn {
  ImpactVector impact{};
  SourceCount sources{};
  int opinion = 0;  // the target's opinion after the update rule
};

// The target [x, y] holds `target`, the cells `placed` around it, every other
// cell `others`; the program's impact model and the update rule at its turn.
Turn TurnOf(const ProgramProfile& program, const RunSettings& s, int x, int y, Cell target,
            Cell others, const std::vector<Placed>& placed = {}) {
  ModelState m = Population(program, s, others);
  const int side = program.GridSide;
  m.PopulationGrid.At(x, y) = target;
  for (const Placed& p : placed) {
    m.PopulationGrid.At((x + p.dx - 1 + side) % side + 1, (y + p.dy - 1 + side) % side + 1) =
        p.cell;
  }
  m.SnapshotGrid = m.PopulationGrid;
  const auto model = program.MakeImpactModel();
  model->Prepare(s, m);
  Turn t;
  model->ComputeImpact(m, x, y, t.impact, t.sources);
  FixedClock clock(0);
  RandomSource random(clock);
  std::int32_t changes = 0;
  ApplyImpact(m, t.impact, random, {program.RedrawStrengthsOnChange}, x, y, changes);
  t.opinion = m.PopulationGrid.At(x, y).Opinion;
  return t;
}

std::string SourcesAround(const ProgramProfile& program, const RunSettings& s, int x, int y) {
  const Turn t = TurnOf(program, s, x, y, {1, 0, 0}, {1, 0, 0});
  return std::to_string(t.sources[1] + t.sources[2] - (s.RemoveSelf ? 0 : 1));
}

// The default neighbourhood: d² of every source around the target.
std::string Neighbourhood() {
  std::map<std::pair<int, int>, int> square;
  int reach = 0;
  for (const RingOffset& o : RingSources(HalvornProgram().Defaults)) {
    square[{o.dx, o.dy}] = o.sumOfSquares;
    reach = std::max({reach, std::abs(int{o.dx}), std::abs(int{o.dy})});
  }
  std::string out = "```text\ndy\\dx";
  char cell[16];
  for (int dx = -reach; dx <= reach; ++dx) out += (std::snprintf(cell, 16, "%4d", dx), cell);
  for (int dy = -reach; dy <= reach; ++dy) {
    out += (std::snprintf(cell, 16, "\n%5d", dy), cell);
    for (int dx = -reach; dx <= reach; ++dx) {
      const auto it = square.find({dx, dy});
      std::snprintf(cell, 16, "%4d", it == square.end() ? 0 : it->second);
      out += dx == 0 && dy == 0 ? "   @" : it == square.end() ? "   ." : cell;
    }
  }
  return out + "\n```\n";
}

std::string Scopes() {
  const ProgramProfile& halvorn = HalvornProgram();
  std::string out = Header(
      "program, scope | positions scanned | farthest ring | nearest, farthest source d "
      "| sources: inner cell | corner cell, walls | corner cell, wrap-round");
  const struct {
    const char* name;
    DistancePar distance;
    bool wide;
  } rows[] = {{"halvorn, default (R 17, D 10)", DistancePar::Two, false},
              {"halvorn, Wide Scope (R 29, D 19)", DistancePar::Two, true},
              {"halvorn, nb (ring 1)", DistancePar::Nb, false}};
  for (const auto& r : rows) {
    const RunSettings walls = With(halvorn, r.distance, false, r.wide, true, true);
    const RunSettings wraps = With(halvorn, r.distance, false, r.wide, false, true);
    int farthest = 0, nearSq = 1 << 30, farSq = 0;
    for (const RingOffset& o : RingSources(walls)) {
      farthest = std::max(farthest, std::abs(int{o.dx}) + std::abs(int{o.dy}));
      nearSq = std::min(nearSq, o.sumOfSquares);
      farSq = std::max(farSq, o.sumOfSquares);
    }
    ModelState m = Population(halvorn, walls, {1, 0, 0});
    RingImpact().Prepare(walls, m);  // the radius it scans
    out += Row({r.name, std::to_string(RingScanOrder(m.ScopeRadius).size()),
                std::to_string(farthest), Root(std::sqrt(nearSq)) + ", " + Root(std::sqrt(farSq)),
                SourcesAround(halvorn, walls, 20, 20), SourcesAround(halvorn, walls, 1, 1),
                SourcesAround(halvorn, wraps, 1, 1)});
  }
  const ProgramProfile& kestane = KestaneProgram();
  double nearest = 1e9, farthest = 0;
  for (int i = 2; i <= kestane.CellTotal; ++i) {
    const GridPos p = CellPosition(i, kestane.GridSide);
    nearest = std::min(nearest, TorusDistance(kestane.GridSide, 1, 1, p.x, p.y));
    farthest = std::max(farthest, TorusDistance(kestane.GridSide, 1, 1, p.x, p.y));
  }
  return out + Row({"kestane, whole torus", "all cells", "-", Root(nearest) + ", " + Root(farthest),
                    SourcesAround(kestane, kestane.Defaults, 7, 9), "-",
                    SourcesAround(kestane, kestane.Defaults, 1, 1)});
}

// Weight of the target's own voice over that of its nearest source of the
// same strength: the two impacts a lone voice of supportiveness 100 gives
// under plain sums.
std::string SelfOverNearest(const ProgramProfile& program, DistancePar distance) {
  const RunSettings s = With(program, distance, true);
  const Cell loud{1, 0, 100}, silent{1, 0, 0};
  const double self = TurnOf(program, s, 10, 10, loud, silent).impact[1];
  const double nearest = TurnOf(program, s, 10, 10, silent, silent, {{1, 0, loud}}).impact[1];
  return Digits(self / nearest, 4);
}

std::string SelfWeights() {
  const char* g[] = {"1", "d", "d·d", "d·d·d", "d·d·d·d"};
  std::string out = Header(
      "distance | g(d) | halvorn: self divisor g(√2) | halvorn: self ÷ side neighbour "
      "| kestane: self divisor g(0.84) | kestane: self ÷ nearest cell");
  for (int p = 0; p < 6; ++p) {
    const auto d = static_cast<DistancePar>(p);
    out += Row({kDistanceName[p], g[DistanceExponent(d)], Shortest(RingSelfDivisor(d)),
                SelfOverNearest(HalvornProgram(), d), Shortest(TorusSelfDivisor(d)),
                SelfOverNearest(KestaneProgram(), d)});
  }
  return out;
}

std::string Describe(const Cell& c) {
  return std::to_string(c.Opinion) + ", " + std::to_string(c.Persuasiveness) + ", " +
         std::to_string(c.Supportiveness);
}

std::string WorkedTurns() {
  const std::vector<Placed> four = {
      {-1, 0, {1, 70, 30}}, {0, 1, {2, 50, 10}}, {1, 0, {2, 70, 20}}, {0, -1, {1, 80, 0}}};
  const struct {
    const char* name;
    const ProgramProfile& program;
    DistancePar distance;
    bool summation;
    Cell target, others;
    std::vector<Placed> placed;
  } cases[] = {
      {"A", HalvornProgram(), DistancePar::Nb, false, {1, 90, 60}, {1, 0, 0}, four},
      {"B", HalvornProgram(), DistancePar::Two, false, {1, 0, 50}, {1, 0, 0}, {{1, 0, {2, 60, 0}}}},
      {"C", HalvornProgram(), DistancePar::Two, true, {1, 0, 50}, {1, 0, 0}, {{1, 0, {2, 60, 0}}}},
      {"D", KestaneProgram(), DistancePar::Zero, false, {2, 0, 100}, {1, 90, 10}, {}},
      {"E", KestaneProgram(), DistancePar::Nb, false, {2, 0, 100}, {1, 90, 10}, {}},
      {"F", KestaneProgram(), DistancePar::Zero, true, {2, 0, 100}, {1, 90, 10}, {}},
  };
  std::string out = Header(
      "case | program, distance, sums | target | around it (dx, dy: opinion, pers., supp.) "
      "| every other cell | N₁ | N₂ | I₁ | I₂ | new opinion");
  for (const auto& c : cases) {
    const Turn t = TurnOf(c.program, With(c.program, c.distance, c.summation), 20, 20, c.target,
                          c.others, c.placed);
    std::string around = c.placed.empty() ? "-" : "";
    for (const Placed& p : c.placed) {
      around += (around.empty() ? "" : "; ") + std::to_string(p.dx) + ", " + std::to_string(p.dy) +
                ": " + Describe(p.cell);
    }
    out += Row({c.name,
                std::string(c.program.Name) + ", " + kDistanceName[int(c.distance)] + ", " +
                    (c.summation ? "plain sums" : "damped"),
                Describe(c.target), around, Describe(c.others), std::to_string(t.sources[1]),
                std::to_string(t.sources[2]), Digits(t.impact[1], 6), Digits(t.impact[2], 6),
                std::to_string(t.opinion)});
  }
  return out;
}

// Over consecutive seeds, the cells least and most often in the initial
// minority: the populations halvorn's default settings build.
std::string SeedPatterns() {
  const ProgramProfile& halvorn = HalvornProgram();
  const int seeds = 1000;
  std::vector<int> minority(U(halvorn.CellTotal), 0);
  FixedSettings settings(halvorn.Defaults);
  RunObserver observer;
  for (int seed = 0; seed < seeds; ++seed) {
    FixedClock clock(static_cast<std::uint32_t>(seed));
    Simulation sim(halvorn, clock, settings, observer);
    sim.DefaultValues();
    for (int i = 0; i < halvorn.CellTotal; ++i)
      minority[U(i)] += sim.Model().PopulationGrid.Data()[i].Opinion == 2 ? 1 : 0;
  }
  const auto [least, most] = std::minmax_element(minority.begin(), minority.end());
  const auto cell = [&](auto it) {
    const GridPos p = CellPosition(static_cast<int>(it - minority.begin()) + 1, halvorn.GridSide);
    return "column " + std::to_string(p.x) + ", row " + std::to_string(p.y) + ": " +
           Digits(100.0 * *it / seeds, 3) + "%";
  };
  return Header("seeds | initial_dist | cell least often in the minority | cell most often") +
         Row({"0-" + std::to_string(seeds - 1), Digits(halvorn.Defaults.InitialShare, 3),
              cell(least), cell(most)});
}

TEST(model_doc_test, marked_blocks_match_the_engine) {
  const std::map<std::string, std::function<std::string()>> generators = {
      {"neighbourhood", Neighbourhood}, {"scopes", Scopes},
      {"self-weights", SelfWeights},    {"worked-turns", WorkedTurns},
      {"seed-patterns", SeedPatterns},
  };
  const std::map<std::string, std::string> blocks = MarkedBlocks(IMPACTSIM_MODEL_DOC);
  EXPECT_EQ(blocks.size(), generators.size()) << "a marked block that nothing checks";
  for (const auto& [name, generate] : generators) {
    const auto block = blocks.find(name);
    const std::string engine = generate();
    if (block == blocks.end())
      ADD_FAILURE() << "no block \"" << name << "\":\n" << engine;
    else
      EXPECT_EQ(block->second, engine) << "block \"" << name << "\": the engine gives the second";
  }
}

}  // namespace
}  // namespace impactsim
