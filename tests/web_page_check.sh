#!/usr/bin/env bash
# Runs the web edition's pages in headless chromium, served on 127.0.0.1 by
# this test, and checks for each row of the table: the page's controls are
# laid out at the window's rectangles; after the row's clicks, with the
# engine loaded and the network cut off, Start runs
# exactly "impactsim run" with the row's options (the command the page shows)
# and the page's log equals that run's output byte for byte, its map and
# chart canvases that run's --map-png and --chart-png pixel for pixel; "help"
# then appends the window's help lines, and End returns every control, field
# and the log to how the page opened. A screenshot of
# each row's page is kept in BUILD_DIR. Skips (77) where chromium, Node,
# python3 or Emscripten is not installed.
#
#   web_page_check.sh SOURCE_DIR BUILD_DIR WEB_DIR IMPACTSIM
set -euo pipefail
source="$1" build="$2" web="$3" impactsim="$4"

for tool in chromium node python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool not found (Debian: apt-get install chromium nodejs python3)"
    exit 77
  fi
done
rm -rf "$build" && mkdir -p "$build"
cp -r "$web" "$build/site"
# The engine: the web preset's, built in a folder of the test's own when the
# pages' folder has none.
if [ ! -f "$build/site/impactsim-engine.wasm" ]; then
  command -v em++ >/dev/null || { echo "skipped: em++ not found (Debian: apt-get install emscripten)"; exit 77; }
  export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
  cmake -S "$source" --preset web -B "$build/engine" >"$build/configure.log" 2>&1 ||
    { cat "$build/configure.log"; exit 1; }
  cmake --build "$build/engine" --parallel 2 >"$build/build.log" 2>&1 ||
    { tail -50 "$build/build.log"; exit 1; }
  cp "$build"/engine/bin/impactsim-engine.{js,wasm} "$build/site/"
fi

pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; }
trap cleanup EXIT
# The server and the browser each pick a free port and say which as they
# start: their output comes through a pipe, read until that line (a minute
# at most), then copied on into their logs.
# listening FIFO LOG PATTERN: the first match of PATTERN the process says.
listening() {
  local line
  while IFS= read -r -t 60 line <&"$1"; do
    echo "$line" >>"$2"
    if [[ $line =~ $3 ]]; then
      echo "${BASH_REMATCH[1]}"
      return
    fi
  done
}
mkfifo "$build/server.pipe" "$build/browser.pipe"
exec 3<>"$build/server.pipe" 4<>"$build/browser.pipe"
python3 -u -m http.server 0 --bind 127.0.0.1 --directory "$build/site" >"$build/server.pipe" 2>&1 &
pids+=($!)
chromium --headless --disable-gpu --no-sandbox --remote-debugging-port=0 \
  --user-data-dir="$build/profile" about:blank >"$build/browser.pipe" 2>&1 &
