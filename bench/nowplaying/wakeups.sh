#!/usr/bin/env bash
# What wakes a running process, thread by thread: context switches a second (voluntary ones are the
# thread's own sleeps and waits ending, that is wake-ups; involuntary ones are preemptions, which
# follow the machine's load) and CPU time, counted from /proc over a window of time. Wake-ups do
# not depend on how loaded the machine is, CPU time does.
#
# Usage: bench/nowplaying/wakeups.sh PID [SECONDS] [LABEL]
# Prints one line per thread (by name; threads of the same name are added up, xN says how many
# were seen) and a total line.
set -euo pipefail
PID=$1
SECONDS_MEASURED=${2:-30}
LABEL=${3:-$PID}
TICKS=$(getconf CLK_TCK)

# One line per thread: tid name voluntary involuntary ticks (one awk over all the files).
snapshot() {
  local tasks=(/proc/"$PID"/task/*)
  awk '
    FNR == 1 { split(FILENAME, part, "/"); tid = part[5] }
    FILENAME ~ /comm$/ { name[tid] = $0; gsub(/ /, "_", name[tid]) }
    FILENAME ~ /status$/ && /^voluntary_ctxt_switches/ { vol[tid] = $2 }
    FILENAME ~ /status$/ && /^nonvoluntary_ctxt_switches/ { invol[tid] = $2 }
    FILENAME ~ /stat$/ { line = $0; sub(/.*\) /, "", line); split(line, f, " "); ticks[tid] = f[12] + f[13] }
    END { for (t in name) if ((t in vol) && (t in ticks)) print t, name[t], vol[t], invol[t], ticks[t] }
  ' $(for t in "${tasks[@]}"; do echo "$t/comm $t/status $t/stat"; done) 2>/dev/null || true
}

# Sampled every second, so that threads that come and go meanwhile (a new track's) are counted
# for the time they were seen; the counts of each thread add up from its first sample on.
t0=$(date +%s.%N)
end=$(awk -v t="$t0" -v s="$SECONDS_MEASURED" 'BEGIN { printf "%.3f", t + s }')
now=$t0
samples=$(mktemp)
trap 'rm -f "$samples"' EXIT
while :; do
  # A thread that ends between the listing and the reading is left out of that sample.
  [ -d /proc/"$PID" ] || break
  snapshot | sed "s/^/$(date +%s.%N) /" >>"$samples"
  now=$(date +%s.%N)
  awk -v n="$now" -v e="$end" 'BEGIN { exit !(n >= e) }' && break
  sleep 1
done
t1=$now

awk -v label="$LABEL" -v t0="$t0" -v t1="$t1" -v k="$TICKS" '
  {
    tid = $2; name = $3
    if (tid in v0) {
      vol[name] += $4 - v0[tid]; invol[name] += $5 - i0[tid]; cpu[name] += $6 - c0[tid]
    } else {
      if (!(name in seen)) order[++count] = name
      seen[name] = 1
      if (!((name, tid) in counted)) { counted[name, tid] = 1; n[name]++ }
    }
    v0[tid] = $4; i0[tid] = $5; c0[tid] = $6
  }
  END {
    w = t1 - t0
    printf "%s: wake-ups/s (voluntary), preemptions/s (involuntary), CPU %% of a core, over %.0f s\n", label, w
    for (j = 1; j <= count; j++) {
      name = order[j]
      printf "  %-18s x%-2d %8.1f %8.1f %7.2f %%\n", name, n[name], vol[name] / w, invol[name] / w, 100 * cpu[name] / k / w
      tv += vol[name]; ti += invol[name]; tc += cpu[name]
    }
    printf "  %-18s     %8.1f %8.1f %7.2f %%\n", "total", tv / w, ti / w, 100 * tc / k / w
  }' "$samples"
