#!/usr/bin/env bash
# "pip install --no-build-isolation" of the source tree into a fresh virtual
# environment that sees the system's NumPy and pandas, offline: from outside
# the tree the package imports with the project's version, its "impactsim"
# command makes the built runner's run byte for byte and ends with its
# status, and "pip uninstall" takes it all away again.
#
#   pip_check.sh PYTHON SOURCE_DIR WORK_DIR BUILT_IMPACTSIM VERSION
set -euo pipefail

python=$1
source_dir=$2
work=$3
built=$(realpath "$4")
version=$5
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "pip_check: $*" >&2
  exit 1
}

"$python" -m venv --system-site-packages venv >venv.log 2>&1 ||
  fail "$python -m venv failed: $(tail -n 5 venv.log)"
venv=$work/venv
export PIP_NO_INDEX=1 PIP_DISABLE_PIP_VERSION_CHECK=1 PYTHONDONTWRITEBYTECODE=1
IMPACTSIM_PIP_BUILD_DIR=$work/build "$venv/bin/pip" install --no-build-isolation \
  "$source_dir" >pip.log 2>&1 || fail "pip install failed: $(tail -n 30 pip.log)"

site=$("$venv/bin/python" -c 'import sysconfig; print(sysconfig.get_paths()["platlib"])')
said=$("$venv/bin/python" -c \
  'import importlib.metadata as m, impactsim; print(impactsim.__version__, m.version("impactsim"), impactsim.__file__)')
[ "$said" = "$version $version $site/impactsim/__init__.py" ] ||
  fail "the installed package says: $said"

for args in "run --seed 1" "run --program kestane --seed 12345000 --rounds 3" "--version" \
  "run --seed 86400000"; do
  status=0 expected=0
  # shellcheck disable=SC2086
  "$built" $args >expected.out 2>expected.err || expected=$?
  # shellcheck disable=SC2086
  "$venv/bin/impactsim" $args >out 2>err || status=$?
  [ "$status" = "$expected" ] || fail "impactsim $args: status $status, the runner's $expected"
  cmp -s expected.out out || fail "impactsim $args: stdout differs from the runner's"
  cmp -s expected.err err || fail "impactsim $args: stderr differs from the runner's: $(cat err)"
done

"$venv/bin/pip" uninstall -y impactsim >uninstall.log 2>&1 || fail "pip uninstall failed"
[ ! -e "$site/impactsim" ] && [ ! -e "$venv/bin/impactsim" ] ||
  fail "pip uninstall left files: $(ls "$site/impactsim" "$venv/bin/impactsim" 2>&1)"
echo "pip_check: installed, run and removed"
