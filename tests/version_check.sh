#!/usr/bin/env bash
# One version everywhere: the runner's --version, the description a sweep
# writes beside its file, and the Python module's __version__ must all say
# the build's project version.
#
#   version_check.sh VERSION IMPACTSIM WORK_DIR [PYTHON PYTHONPATH]
set -euo pipefail

version=$1
impactsim=$2
work=$3
python=${4:-}
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "version_check: $*" >&2
  exit 1
}

[[ $version =~ ^[0-9]+\.[0-9]+\.[0-9]+$ ]] || fail "the project version \"$version\" is not x.y.z"

said=$("$impactsim" --version) || fail "impactsim --version failed"
[ "$said" = "impactsim $version" ] || fail "impactsim --version said \"$said\""
# The flag is listed in the help, which the manual page is made from too.
"$impactsim" --help | grep -q -- '--version' || fail "--version is not in impactsim --help"

"$impactsim" sweep --seeds 1 --rounds 1 --quiet --out rows.csv
recorded=$(sed -n 's/.*"version": *"\([^"]*\)".*/\1/p' rows.csv.meta.json | head -n 1)
[ "$recorded" = "$version" ] || fail "rows.csv.meta.json records version \"$recorded\""

if [ -n "$python" ]; then
  module=$(PYTHONPATH=$5 "$python" -c 'import impactsim; print(impactsim.__version__)')
  [ "$module" = "$version" ] || fail "impactsim.__version__ is \"$module\""
fi
echo "version $version everywhere"
