#!/usr/bin/env bash
# The manual pages render under groff without a warning, and impactsim(1)
# says what "impactsim --help" says: every option of every command, with its
# value and its text, and the text of every command.
#
#   manual_check.sh IMPACTSIM MAN_DIR [PAGE...]   (the window programs' pages)
set -euo pipefail

impactsim=$1
man_dir=$2
shift 2

fail() {
  echo "manual_check: $*" >&2
  exit 1
}
command -v groff >/dev/null || fail "groff is not installed"

for page in impactsim "$@"; do
  file=$man_dir/$page.1
  [ -s "$file" ] || fail "$file is missing"
  warnings=$(groff -ww -z -man -Tutf8 "$file" 2>&1) || fail "groff failed on $page.1: $warnings"
  [ -z "$warnings" ] || fail "groff warns on $page.1: $warnings"
done

# The page as plain text, a paragraph on one line, spaces squeezed and
# minus signs as the help's hyphens.
flat() { tr -s ' ' | sed 's/\xe2\x88\x92/-/g; s/\xe2\x80\x90/-/g; s/^ //'; }
page=$(groff -man -Tutf8 -rLL=4000n -P-c -P-b -P-u -P-o "$man_dir/impactsim.1" | flat)
help=$("$impactsim" --help | flat)

checked=0
while IFS= read -r line; do
  # "--seed MS the time of day ...": names and value, then the text.
  if [[ $line =~ ^(-[^ ]+)(\ (\[[A-Z]+\]|[A-Z][A-Z0-9,./]*))?\ (.*)$ ]]; then
    tag=${BASH_REMATCH[1]}${BASH_REMATCH[2]}
    text=${BASH_REMATCH[4]}
    # A tag narrower than the indent has its text on its own line.
    awk -v t="$tag" '$0 == t || index($0, t " ") == 1 { found = 1 } END { exit !found }' \
      <<<"$page" || fail "the page lacks the option \"$tag\""
    grep -qF -- "$text" <<<"$page" || fail "the page lacks the text of \"$tag\": $text"
    checked=$((checked + 1))
  fi
done <<<"$help"
[ "$checked" -ge 40 ] || fail "only $checked options read from --help"
for command in run sweep verify; do
  text=$(grep -A1 -x "$command" <<<"$help" | tail -n 1)
  grep -qxF -- "$text" <<<"$page" || fail "the page lacks the text of $command: $text"
done
echo "manual_check: $checked options"
