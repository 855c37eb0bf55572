#!/usr/bin/env bash
# Start-up figure of the window application: milliseconds from launching `tonvera` to the first
# paint of its window, under Xvfb, over several launches (min / median / max). The goal is 300 ms.
# The radio starts as usual but finds no service (a closed port), and the usage reporter runs in a
# temporary home; a session bus is started when there is none.
#
#   bench/app/startup.sh [RUNS]     (default 10; build first with scripts/build.sh)
set -euo pipefail
# A desktop session has a session bus; without one Qt's X11 support starts a bus of its own at every
# launch, which is not part of the program's start-up.
if [ -z "${DBUS_SESSION_BUS_ADDRESS:-}" ] && command -v dbus-run-session >/dev/null; then
  exec dbus-run-session -- "$0" "$@"
fi
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
# Wall-clock time to the first paint, and the processor time the program used until then (it quits
# right after), which says how much of the wait is ours on a loaded machine.
times=() cpu=()
for _ in $(seq 1 "$RUNS"); do
  start=$(date +%s%N)
  shown=$(/usr/bin/time -f "cpu %U %S" -o "$WORK/cpu" "$APP" 2>/dev/null | sed -n 's/^shown //p')
  times+=($(( (shown - start) / 1000000 )))
  cpu+=($(awk '/^cpu/ { printf "%d", ($2 + $3) * 1000 }' "$WORK/cpu"))
done
median() { local s=($(printf '%s\n' "$@" | sort -n)); echo "min ${s[0]} ms, median ${s[$(($# / 2))]} ms, max ${s[$(($# - 1))]} ms"; }
echo "start-up to first paint over $RUNS launches: $(median "${times[@]}")"
echo "processor time until then:                $(median "${cpu[@]}")"
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) processors"
