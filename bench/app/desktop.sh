#!/usr/bin/env bash
# Figures of the program's desktop parts, under Xvfb with a session bus of its own:
# 1. memory: the resident size (VmRSS, kB) of `tonvera` a few seconds after start, without the
#    session-bus parts (SPIgnoreMediaKeys: no MPRIS name) and without a tray, with MPRIS, and with
#    MPRIS and the tray icon (a tray host, trayer, running on the display). Median of RUNS starts.
# 2. a second launch: how long it takes to hand over to the running window and exit, its exit
#    status and what it prints, and whether the first one is still the only one.
# The radio finds no service (a closed port), so playback does not move the figures.
#
#   bench/app/desktop.sh [RUNS]     (default 5; build first with scripts/build.sh)
#   TONVERA_XVFB_DISPLAY=N          the Xvfb display number to use (default: the first free one)
set -euo pipefail
if [ -z "${TONVERA_DESKTOP_BUS:-}" ]; then
  export TONVERA_DESKTOP_BUS=1
  exec dbus-run-session -- "$0" "$@"
fi
cd "$(dirname "$0")/../.."
RUNS=${1:-5}
APP=$PWD/${TONVERA_BUILD_DIR:-build}/src/app/ui/tonvera
WORK=$(mktemp -d)
XVFB_PID="" TRAY_PID="" APP_PID=""
stop() { if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then kill -TERM "$1" 2>/dev/null || true; wait "$1" 2>/dev/null || true; fi; }
cleanup() {
  stop "$APP_PID"; stop "$TRAY_PID"; stop "$XVFB_PID"
  rm -rf "$WORK"
}
trap cleanup EXIT
# A display of our own: the number given in TONVERA_XVFB_DISPLAY, else the first free one.
if [ -n "${TONVERA_XVFB_DISPLAY:-}" ]; then
  Xvfb ":$TONVERA_XVFB_DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  export DISPLAY=":$TONVERA_XVFB_DISPLAY"
  for _ in $(seq 1 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
else
  exec 3>"$WORK/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$WORK/display")"
fi
export QT_QPA_PLATFORM=xcb TONVERA_SERVICE_URL=http://127.0.0.1:9 TONVERA_AUDIO_SINK=null

# A fresh home per start; `ignore` true turns the session-bus parts off.
fresh_home() {
  rm -rf "$WORK/home"
  mkdir -p "$WORK/home/.config/tonvera" "$WORK/home/tmp"
  export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
  cat >"$WORK/home/.config/tonvera/defaults.plist" <<EOF
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>SPIgnoreMediaKeys</key><$1/></dict></plist>
EOF
}

# Starts the program, waits for its window, gives it SETTLE seconds, prints its VmRSS.
rss_once() {
  "$APP" >"$WORK/app.log" 2>&1 &
  APP_PID=$!
  for _ in $(seq 1 300); do xdotool search --name "Tonvera" >/dev/null 2>&1 && break; sleep 0.1; done
  sleep "${SETTLE:-3}"
  awk '/^VmRSS/ { print $2 }' "/proc/$APP_PID/status"
  stop "$APP_PID"; APP_PID=""
}
median() { printf '%s\n' "$@" | sort -n | sed -n "$(( ($# + 1) / 2 ))p"; }
measure() {  # label, ignore-media-keys
  local values=()
  for _ in $(seq 1 "$RUNS"); do fresh_home "$2"; values+=("$(rss_once)"); done
  printf '%-34s median %6d kB   (%s)\n' "$1" "$(median "${values[@]}")" "${values[*]}"
}

echo "resident size a few seconds after start, $RUNS starts each:"
measure "no MPRIS, no tray" true
measure "MPRIS, no tray" false
trayer --expand false --widthtype request --edge top >/dev/null 2>&1 &
TRAY_PID=$!
sleep 1
measure "MPRIS and tray icon" false

echo
echo "a second launch while one runs:"
fresh_home false
"$APP" >"$WORK/first.log" 2>&1 &
APP_PID=$!
for _ in $(seq 1 300); do xdotool search --name "Tonvera" >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1
start=$(date +%s%N)
set +e
"$APP" >"$WORK/second.log" 2>&1
status=$?
set -e
end=$(date +%s%N)
echo "  the second exits with status $status after $(( (end - start) / 1000000 )) ms, saying: $(cat "$WORK/second.log")"
echo "  the first is still running: $(kill -0 "$APP_PID" 2>/dev/null && echo yes || echo no)"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
