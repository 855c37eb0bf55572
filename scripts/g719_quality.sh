#!/usr/bin/env bash
# Quality of the G.719 encoder: codes the two encoder inputs of the shared G.719 material at every
# rate their reference streams have, decodes them with our decoder and prints, beside the
# reference encoder's figures (its streams decoded by the float reference decoder), the SNR over
# the whole file, the segmental SNR and the log-spectral distance (tools/quality.py).
# usage: scripts/g719_quality.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${1:-build}
SHARED=${TONVERA_SHARED_DIR:-$(cd .. && pwd)/shared}
[ -d "$SHARED/g719" ] || SHARED=/work/shared
G=$SHARED/g719
cmake --build "$BUILD_DIR" --target g719_roundtrip >/dev/null
# The measure needs numpy; take the first interpreter that has it.
PY=""
for p in python3 /usr/bin/python3; do
  if "$p" -c 'import numpy' 2>/dev/null; then PY=$p; break; fi
done
[ -n "$PY" ] || { echo "g719_quality: numpy is missing (python3-numpy)" >&2; exit 1; }
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

snr() {
  "$PY" - "$1" "$2" <<'PYEOF'
import sys, numpy as np
s = np.fromfile(sys.argv[1], '<i2').astype(float)
d = np.fromfile(sys.argv[2], '<i2').astype(float)[960:]
n = min(len(s), len(d))
print('snr=%.2f' % (10 * np.log10((s[:n] ** 2).sum() / max(((s[:n] - d[:n]) ** 2).sum(), 1e-9))))
PYEOF
}

printf '%-10s %4s  %-36s %-36s\n' file R ours reference
for cfg in speech_en:32 speech_en:64 speech_en:128 castanets:48 castanets:64; do
  name=${cfg%:*}
  rate=${cfg#*:}
  src=$G/vectors/${name}_src.pcm
  ref=$G/vectors/${name}_r${rate}.ref.pcm
  ours=$OUT/${name}_${rate}.pcm
  "$BUILD_DIR/bench/g719/g719_roundtrip" "$rate" "$src" "$ours"
  a="$(snr "$src" "$ours") $("$PY" "$G/tools/quality.py" "$src" "$ours")"
  b="$(snr "$src" "$ref") $("$PY" "$G/tools/quality.py" "$src" "$ref")"
  printf '%-10s %4s  %-36s %-36s\n' "$name" "$rate" "$a" "$b"
done
