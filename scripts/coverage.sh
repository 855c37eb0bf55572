#!/usr/bin/env bash
# Builds Tonvera with coverage instrumentation in its own folder (build-coverage), runs every test
# and prints line and branch coverage per module (each folder of src/ that is a library, station/,
# tools/). Exits non-zero when a test fails; the figures are printed either way.
set -uo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh || exit 1
BUILD_DIR=${TONVERA_COVERAGE_DIR:-build-coverage}
JOBS=${TONVERA_JOBS:-2}
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONVERA_WERROR=ON \
    -DTONVERA_BUILD_BENCH=OFF -DCMAKE_C_FLAGS=--coverage -DCMAKE_CXX_FLAGS=--coverage \
    -DCMAKE_EXE_LINKER_FLAGS=--coverage -DCMAKE_SHARED_LINKER_FLAGS=--coverage || exit 1
fi
cmake --build "$BUILD_DIR" -j"$JOBS" || exit 1
find "$BUILD_DIR" -name '*.gcda' -delete
ctest --test-dir "$BUILD_DIR" -j"$JOBS" --timeout 300 --output-on-failure
status=$?

# One pass of gcovr over every object; the summary is grouped by module below. Counters of code run
# on several threads at once can come out negative (gcov's counters are not atomic); such lines are
# skipped rather than failing the report.
gcovr --root . --object-directory "$BUILD_DIR" --filter 'src/' --filter 'station/' --filter 'tools/' \
  --exclude '.*_tables\.h' --exclude-unreachable-branches --exclude-throw-branches -j "$JOBS" \
  --gcov-ignore-parse-errors \
  --json-summary "$BUILD_DIR/coverage-summary.json" >/dev/null || exit 1
python3 - "$BUILD_DIR/coverage-summary.json" <<'PY'
import json, os, sys
# A module is the deepest folder on a file's path that has a CMakeLists.txt of its own.
def module(path):
    d = os.path.dirname(path)
    while d and not os.path.exists(os.path.join(d, "CMakeLists.txt")):
        d = os.path.dirname(d)
    return d or os.path.dirname(path)
sums = {}
for f in json.load(open(sys.argv[1]))["files"]:
    m = sums.setdefault(module(f["filename"]), [0, 0, 0, 0])
    m[0] += f["line_covered"]; m[1] += f["line_total"]
    m[2] += f["branch_covered"]; m[3] += f["branch_total"]
def pct(a, b): return 100.0 * a / b if b else 100.0
print(f"{'module':32} {'lines':>16} {'line %':>7} {'branches':>16} {'branch %':>8}")
total = [0, 0, 0, 0]; src = [0, 0, 0, 0]
for name in sorted(sums):
    s = sums[name]
    print(f"{name:32} {s[0]:>7}/{s[1]:<8} {pct(s[0], s[1]):6.1f}% {s[2]:>7}/{s[3]:<8} {pct(s[2], s[3]):7.1f}%")
    for i in range(4):
        total[i] += s[i]
        if name.startswith("src/"): src[i] += s[i]
for label, s in (("src/ (all)", src), ("all", total)):
    print(f"{label:32} {s[0]:>7}/{s[1]:<8} {pct(s[0], s[1]):6.1f}% {s[2]:>7}/{s[3]:<8} {pct(s[2], s[3]):7.1f}%")
PY
exit $status
