# Shared by scripts/run and scripts/test: installs what is missing from
# Debian's packages, then configures and builds.

set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

# Packages the build, the tests and the benchmarks need: the toolchain, the
# test and benchmark libraries, the command-line parser, Qt 6 for the windows,
# the fonts the windows name (IPA Gothic for the Japanese faces, Liberation
# for the Western ones), and for the end-to-end test of the real programs a
# virtual X server, a window manager (openbox), the X utilities that tell
# where a window and its frame stand (and cover it with another one), a
# clock held still (faketime, which seeds the programs' runs), pointer and
# keyboard events, screenshots and the clipboard; Highway for the impact
# kernels on every instruction set; JSON for the sweep's rows, OpenSSL's
# libcrypto for the SHA-256 of a sweep's file, GNU parallel for its sharded
# test, groff for the manual pages' check, desktop-file-utils and librsvg2-bin
# for the check of the desktop entries and icons, Slurm with MUNGE (its
# authentication daemon) for the job-array test, which starts its own
# one-node cluster, and for the Python module pybind11, Python's headers,
# NumPy, pandas, matplotlib and pytest (all Debian's, for /usr/bin/python3),
# with venv, pip, setuptools and wheel for the check of "pip install .", and
# dpkg-dev (dpkg-shlibdeps) and lintian for the Debian packages' check, and
# Emscripten (which brings Node) for the web edition's engine and its check
# (about 110 MB to fetch, 820 MB installed: its C++ library comes built),
# and chromium for the web pages' check in a headless browser.
PACKAGES=(
  g++ cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev nlohmann-json3-dev libssl-dev parallel
  libhwy-dev groff-base desktop-file-utils librsvg2-bin
  clang-format
  qt6-base-dev fonts-ipafont-gothic fonts-liberation2
  xvfb xauth xdotool imagemagick xclip openbox x11-utils faketime
  slurm-wlm munge
  pybind11-dev python3-dev python3-numpy python3-pandas python3-matplotlib python3-pytest
  python3-venv python3-pip python3-setuptools python3-wheel
  dpkg-dev lintian
  emscripten chromium
)

log() { printf '%s\n' "$*" >&2; }

ensure_packages() {
  local missing=() pkg
  for pkg in "${PACKAGES[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
      missing+=("$pkg")
    fi
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  log "Installing missing packages: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >&2
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# configure_and_build PRESET [cmake options...]: a configuration of
# CMakePresets.json (release in build/, sanitize in build-sanitize/).
configure_and_build() {
  local preset="$1"
  shift
  (cd "$ROOT" && cmake --preset "$preset" "$@" >&2 && cmake --build --preset "$preset" --parallel "$JOBS" >&2)
}
