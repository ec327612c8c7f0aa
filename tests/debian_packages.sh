#!/usr/bin/env bash
# The Debian packages: a build configured for /usr, "cpack -G DEB", five
# packages that lintian passes without a tag; installed into this machine
# with apt-get, each program runs from /usr (the runner makes the build's run
# and map, the windows open under Qt's offscreen platform, the module imports
# with Debian's python3), and purged, they leave nothing behind. Skipped (77)
# only where packages cannot be installed: not root and no sudo, or one of
# them installed already (not this test's to remove).
#
#   debian_packages.sh SOURCE_DIR WORK_DIR PYTHON VERSION
set -euo pipefail

source_dir=$1
work=$2
python=$3
version=$4
here=$(dirname "$(realpath "$0")")
packages=(halvorn kestane impactsim impactsim-pictures python3-impactsim)

fail() {
  echo "debian_packages: $*" >&2
  exit 1
}
skip() {
  echo "debian_packages: skipped: $*" >&2
  exit 77
}
# shellcheck source=tests/e2e/waiting.sh
. "$here/e2e/waiting.sh"

sudo=()
if [ "$(id -u)" -ne 0 ]; then
  sudo -n true 2>/dev/null || skip "installing packages needs root or sudo without a password"
  sudo=(sudo -n)
fi
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed"; then
    skip "$package is installed already"
  fi
done
for tool in cpack dpkg-shlibdeps lintian apt-get; do
  command -v "$tool" >/dev/null || fail "$tool is not installed"
done

rm -rf "$work"
mkdir -p "$work"
cd "$work"
cmake -S "$source_dir" -B build -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr -DIMPACTSIM_DEBIAN_PACKAGES=ON -DIMPACTSIM_PYTHON="$python" \
  >build.log 2>&1 || fail "configure failed: $(tail -n 20 build.log)"
cmake --build build --parallel "$(nproc)" >>build.log 2>&1 ||
  fail "build failed: $(tail -n 30 build.log)"
(cd build && cpack -G DEB) >cpack.log 2>&1 || fail "cpack failed: $(tail -n 30 cpack.log)"

debs=()
for package in "${packages[@]}"; do
  deb=build/${package}_${version}_$(dpkg --print-architecture).deb
  [ -s "$deb" ] || fail "no $deb"
  debs+=("$deb")
done
lintian --tag-display-limit 0 "${debs[@]}" >lintian.log 2>&1 || true
grep -v 'running with root privileges' lintian.log >tags.log || true
[ ! -s tags.log ] || fail "lintian: $(cat tags.log)"
dpkg-deb -f build/impactsim_*.deb Depends | grep -q -i qt &&
  fail "the runner's package depends on Qt: $(dpkg-deb -f build/impactsim_*.deb Depends)"

built=build/bin/impactsim
"$built" run --seed 1 >expected.log 2>/dev/null
"$built" run --seed 1 --rounds 5 --map-png expected.png 2>/dev/null

# From here on the packages are installed: purged again however the test ends.
purge() { "${sudo[@]}" apt-get purge -y -qq "${packages[@]}" >"$work/purge.log" 2>&1; }
trap 'purge || true' EXIT
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${debs[@]/#/./}" >apt.log 2>&1 ||
  fail "apt-get install failed: $(tail -n 20 apt.log)"

cd /
/usr/bin/impactsim run --seed 1 >"$work/run.log" 2>/dev/null || fail "the installed runner failed"
cmp -s "$work/expected.log" "$work/run.log" || fail "the installed runner's run differs"
/usr/bin/impactsim run --seed 1 --rounds 5 --map-png "$work/map.png" 2>"$work/map.err" ||
  fail "the installed runner made no map: $(cat "$work/map.err")"
cmp -s "$work/expected.png" "$work/map.png" || fail "the installed runner's map differs"
for program in halvorn kestane; do
  QT_QPA_PLATFORM=offscreen "/usr/bin/$program" >"$work/$program.out" 2>"$work/$program.err" &
  app_pid=$! app_log=$work/$program.err
  wait_for 120 "$program never came to wait for input in its window" idle "$app_pid"
  kill "$app_pid"
  wait "$app_pid" 2>/dev/null || true
  app_pid=""
done
said=$(env -u PYTHONPATH PYTHONDONTWRITEBYTECODE=1 "$python" -c \
  'import impactsim; print(impactsim.__version__, impactsim.__file__)')
[ "$said" = "$version /usr/lib/python3/dist-packages/impactsim/__init__.py" ] ||
  fail "the installed module says: $said"

purge || fail "apt-get purge failed: $(tail -n 20 "$work/purge.log")"
trap - EXIT
for package in "${packages[@]}"; do
  ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "installed" ||
    fail "$package is still installed"
done
left=$(ls -d /usr/bin/halvorn /usr/bin/kestane /usr/bin/impactsim /usr/lib/*/impactsim \
  /usr/lib/python3/dist-packages/impactsim /usr/share/doc/impactsim 2>/dev/null || true)
[ -z "$left" ] || fail "purged, the packages left: $left"
echo "debian_packages: ${#debs[@]} packages built, passed by lintian, installed, run and purged"
