#!/usr/bin/env bash
# Builds the web edition's engine (WebAssembly, with Emscripten) and checks
# that its seeded runs under Node are the runner's: for each row of the
# table, the whole log, the log lines it passes on one by one, the census of
# every round, the final map and the opinions of its last round equal
# "impactsim run --seed S ... --census-csv --grid-out" byte for byte, and
# the map and the chart it draws equal --map-png and --chart-png pixel for
# pixel; for a row of bad input, both refuse it with the same message and
# exit status. The engine's text comes from the host build's glyph table,
# which is built first. Skips (77) where Emscripten or Node is not
# installed, or the host build has no glyph table (no windows).
#
#   web_engine_check.sh SOURCE_DIR BUILD_DIR IMPACTSIM HOST_BUILD_DIR|""
set -euo pipefail
source="$1" build="$2" impactsim="$3" host="$4"

for tool in em++ node; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool not found (Debian: apt-get install emscripten nodejs)"
    exit 77
  fi
done
# Debian's Emscripten finds its JavaScript modules in Debian's folder also
# when the node on PATH is another one; its Node code needs Node's own
# fetch off.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
node=(node --no-experimental-fetch)
if [ -z "$host" ]; then
  echo "skipped: the pictures' glyph table is written by a build with the windows (Qt)"
  exit 77
fi

mkdir -p "$build"
engine="$build/engine/bin/impactsim-engine.js"
cmake --build "$host" --target impactsim_glyph_table >"$build/glyphs.log" 2>&1 ||
  { cat "$build/glyphs.log"; exit 1; }
# The web preset, in a folder of the test's own.
cmake -S "$source" --preset web -B "$build/engine" -DIMPACTSIM_WERROR=ON \
  -DIMPACTSIM_GLYPH_TABLE="$host/picture/glyph_table.cpp" \
  >"$build/configure.log" 2>&1 || { cat "$build/configure.log"; exit 1; }
cmake --build "$build/engine" --parallel 2 >"$build/build.log" 2>&1 ||
  { tail -50 "$build/build.log"; exit 1; }

# One row per case: a name, the expected exit status, then the run's options.
cases=(
  "halvorn_defaults     0 --seed 12345"
  "halvorn_turns_torus  0 --seed 400 --sequential --no-edge --distance 3 --rounds 40"
  "halvorn_wide_nb      0 --seed 86399999 --wide-scope --remove-self --summation --distance nb --initial-dist 0.4"
  "halvorn_reals        0 --seed 7 --opinions 3 --initial-shares 0.5,0.25,0.25 --distance 2.5 --noise 1e-3 --rounds 30"
  "kestane_defaults     0 --program kestane --seed 5"
  "kestane_many         0 --program kestane --seed 999 --simultaneous --distance 1 --opinions 5 --noise 0.37 --strengths equal:50"
  "kestane_count        0 --program kestane --seed 0 --initial-count 123 --side 33 --summation"
  "bad_distance         2 --seed 1 --distance 64.5"
  "bad_halvorn_only     2 --program kestane --seed 1 --wide-scope"
  "bad_repeat           2 --seed 1 --rounds 3 --rounds 4"
)

failed=0
for row in "${cases[@]}"; do
  read -r name status options <<<"$row"
  read -r -a args <<<"$options"
  dir="$build/$name"
  rm -rf "$dir" && mkdir -p "$dir/web"
  set +e
  if [ "$status" = 0 ]; then
    "$impactsim" run "${args[@]}" --census-csv "$dir/census.csv" --grid-out "$dir/grid" \
      --map-png "$dir/map.png" --chart-png "$dir/chart.png" >"$dir/log" 2>"$dir/err"
  else
    "$impactsim" run "${args[@]}" >"$dir/log" 2>"$dir/err"
  fi
  native=$?
  "${node[@]}" "$source/tests/web_engine_run.js" "$engine" "$dir/web" "${args[@]}" 2>"$dir/web/err"
  web=$?
  set -e
  problems=()
  [ "$native" = "$status" ] || problems+=("the runner exited $native")
  [ "$web" = "$status" ] || problems+=("the web engine exited $web")
  cmp -s "$dir/err" "$dir/web/err" || problems+=("stderr differs")
  if [ "$status" = 0 ]; then
    for file in log census.csv grid; do
      cmp -s "$dir/$file" "$dir/web/$file" || problems+=("$file differs")
    done
    cmp -s "$dir/log" "$dir/web/streamed" || problems+=("the lines passed on differ from the runner's log")
    cmp -s "$dir/grid" "$dir/web/last_round" || problems+=("the last round's opinions differ")
    for picture in map chart; do
      node "$source/tests/web_engine_run.js" --ppm-of "$dir/$picture.png" "$dir/$picture.ppm" &&
        cmp -s "$dir/$picture.ppm" "$dir/web/$picture.ppm" ||
        problems+=("the $picture's pixels differ")
    done
  fi
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAIL $name ($options): $(IFS=';'; echo "${problems[*]}") [in $dir]"
    failed=1
  else
    echo "ok   $name"
  fi
done
exit "$failed"
