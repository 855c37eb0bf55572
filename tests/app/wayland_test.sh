#!/usr/bin/env bash
# The window under a Wayland compositor: a headless weston in a runtime folder of its own, the
# player in it with QT_QPA_PLATFORM=wayland. The window maps (its first paint is reported), the
# program quits cleanly without errors from Qt's platform layer, and the remembered window place
# is left alone (the compositor places windows). Then MENU_TEST (wayland_menu_test.cpp) opens the
# right-click menu and the preferences in the same compositor. Skipped where weston or Qt's Wayland
# plug-in is missing (scripts/setup.sh installs both).
# Usage: wayland_test.sh TONVERA MENU_TEST [SHOTS_FOLDER]  (with a folder, by hand: the compositor's
# pictures of the window, its menu and the preferences go there)
set -euo pipefail
app=$1
menu_test=$2
shots=${3:-}
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
  --idle-time=0 ${shots:+--debug} >"$work/weston.log" 2>&1 &
weston_pid=$!
for _ in $(seq 1 100); do
  [ -S "$XDG_RUNTIME_DIR/wayland-test" ] && break
  kill -0 "$weston_pid" 2>/dev/null || { cat "$work/weston.log" >&2; fail "weston did not start"; }
  sleep 0.1
done
[ -S "$XDG_RUNTIME_DIR/wayland-test" ] || fail "weston's socket did not appear"
export WAYLAND_DISPLAY=wayland-test QT_QPA_PLATFORM=wayland
export TONVERA_SERVICE_URL=http://127.0.0.1:9 TONVERA_AUDIO_SINK=null

TONVERA_STARTUP_PROBE=1 timeout 60 "$app" >"$work/app.out" 2>"$work/app.err" || fail "tonvera exited with $?"
grep -q '^shown ' "$work/app.out" || fail "the window was never painted"
if grep -E '^(qt\.|QWayland|Wayland|Failed)' "$work/app.err"; then fail "Qt's platform layer complained"; fi
grep -q '<integer>700</integer>' "$HOME/.config/tonvera/defaults.plist" || fail "the remembered place was changed"
echo "wayland_test: the window mapped under weston and the program quit cleanly"
[ -z "$shots" ] || mkdir -p "$shots"
TONVERA_WESTON_SHOTS=${shots:+$(realpath "$shots")} timeout 60 "$menu_test" || exit 1
