#!/usr/bin/env bash
# Builds the Debian package of Tonvera (tonvera_<version>_<arch>.deb) in build-package/ with CPack,
# checks what it holds (tests/package/check_package.sh) and runs lintian on it when installed.
# The build takes its time stamps from SOURCE_DATE_EPOCH (default: the newest commit's time), so
# two runs on one commit give the same bytes.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
BUILD_DIR=${TONVERA_PACKAGE_DIR:-build-package}
SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}
export SOURCE_DATE_EPOCH
# The folder names leave the objects (their debug information, and through it the build ids that
# stay in the stripped programs), and ccache keeps the paths as the compiler is given them (its
# base_dir would make them relative): a fresh build and one from ccache, here or in another
# checkout, give the very same bytes.
map="-ffile-prefix-map=$PWD=."
export CCACHE_BASEDIR=""
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVERA_WERROR=ON \
  -DCMAKE_C_FLAGS="$map" -DCMAKE_CXX_FLAGS="$map" \
  -DCMAKE_INSTALL_PREFIX=/usr -DTONVERA_BUILD_TESTS=OFF -DTONVERA_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${TONVERA_JOBS:-2}"
rm -f "$BUILD_DIR"/tonvera_*.deb
(cd "$BUILD_DIR" && cpack -G DEB >/dev/null)
deb=$(ls "$BUILD_DIR"/tonvera_*.deb)
tests/package/check_package.sh "$deb"
if command -v lintian >/dev/null; then
  lintian --info "$deb" || true
fi
ls -l "$deb"
sha256sum "$deb"
