#!/usr/bin/env bash
# The README's "Studying the models" examples, run as written, must print
# what the README shows: each command of a shell block is followed by its
# output as "# " lines, or by a plain block holding it.
#
#   readme_study.sh IMPACTSIM README WORK_DIR
set -euo pipefail

impactsim=$(realpath "$1")
readme=$(realpath "$2")
work=$3
rm -rf "$work"
mkdir -p "$work"
cd "$work"
export PATH="$(dirname "$impactsim"):$PATH"

fail() {
  echo "readme_study: $*" >&2
  exit 1
}

# The section, then its blocks in order, each as a file: sh.N or out.N.
awk '/^### Studying the models/ { on = 1; next } on && /^##/ { exit } on' "$readme" >section
[ -s section ] || fail "no section \"Studying the models\" in $readme"
awk 'BEGIN { n = 0 }
  /^```/ { if (kind) { kind = ""; next } kind = ($0 == "```sh") ? "sh" : "out"; n++; next }
  kind { print > (kind "." n) }' section

checked=0
# Runs one command and compares what it prints with what the README shows.
check() {
  local command=$1 expected=$2 got
  got=$(bash -c "set -o pipefail; $command") || fail "failed: $command"
  [ "$got" = "$expected" ] || fail "$(printf 'the README shows\n%s\nbut this printed\n%s\nfor: %s' \
    "$expected" "$got" "$command")"
  checked=$((checked + 1))
}

for block in $(ls sh.* | sort -t. -k2,2n); do
  n=${block#sh.}
  command='' expected=''
  while IFS= read -r line || [ -n "$line" ]; do
    if [[ $line == "# "* ]]; then
      expected+="${expected:+$'\n'}${line#\# }"
    else
      if [ -n "$expected" ]; then
        check "$command" "$expected"
        command='' expected=''
      fi
      command+="$line"$'\n'
    fi
  done <"$block"
  if [ -n "$expected" ]; then
    check "$command" "$expected"
  elif [ -f "out.$((n + 1))" ]; then
    check "$command" "$(cat "out.$((n + 1))")"
  else
    bash -c "$command" >/dev/null || fail "failed: $command"
  fi
done
[ "$checked" -ge 4 ] || fail "only $checked outputs checked; the section's examples were not found"
echo "readme_study: $checked outputs as the README shows them"
