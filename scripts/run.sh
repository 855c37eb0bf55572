#!/usr/bin/env bash
# Installs what is missing, builds, and runs Tonvera.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
BUILD_DIR=${TONVERA_BUILD_DIR:-build}
exec "$BUILD_DIR/tools/tonvera-cli" --help
