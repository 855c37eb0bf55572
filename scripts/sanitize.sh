#!/usr/bin/env bash
# Builds Tonvera with sanitizers in a folder of its own and runs tests there. Not part of the CI run:
# the builds are heavy; run them before merging changes to threads, memory or parsing.
#
#   scripts/sanitize.sh address [ctest args...]  AddressSanitizer + UndefinedBehaviorSanitizer in
#                                                build-asan: every test executable, every test
#   scripts/sanitize.sh thread [ctest args...]   ThreadSanitizer in build-tsan: the engine and radio
#                                                tests (platform, net, stream player, PURE player,
#                                                now-playing controller)
#
# Extra arguments go to ctest (e.g. -R 'ControllerFlow'). TONVERA_JOBS sets the parallelism (2);
# TONVERA_SANITIZE_TESTS="test_platform test_net" builds and runs only those test executables.
# The run time of the build and of the tests is printed at the end.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-}
[ $# -gt 0 ] && shift
jobs=${TONVERA_JOBS:-2}

case "$kind" in
  address)
    dir=build-asan
    sanitize="address,undefined"
    targets=(all)
    tests_regex=""
    # Leaks of objects that live for the process (singletons) are not worth a failure; real leaks
    # inside a test still show as growing memory in the benchmarks.
    export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:strict_string_checks=1:detect_stack_use_after_return=1"
    export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
    ;;
  thread)
    dir=build-tsan
    sanitize="thread"
    targets=(test_platform test_net test_streamer test_pure_player test_controller)
    tests_regex="^(test_platform|test_net|test_streamer|test_pure_player|test_controller)$"
    # die_after_fork=0: QProcess (the terminal radio's tests start tonvera-cli) forks a process
    # with threads; the child only execs, which the sanitizer would otherwise refuse.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/scripts/tsan.supp"
    ;;
  *)
    echo "usage: scripts/sanitize.sh address|thread [ctest arguments...]" >&2
    exit 2
    ;;
esac
if [ -n "${TONVERA_SANITIZE_TESTS:-}" ]; then
  read -r -a targets <<<"$TONVERA_SANITIZE_TESTS"
  tests_regex="^($(printf '%s\n' "${targets[@]}" | paste -sd '|'))$"
fi

start=$(date +%s)
if [ ! -f "$dir/CMakeCache.txt" ]; then
  # Benchmarks are left out (they measure, they do not check); the build stamp is fixed so that the
  # sanitizer build is not recompiled every minute.
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONVERA_WERROR=ON \
    -DTONVERA_SANITIZE="$sanitize" -DTONVERA_BUILD_BENCH=OFF -DTONVERA_BUILD_STAMP=2001010000
fi
cmake --build "$dir" -j"$jobs" --target "${targets[@]}"
built=$(date +%s)

ctest_args=(--test-dir "$dir" --output-on-failure -j"$jobs" --timeout 600)
# Every case is labelled with its executable's name.
[ -n "$tests_regex" ] && ctest_args+=(-L "$tests_regex")
status=0
ctest "${ctest_args[@]}" "$@" || status=$?
done_at=$(date +%s)
echo "sanitize.sh $kind: build $((built - start)) s, tests $((done_at - built)) s, exit $status"
exit $status
