#!/usr/bin/env bash
# Configures and builds Tonvera in ./build (incremental; ccache when present). Used by run.sh and test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${TONVERA_BUILD_DIR:-build}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVERA_WERROR=ON "$@"
else
  cmake "$BUILD_DIR" "$@" >/dev/null
fi
cmake --build "$BUILD_DIR" -j"${TONVERA_JOBS:-2}"
