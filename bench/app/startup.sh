#!/usr/bin/env bash
# Start-up figure of the window application: milliseconds from launching `tonvera` to the first
# paint of its window, under Xvfb, over several launches (min / median / max). The goal is 300 ms.
# The radio starts as usual but finds no service (a closed port), and the usage reporter runs in a
# temporary home.
#
#   bench/app/startup.sh [RUNS]     (default 10; build first with scripts/build.sh)
set -euo pipefail
cd "$(dirname "$0")/../.."
RUNS=${1:-10}
APP=${TONVERA_BUILD_DIR:-build}/src/app/ui/tonvera
WORK=$(mktemp -d)
XVFB_PID=""
cleanup() {
  if [ -n "$XVFB_PID" ]; then kill -TERM "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT
exec 3>"$WORK/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
XVFB_PID=$!
for _ in $(seq 1 100); do [ -s "$WORK/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$WORK/display")"
mkdir -p "$WORK/home/tmp"
export HOME="$WORK/home" XDG_CONFIG_HOME="$WORK/home/.config" XDG_DATA_HOME="$WORK/home/.local/share"
export QT_QPA_PLATFORM=xcb TONVERA_SERVICE_URL=http://127.0.0.1:9 TONVERA_AUDIO_SINK=null TONVERA_STARTUP_PROBE=1

# One launch first, so the program's files are in the page cache like on a desktop.
"$APP" >/dev/null 2>&1 || true
times=()
for _ in $(seq 1 "$RUNS"); do
  start=$(date +%s%N)
  shown=$("$APP" 2>/dev/null | sed -n 's/^shown //p')
  times+=($(( (shown - start) / 1000000 )))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
n=${#sorted[@]}
echo "start-up to first paint over $n launches: min ${sorted[0]} ms, median ${sorted[$((n / 2))]} ms, max ${sorted[$((n - 1))]} ms"
