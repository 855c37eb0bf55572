#!/usr/bin/env bash
# Checks a built Debian package of Tonvera: unpacked into a temporary root, its tonvera-cli runs
# from there, the desktop file, AppStream metainfo and user unit validate, and it depends on a
# Chinese font. Usage: check_package.sh DEB, or check_package.sh --in FOLDER (the newest
# tonvera_*.deb there; exits 77, "skipped", when there is none: scripts/package.sh builds it).
set -euo pipefail
if [ "${1:-}" = "--in" ]; then
  deb=$(ls -t "$2"/tonvera_*.deb 2>/dev/null | head -1 || true)
  if [ -z "$deb" ]; then
    echo "check_package: no package in $2 (scripts/package.sh builds one); skipped"
    exit 77
  fi
else
  deb=$1
fi
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
fail() { echo "check_package: $*" >&2; exit 1; }

version=$("$root/usr/bin/tonvera-cli" version) || fail "tonvera-cli version failed"
[ "$version" = "tonvera $(dpkg-deb -f "$deb" Version)" ] || fail "tonvera-cli version says '$version'"
for program in tonvera tonvera-station tonvera-cli; do
  [ -x "$root/usr/bin/$program" ] || fail "usr/bin/$program missing"
done
desktop-file-validate "$root/usr/share/applications/org.tonvera.Tonvera.desktop" || fail "desktop file"
appstreamcli validate --no-net --explain "$root/usr/share/metainfo/org.tonvera.Tonvera.metainfo.xml" ||
  fail "metainfo"
grep -q '<project_license>MIT</project_license>' "$root/usr/share/metainfo/org.tonvera.Tonvera.metainfo.xml" ||
  fail "metainfo names no licence"
unit="$root/usr/lib/systemd/user/tonvera-station.service"
grep -q '^ExecStart=/usr/bin/tonvera-station ' "$unit" || fail "user unit does not start /usr/bin/tonvera-station"
if command -v systemd-analyze >/dev/null; then
  # verify wants a runtime folder and the program at its installed path: give it the unpacked one.
  mkdir -p "$root/run-user" && chmod 700 "$root/run-user"
  sed "s|^ExecStart=/usr/bin/|ExecStart=$root/usr/bin/|" "$unit" >"$root/run-user/tonvera-station.service"
  XDG_RUNTIME_DIR="$root/run-user" systemd-analyze --user verify "$root/run-user/tonvera-station.service" ||
    fail "user unit"
fi
[ -f "$root/usr/share/doc/tonvera/copyright" ] || fail "no copyright file"
dpkg-deb -f "$deb" Depends | grep -q 'fonts-wqy-microhei' || fail "no Chinese font among the dependencies"
echo "check_package: $(basename "$deb") is fine ($(find "$root/usr" -type f | wc -l) files)"
