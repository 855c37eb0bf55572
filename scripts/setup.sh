#!/usr/bin/env bash
# Installs every Debian package Tonvera needs to build, test and run.
# Idempotent: packages already present are not touched and apt-get update runs at most once.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config git python3 python3-numpy
  clang llvm libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools libqt6opengl6-dev qt6-image-formats-plugins libgl-dev qt6-svg-dev
  qt6-l10n-tools
  fonts-wqy-microhei
  libcurl4-openssl-dev ca-certificates curl
  libplist-dev libplist-utils
  libicu-dev
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev ffmpeg lame
  libpulse-dev libasound2-dev
  libtag1-dev
  libcpp-httplib-dev
  xvfb xdotool imagemagick x11-utils time xcompmgr
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  nlohmann-json3-dev rapidjson-dev
  wrk
  dbus appstream desktop-file-utils trayer lintian
  weston qt6-wayland
  gcovr
  playerctl pulseaudio pulseaudio-utils dbus-x11
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "setup: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
