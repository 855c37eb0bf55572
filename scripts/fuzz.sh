#!/usr/bin/env bash
# Builds every libFuzzer target with clang in build-fuzz (ccache when present) and runs each for
# SECONDS (default 10) from its committed corpus, two targets at a time. Exits non-zero when a
# target does not build or a run finds a crash, a sanitizer report, a leak or a time-out.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]   e.g. scripts/fuzz.sh 1800 fuzz_json_reader
#
# New inputs a run finds go to build-fuzz/corpus/<target> (the committed corpus is only read);
# findings go to build-fuzz/findings/<target>/, each run's output to build-fuzz/logs/<target>.log.
# TONVERA_FUZZ_JOBS sets how many targets run at once (2); TONVERA_FUZZ_OUT another folder for the
# new inputs, findings and logs (so a long run and a short one can go on side by side).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}
[ $# -gt 0 ] && shift
dir=build-fuzz
jobs=${TONVERA_FUZZ_JOBS:-2}
out=${TONVERA_FUZZ_OUT:-$dir}

start=$(date +%s)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  # Only the libraries the targets link are built; the build stamp is fixed so nothing is rebuilt
  # just because time passed.
  CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTONVERA_BUILD_FUZZ=ON -DTONVERA_BUILD_TESTS=OFF -DTONVERA_BUILD_BENCH=OFF \
    -DTONVERA_BUILD_STAMP=2001010000 >/dev/null
else
  cmake "$dir" >/dev/null
fi
if ! cmake --build "$dir" -j"${TONVERA_JOBS:-2}" --target fuzz_all; then
  echo "fuzz.sh: the fuzz targets do not build" >&2
  exit 1
fi
built=$(date +%s)

# One line per target: name, corpus folder, dictionary ("-" where there is none).
mapfile -t manifest <"$dir/fuzz_targets.txt"
[ ${#manifest[@]} -gt 0 ] || { echo "fuzz.sh: no fuzz targets configured" >&2; exit 1; }

run_one() {
  local name=$1 corpus=$2 dict=$3
  local work="$out/corpus/$name" findings="$out/findings/$name" log="$out/logs/$name.log"
  mkdir -p "$work" "$findings" "$out/logs"
  local args=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -print_final_stats=1
              -artifact_prefix="$findings/" "$work")
  [ "$corpus" != "-" ] && args+=("$corpus")
  [ "$dict" != "-" ] && args=(-dict="$dict" "${args[@]}")
  local status=0
  "$(find "$dir/fuzz" -type f -name "$name" -perm -u+x | head -n1)" "${args[@]}" >"$log" 2>&1 || status=$?
  local execs
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n1)
  if [ $status -eq 0 ]; then
    echo "fuzz.sh: $name: ${execs:-?} executions, no finding"
  else
    echo "fuzz.sh: $name: FINDING (exit $status) after ${execs:-?} executions; see $log and $findings/"
    grep -m5 -E '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)' "$log" || tail -n 20 "$log"
  fi
  echo $status >"$out/logs/$name.status"
}

selected=("$@")
rm -f "$out"/logs/*.status
ran=()
for line in "${manifest[@]}"; do
  read -r name corpus dict <<<"$line"
  if [ ${#selected[@]} -gt 0 ] && [[ " ${selected[*]} " != *" $name "* ]]; then continue; fi
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  run_one "$name" "$corpus" "$dict" &
  ran+=("$name")
done
wait
status=0
[ ${#ran[@]} -gt 0 ] || { echo "fuzz.sh: no target named ${selected[*]}" >&2; status=1; }
failed=0
for name in "${ran[@]}"; do
  [ "$(cat "$out/logs/$name.status" 2>/dev/null)" = 0 ] || failed=$((failed + 1))
done
[ $failed -eq 0 ] || status=1
done_at=$(date +%s)
echo "fuzz.sh: build $((built - start)) s, runs $((done_at - built)) s, exit $status"
echo "fuzz: $((${#ran[@]} - failed)) passed, $failed failed"
exit $status
