#!/usr/bin/env bash
# Configures, builds and tests the project as a machine without Qt or
# pybind11 would: the windows and the Python module off, and CMake told that
# neither package can be found, so that any part of the engine, the runner or
# their tests that still reached for them fails here. Qt's headers are not on
# the compiler's default path, so an include of one fails the build too.
#
#   headless_build.sh SOURCE_DIR BUILD_DIR MAKE_PROGRAM
set -euo pipefail
source="$1" build="$2" make="$3"

rm -rf "$build"
cmake -S "$source" -B "$build" -G Ninja -DCMAKE_MAKE_PROGRAM="$make" \
  -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DBUILD_TESTING=ON -DIMPACTSIM_WERROR=ON \
  -DIMPACTSIM_BUILD_GUI=OFF -DIMPACTSIM_BUILD_PYTHON=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DCMAKE_DISABLE_FIND_PACKAGE_pybind11=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_Python3=ON >"$build.configure.log" 2>&1 ||
  { cat "$build.configure.log"; exit 1; }
cmake --build "$build" >"$build.build.log" 2>&1 || { tail -50 "$build.build.log"; exit 1; }

for gui in halvorn kestane impactsim-pictures.so; do
  if [ -e "$build/bin/$gui" ]; then
    echo "a build without the windows made $gui"
    exit 1
  fi
done
ctest --test-dir "$build" -L unit --output-on-failure
