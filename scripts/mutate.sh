#!/usr/bin/env bash
# Mutation testing: puts small faults into the named source files one at a time, rebuilds the
# module's tests and runs them; prints each mutant as killed or survived (line and change) and a
# score per file. It works on a copy of the sources in build-mutate/tree (built in
# build-mutate/tree/build), so the work tree stays as it is and can be edited meanwhile.
#
#   scripts/mutate.sh [--seed N] [--sample N] [--list] FILE[:FIRST-LAST | :/REGEX/]...
#
# Without files it runs the core set below. A fixed seed (1) and sample (5 per file, 65 mutants) keep
# the core run under half an hour on two cores (a mutant took 42 s on average with both cores busy
# with other builds); --sample 0 tries every mutant. Equivalent mutants (no
# behaviour changes) are listed with the reason in scripts/mutate_ignore.txt. Details of every
# build and test run go to build-mutate/tree/build/mutate.log.
set -euo pipefail
cd "$(dirname "$0")/.."
CORE=(
  src/radio/titlerules.cpp src/radio/playqueue.cpp src/radio/trackfilter.cpp
  src/service/jsonvalue.cpp src/service/jsontokeniser.cpp src/service/jsonstreamparser.cpp
  "src/audio/audiostreamer_queue.cpp:/^// ---- numbers ----/"
  src/display/lyricsmodel.cpp src/taste/tnmanager.cpp
  src/audio/g719/purecodec.cpp src/audio/g719/pure_format.cpp src/audio/g719/g719_bitalloc.cpp
  station/byterange.cpp
)
has_file=0
for a in "$@"; do [[ $a != -* && ! $a =~ ^[0-9]+$ ]] && has_file=1; done
if [ $has_file -eq 0 ]; then set -- "$@" "${CORE[@]}"; fi
exec python3 scripts/mutate.py "$@"
