#!/usr/bin/env bash
# The window under a Wayland compositor: a headless weston in a runtime folder of its own, the
# player in it with QT_QPA_PLATFORM=wayland. The window maps (its first paint is reported), the
# program quits cleanly without errors from Qt's platform layer, and the remembered window place
# is left alone (the compositor places windows). Skipped where weston or Qt's Wayland plug-in is
# missing (scripts/setup.sh installs both). Usage: wayland_test.sh TONVERA [SCREENSHOT.png]
set -euo pipefail
app=$1
shot=${2:-}
skip() { echo "wayland_test: $*; skipped"; exit 77; }
command -v weston >/dev/null || skip "weston is missing"
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
ls "$plugins"/platforms/libqwayland-*.so >/dev/null 2>&1 || skip "Qt's Wayland platform plug-in is missing"

work=$(mktemp -d)
weston_pid=""
cleanup() {
  if [ -n "$weston_pid" ]; then kill "$weston_pid" 2>/dev/null || true; wait "$weston_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "wayland_test: $*" >&2; cat "$work/app.err" >&2 2>/dev/null || true; exit 1; }

mkdir -p -m 700 "$work/run"
mkdir -p "$work/home/.config/tonvera"
export XDG_RUNTIME_DIR="$work/run" HOME="$work/home"
unset XDG_CONFIG_HOME XDG_DATA_HOME XDG_STATE_HOME DISPLAY
# A place off the 800 x 480 output: applied, it would be moved onto the screen and saved so.
origin='<key>TonveraWindowOrigin</key><dict><key>x</key><integer>700</integer><key>y</key><integer>400</integer></dict>'
printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>%s</dict></plist>\n' "$origin" \
  >"$HOME/.config/tonvera/defaults.plist"

weston --backend=headless-backend.so --use-pixman --socket=wayland-test --width=800 --height=480 \
  --idle-time=0 ${shot:+--debug} >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do
  [ -S "$XDG_RUNTIME_DIR/wayland-test" ] && break
  kill -0 "$weston_pid" 2>/dev/null || { cat "$work/weston.log" >&2; fail "weston did not start"; }
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/wayland-test" ] || fail "weston's socket did not appear"
export WAYLAND_DISPLAY=wayland-test QT_QPA_PLATFORM=wayland
export TONVERA_SERVICE_URL=http://127.0.0.1:9 TONVERA_AUDIO_SINK=null

if [ -n "$shot" ]; then
  # By hand: the window stays up until the compositor's screenshot is taken.
  "$app" >"$work/app.out" 2>"$work/app.err" &
  app_pid=$!
  sleep 3  # by hand only: time for the window to come up
  for _ in $(seq 1 100); do
    (cd "$work" && timeout 10 weston-screenshooter >/dev/null 2>&1) || true
    ls "$work"/wayland-screenshot-*.png >/dev/null 2>&1 && break
    sleep 0.2
  done
  kill -TERM "$app_pid"
  wait "$app_pid" || fail "tonvera did not quit cleanly on SIGTERM"
  cp "$(ls "$work"/wayland-screenshot-*.png | head -1)" "$shot"
  echo "wayland_test: screenshot in $shot"
else
  TONVERA_STARTUP_PROBE=1 timeout 60 "$app" >"$work/app.out" 2>"$work/app.err" || fail "tonvera exited with $?"
  grep -q '^shown ' "$work/app.out" || fail "the window was never painted"
fi
if grep -E '^(qt\.|QWayland|Wayland|Failed)' "$work/app.err"; then fail "Qt's platform layer complained"; fi
grep -q '<integer>700</integer>' "$HOME/.config/tonvera/defaults.plist" || fail "the remembered place was changed"
echo "wayland_test: the window mapped under weston and the program quit cleanly"
