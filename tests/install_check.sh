#!/usr/bin/env bash
# "cmake --install" into a prefix, the tree then moved elsewhere: every
# program runs from its new place. The runner makes the build's run and,
# with the picture part from the tree's library directory (none beside it),
# the build's map; each window program opens its window under Qt's offscreen
# platform and comes to wait for input; the Python package imports with the
# build's version; the documentation is there.
#
#   install_check.sh BUILD_DIR WORK_DIR BUILT_IMPACTSIM VERSION [PYTHON]
set -euo pipefail

build=$1
work=$2
built=$3
version=$4
python=${5:-}
here=$(dirname "$(realpath "$0")")
rm -rf "$work"
mkdir -p "$work"
cd "$work"

fail() {
  echo "install_check: $*" >&2
  exit 1
}
# shellcheck source=tests/e2e/waiting.sh
. "$here/e2e/waiting.sh"

cmake --install "$build" --prefix "$work/staged" >install.log || fail "cmake --install failed: $(tail -n 20 install.log)"
mv staged moved
tree=$work/moved
[ ! -e staged ] || fail "the staged tree was not moved"

bin=$tree/bin
[ -x "$bin/impactsim" ] || fail "no bin/impactsim in the installed tree"
[ ! -e "$bin/impactsim-pictures.so" ] || fail "the picture part is installed beside the runner"
part=$(find "$tree" -name impactsim-pictures.so)
[[ $part == "$tree"/lib*/impactsim/impactsim-pictures.so ]] ||
  fail "the picture part is not in the library directory: ${part:-nowhere}"

"$built" run --seed 1 >expected.log 2>expected.err
"$bin/impactsim" run --seed 1 >run.log 2>run.err || fail "the installed runner failed: $(cat run.err)"
cmp -s expected.log run.log || fail "the installed runner's run differs from the build's"
[ "$("$bin/impactsim" --version)" = "impactsim $version" ] || fail "the installed runner's --version"

"$built" run --seed 1 --rounds 5 --map-png expected.png 2>/dev/null
"$bin/impactsim" run --seed 1 --rounds 5 --map-png map.png 2>map.err ||
  fail "the installed runner made no map: $(cat map.err)"
cmp -s expected.png map.png || fail "the installed runner's map differs from the build's"

for program in halvorn kestane; do
  [ -x "$bin/$program" ] || fail "no bin/$program in the installed tree"
  QT_QPA_PLATFORM=offscreen "$bin/$program" >"$program.out" 2>"$program.err" &
  app_pid=$! app_log=$program.err
  wait_for 120 "$program never came to wait for input in its window" idle "$app_pid"
  kill "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
done

for doc in doc/impactsim/README.md doc/impactsim/CHANGELOG.md doc/impactsim/model.md \
  man/man1/impactsim.1.gz man/man1/halvorn.1.gz man/man1/kestane.1.gz \
  applications/halvorn.desktop applications/kestane.desktop \
  icons/hicolor/scalable/apps/halvorn.svg icons/hicolor/48x48/apps/halvorn.png \
  icons/hicolor/256x256/apps/kestane.png; do
  [ -s "$tree/share/$doc" ] || fail "share/$doc is not installed"
done

if [ -n "$python" ]; then
  package=$(find "$tree" -path '*/impactsim/__init__.py' -printf '%h\n')
  [ -n "$package" ] || fail "the Python package is not installed"
  said=$(cd / && PYTHONPATH=$(dirname "$package") PYTHONDONTWRITEBYTECODE=1 "$python" -c \
    'import impactsim; print(impactsim.__version__, impactsim.__file__)')
  [ "$said" = "$version $package/__init__.py" ] || fail "the installed package says: $said"
fi
echo "install_check: the moved tree runs"
