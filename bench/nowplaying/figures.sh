#!/usr/bin/env bash
# CPU and memory of the now-playing page under Xvfb, each beside the terminal radio (tonvera-cli
# radio) in the same run, both playing from the bundled station to the null sink (real time):
#   visible      the page shown and playing
#   hidden       the window hidden after 5 s (playback goes on)
#   transitions  the cover changing every second through the animated transitions
#   lyrics       the desktop lyrics shown and the window hidden after 5 s (in the tray)
#   lyrics-visible  the desktop lyrics shown beside the page
# Each phase warms up for WARMUP seconds, then measures for SECONDS (default 60): CPU as a share of
# one core (user + system time of the process over wall time) and the peak resident set (VmHWM).
# On a shared machine the CPU time of the process is what counts (not wall time); REPEATS=N runs
# each phase N times, one line each, to show the spread. PHASES="hidden" (a list) runs only those.
# The wake-ups behind the CPU figure, thread by thread: bench/nowplaying/wakeups.sh.
#
# Usage: bench/nowplaying/figures.sh [DISPLAY_NUMBER] [STATION_PORT]
# STATION_DATA=folder reuses a station folder (the demo library is generated once, about a minute).
# Needs: build/bench/nowplaying/nowplaying_host, build/tools/cli/tonvera-cli (or build/tools/tonvera-cli),
# build/station/tonvera-station, Xvfb.
set -euo pipefail
cd "$(dirname "$0")/../.."
DISPLAY_NUMBER=${1:-72}
PORT=${2:-7672}
SECONDS_MEASURED=${SECONDS_MEASURED:-60}
WARMUP=${WARMUP:-10}
REPEATS=${REPEATS:-1}
BUILD=${TONVERA_BUILD_DIR:-build}
HOST=$BUILD/bench/nowplaying/nowplaying_host
CLI=$BUILD/tools/tonvera-cli
[ -x "$CLI" ] || CLI=$BUILD/tools/cli/tonvera-cli
STATION=$BUILD/station/tonvera-station
WORK=$(mktemp -d /tmp/nowplaying-figures.XXXXXX)
TICKS=$(getconf CLK_TCK)
PIDS=()

cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

Xvfb ":$DISPLAY_NUMBER" -screen 0 1024x768x24 >/dev/null 2>&1 &
PIDS+=($!)
"$STATION" --port "$PORT" --data "${STATION_DATA:-$WORK/station}" >"$WORK/station.log" 2>&1 &
PIDS+=($!)
for _ in $(seq 1 300); do
  curl -sf "http://127.0.0.1:$PORT/radios/selected.json" >/dev/null 2>&1 && break
  sleep 0.5
done

export DISPLAY=":$DISPLAY_NUMBER" TONVERA_SERVICE_URL="http://127.0.0.1:$PORT" TONVERA_AUDIO_SINK=null:realtime
export QT_QPA_PLATFORM=xcb

cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
peak_kb() { awk '/VmHWM/ {print $2}' "/proc/$1/status"; }

# measure NAME HOST_ARGS...: runs the page and the terminal radio side by side, prints one line each.
measure() {
  local name=$1
  shift
  local home="$WORK/home-$name"
  mkdir -p "$home"
  HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" "$HOST" "$@" >"$WORK/$name-host.log" 2>&1 &
  local host=$!
  PIDS+=($host)
  HOME="$home-cli" XDG_CONFIG_HOME="$home-cli/.config" XDG_DATA_HOME="$home-cli/.local/share" "$CLI" radio \
    >"$WORK/$name-cli.log" 2>&1 </dev/null &
  local cli=$!
  PIDS+=($cli)
  sleep "$WARMUP"
  local h0 c0 t0 h1 c1 t1
  h0=$(cpu_ticks $host); c0=$(cpu_ticks $cli); t0=$(date +%s.%N)
  sleep "$SECONDS_MEASURED"
  h1=$(cpu_ticks $host); c1=$(cpu_ticks $cli); t1=$(date +%s.%N)
  awk -v n="$name" -v h="$((h1 - h0))" -v c="$((c1 - c0))" -v t0="$t0" -v t1="$t1" -v k="$TICKS" \
    -v hp="$(peak_kb $host)" -v cp="$(peak_kb $cli)" 'BEGIN {
      w = t1 - t0;
      printf "%-12s page: CPU %5.2f %% of a core, peak RSS %6.1f MB | tonvera-cli radio: CPU %5.2f %%, peak RSS %6.1f MB\n",
             n, 100 * h / k / w, hp / 1024, 100 * c / k / w, cp / 1024 }'
  kill $host $cli 2>/dev/null || true
  wait $host $cli 2>/dev/null || true
}

echo "measured over ${SECONDS_MEASURED} s after ${WARMUP} s, Xvfb :$DISPLAY_NUMBER, station :$PORT, null sink"
PHASES=${PHASES:-visible hidden transitions lyrics lyrics-visible}
for phase in $PHASES; do
  case $phase in
    visible) args=() ;;
    hidden) args=(--hide-after 5) ;;
    transitions) args=(--transitions) ;;
    lyrics) args=(--desktop-lyrics --hide-after 5) ;;
    lyrics-visible) args=(--desktop-lyrics) ;;
    *) echo "unknown phase $phase" >&2; exit 2 ;;
  esac
  for _ in $(seq 1 "$REPEATS"); do measure "$phase" "${args[@]}"; done
done
