#!/usr/bin/env bash
# Regenerates every golden screenshot (the window's GUI tests run with TONVERA_UPDATE_GOLDEN=1) and
# the README's picture of the window playing (docs/window.png: the window under Xvfb at scale 2,
# playing the bundled station's demo library). Look at every picture that changed before committing.
#
#   TONVERA_GOLDEN_PORT  the station's port for the picture (default 7659)
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
BUILD_DIR=${TONVERA_BUILD_DIR:-build}

# 1. The golden screenshots: every GUI test, writing its pictures instead of comparing.
TONVERA_UPDATE_GOLDEN=1 ctest --test-dir "$BUILD_DIR" -L gui --output-on-failure -j2
git status --short tests/golden

# 2. The window playing.
PORT=${TONVERA_GOLDEN_PORT:-7659}
WORK=$(mktemp -d)
STATION_PID="" XVFB_PID="" APP_PID=""
cleanup() {
  for pid in "$APP_PID" "$STATION_PID" "$XVFB_PID"; do
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -TERM "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; fi
  done
  rm -rf "$WORK"
}
trap cleanup EXIT

# The station keeps its demo library in the usual place, so it is generated only once.
"$BUILD_DIR/station/tonvera-station" --port "$PORT" --data "${XDG_DATA_HOME:-$HOME/.local/share}/tonvera-station" \
  >"$WORK/station.log" 2>&1 &
STATION_PID=$!
for _ in $(seq 1 600); do
  curl -sf -m 2 -o /dev/null "http://127.0.0.1:$PORT/radios/selected.json" && break
  sleep 0.2
done

# A display of our own: Xvfb picks a free number and reports it.
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$WORK/display")"
xdotool mousemove 1270 710  # the pointer away from the window: nothing hovered

# A fresh home, so the picture shows the default channel with no settings of yours.
# In the program's own language, whatever the locale of this shell.
LANGUAGE= LC_ALL= LC_MESSAGES= LANG=zh_CN.UTF-8 \
HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share" \
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=2 TONVERA_SERVICE_URL="http://127.0.0.1:$PORT" \
  TONVERA_AUDIO_SINK=null:realtime "$BUILD_DIR/src/app/ui/tonvera" >"$WORK/app.log" 2>&1 &
APP_PID=$!

# Wait for the channel (the title names it), then for the first track to be shown.
WIN=""
for _ in $(seq 1 300); do
  WIN=$(xdotool search --name "Tonvera音乐播放器--" 2>/dev/null | head -n1 || true)
  [ -n "$WIN" ] && break
  sleep 0.1
done
[ -n "$WIN" ] || { echo "golden.sh: the window did not show a channel" >&2; cat "$WORK/app.log" >&2; exit 1; }
sleep 4
mkdir -p docs
import -window "$WIN" docs/window.png
echo "golden.sh: wrote docs/window.png"