pids+=($!)
port=$(listening 3 "$build/server.log" 'port ([0-9]+)')
devtools=$(listening 4 "$build/chromium.log" 'DevTools listening on ws://[^:]*:([0-9]+)/')
cat <&3 >>"$build/server.log" &
pids+=($!)
cat <&4 >>"$build/chromium.log" &
pids+=($!)
[ -n "$port" ] && [ -n "$devtools" ] || { echo "FAIL: no server or browser"; cat "$build"/*.log; exit 1; }

# One row per case: a name, the page and its seed, the options the run must
# be given after --program and --seed (in the order of the page's controls),
# then "|" and the controls to click.
rows=(
  "halvorn_defaults  halvorn 12345    --rounds 500 --initial-dist 0.3 --distance 2 --edge --simultaneous |"
  "halvorn_clicked   halvorn 86399999 --summation --rounds 50 --initial-dist 0.4 --distance nb --no-edge --wide-scope --remove-self --sequential | input[name=RadioGroup1][value='0'] input[name=RadioGroup4][value='0'] input[name=RadioGroup5][value='0'] #CheckBox1>input #CheckBox2>input #CheckBox3>input #CheckBox4>input #CheckBox5>input"
  "kestane_defaults  kestane 5        --rounds 50 --initial-dist 0.3 --distance 2 --sequential |"
  "kestane_clicked   kestane 777      --summation --rounds 150 --initial-dist 0.1 --distance 4 --simultaneous | input[name=RadioGroup1][value='2'] input[name=RadioGroup4][value='3'] input[name=RadioGroup5][value='5'] #CheckBox4>input #CheckBox5>input"
)

failed=0
for row in "${rows[@]}"; do
  read -r name program seed rest <<<"$row"
  read -r -a options <<<"${rest%%|*}"
  read -r -a clicks <<<"${rest#*|}"
  dir="$build/$name"
  mkdir -p "$dir"
  problems=()
  if ! node --experimental-websocket "$source/tests/web_page_run.js" "$devtools" \
    "http://127.0.0.1:$port/$program.html?seed=$seed" "$dir" "${clicks[@]}" 2>"$dir/err"; then
    echo "FAIL $name: the page did not run: $(cat "$dir/err")"
    failed=1
    continue
  fi
  want=(--program "$program" --seed "$seed" "${options[@]}")
  echo "impactsim run ${want[*]}" | cmp -s - "$dir/command" ||
    problems+=("the page ran $(cat "$dir/command")")
  "$impactsim" run "${want[@]}" >"$dir/runner_log" 2>/dev/null || problems+=("the runner failed")
  cmp -s "$dir/runner_log" "$dir/log" || problems+=("the log differs from the runner's")
  # The counters: the last round (the runner's last "N : changes" line) and
  # its last turn, one per cell (halvorn 40 x 40, kestane 20 x 20).
  cells=$([ "$program" = halvorn ] && echo 1600 || echo 400)
  rounds=$(grep -o '^[0-9]* : [0-9]' "$dir/runner_log" | tail -1 | cut -d' ' -f1)
  echo "$rounds $cells" | cmp -s - "$dir/counters" ||
    problems+=("the counters show $(cat "$dir/counters"), not $rounds $cells")
  "$impactsim" run "${want[@]}" --map-png "$dir/map.png" --chart-png "$dir/chart.png" \
    >/dev/null 2>&1 || problems+=("the runner made no pictures")
  for picture in map chart; do
    node "$source/tests/web_engine_run.js" --ppm-of "$dir/$picture.png" "$dir/${picture}_want.ppm" &&
      cmp -s "$dir/${picture}_want.ppm" "$dir/$picture.ppm" ||
      problems+=("the page's $picture differs from the runner's")
  done
  { cat "$dir/runner_log"
    python3 -c 'import json, sys; print("\n".join(json.load(open(sys.argv[1]))["help"]))' \
      "$build/site/$program.json"; } >"$dir/want_help"
  cmp -s "$dir/want_help" "$dir/log_help" || problems+=("help did not append the help text")
  [ "$(cat "$dir/after_end")" = "" ] || problems+=("End left $(cat "$dir/after_end")")
  # "want NAME l t w h" followed by the page's "NAME l t w h".
  moved=$(paste -d' ' - - <"$dir/rects" | awk '$2 != $7 || $3 != $8 || $4 != $9 || $5 != $10 || $6 != $11 { printf "%s ", $2 }')
  [ -z "$moved" ] || problems+=("controls not at the window's rectangles: $moved")
  if [ ${#problems[@]} -gt 0 ]; then
    echo "FAIL $name: $(IFS=';'; echo "${problems[*]}") [in $dir]"
    failed=1
  else
    echo "ok   $name (screenshot: $dir/page.png; run $(cat "$dir/run_ms") ms;" \
      "$(tr '\n' ';' <"$dir/paint"))"
  fi
done
exit "$failed"
