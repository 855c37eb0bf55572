#!/usr/bin/env bash
# Installs what is missing, builds, and runs Tonvera against the bundled station: the window when a
# display is there (DISPLAY or WAYLAND_DISPLAY set), else the radio in the terminal.
#
# The station (tonvera-station) serves its demo library on 127.0.0.1:$TONVERA_STATION_PORT (7650 by
# default; generated on first use under $XDG_DATA_HOME/tonvera-station/). If a station already
# answers there, that one is used. The station started here is stopped when the player exits.
# TONVERA_MUSIC=FOLDER: the station serves that music folder instead of the demo library.
# Arguments are handed to the player.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh
BUILD_DIR=${TONVERA_BUILD_DIR:-build}
STATION="$BUILD_DIR/station/tonvera-station"
CLI="$BUILD_DIR/tools/tonvera-cli"
PORT=${TONVERA_STATION_PORT:-7650}
export TONVERA_SERVICE_URL="http://127.0.0.1:$PORT"

answers() { curl -sf -m 2 -o /dev/null "$TONVERA_SERVICE_URL/radios/selected.json"; }

STATION_PID=""
stop_station() {
  if [ -n "$STATION_PID" ] && kill -0 "$STATION_PID" 2>/dev/null; then
    kill -TERM "$STATION_PID" 2>/dev/null || true
    wait "$STATION_PID" 2>/dev/null || true
  fi
}
trap stop_station EXIT
trap 'exit 130' INT TERM

# The station logs one line per request on standard error: beside the window that is the
# terminal; the terminal radio needs the terminal for itself, so then the log goes to a file.
APP="$BUILD_DIR/src/app/ui/tonvera"
STATION_LOG=""
exec 3>&2
if ! { { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$APP" ]; }; then
  STATION_LOG="$BUILD_DIR/station.log"
  exec 3>>"$STATION_LOG"
fi

if answers; then
  echo "run.sh: using the station already at $TONVERA_SERVICE_URL" >&2
else
  if [ -n "${TONVERA_MUSIC:-}" ]; then
    "$STATION" --port "$PORT" --library "$TONVERA_MUSIC" 2>&3 3>&- &
  else
    "$STATION" --port "$PORT" 2>&3 3>&- &
  fi
  STATION_PID=$!
  [ -z "$STATION_LOG" ] || echo "run.sh: the station's log goes to $STATION_LOG" >&2
  # The first start generates the demo library (progress on standard error); later ones only scan.
  for _ in $(seq 1 600); do
    answers && break
    if ! kill -0 "$STATION_PID" 2>/dev/null; then
      echo "run.sh: tonvera-station did not start" >&2
      exit 1
    fi
    sleep 0.2
  done
  answers || { echo "run.sh: tonvera-station does not answer at $TONVERA_SERVICE_URL" >&2; exit 1; }
fi

has_command() { "$CLI" --help 2>&1 | grep -Eq "^  $1 "; }

# The player, best available first: the window when there is a display, else the terminal radio.
status=0
if { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; } && [ -x "$APP" ]; then
  "$APP" "$@" || status=$?
elif has_command radio; then
  "$CLI" radio "$@" || status=$?
elif has_command play; then
  # Until the radio runs: play the first track of the "全部" channel.
  track=$(curl -sf "$TONVERA_SERVICE_URL/radios/all/play.json" | sed -n 's/.*"tracks":\["\([a-z0-9]*\)".*/\1/p')
  url=$(curl -sf "$TONVERA_SERVICE_URL/tracks/$track/play.json" | sed -n 's/.*"url":\["\([^"]*\)"\].*/\1/p')
  "$CLI" play "$@" "$url" || status=$?
else
  curl -sf "$TONVERA_SERVICE_URL/radios/selected.json"
  echo
fi
exit "$status"
