#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test with CTest. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
BUILD_DIR=${TONVERA_BUILD_DIR:-build}
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"${TONVERA_JOBS:-2}" --timeout 300
