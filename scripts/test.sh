#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, warnings as errors:
#   1. the main build: unit, pseudo-terminal, simulator, dialog and
#      end-to-end tests, including one real-time installation;
#   2. the Release build (the optimiser finds warnings of its own) with the
#      second stand-in release built in (other release number, block lengths,
#      addresses and fullpack version, generated at build time), and the
#      virtual-clock suite run against it: unit tests, scripted station,
#      simulator and window tests, without the end-to-end runs over
#      pseudo-terminals;
#   3. the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
#      (without the real-time run);
#   4. the threaded tests under ThreadSanitizer (without the real-time runs);
#   5. each libFuzzer target for a bounded time;
#   6. the Windows build: its tests under Wine and one console installation
#      under Wine against the simulated station;
#   7. the Debian package: a Release build packaged with cpack, checked with
#      lintian, installed with apt-get, its programs run from PATH and the
#      window opened from its desktop entry under Xvfb, then removed.
# Set ZELT20_STAGES to a subset (e.g. "main asan") to run only those.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

stages=${ZELT20_STAGES:-"main second asan tsan fuzz windows package"}
fuzz_seconds=${ZELT20_FUZZ_SECONDS:-30}
jobs=2
# Most tests wait on serial time-outs, not on the processors.
test_jobs=4
passed=0

want() { [[ " $stages " == *" $1 "* ]]; }
banner() { printf '\n=== %s\n' "$*"; }

# Configures, builds and runs ctest in build/NAME; counts the tests passed.
suite() {
  local name=$1 ctest_args=$2
  shift 2
  banner "$name build"
  cmake -S . -B "build/$name" -G Ninja -DZELT20_WERROR=ON "$@" >/dev/null
  cmake --build "build/$name" -j "$jobs"
  banner "$name tests"
  local log="build/$name/ctest.log"
  # shellcheck disable=SC2086
  ctest --test-dir "build/$name" --output-on-failure -j "$test_jobs" $ctest_args | tee "$log"
  local total
  total=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)/\1/p' "$log" | tail -n 1)
  passed=$((passed + ${total:-0}))
}

if want main; then
  suite main "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
if want second; then
  suite second "-LE slow -E ^e2e\." -DCMAKE_BUILD_TYPE=Release -DZELT20_SECOND_STANDIN=ON \
    -DZELT20_BUILD_BENCH=OFF
fi
if want asan; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    suite asan "-LE slow" -DCMAKE_BUILD_TYPE=Debug -DZELT20_SANITIZE=address,undefined \
    -DZELT20_BUILD_BENCH=OFF
fi
if want tsan; then
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/tsan-qt.supp" \
    suite tsan "-L threads -LE slow" -DCMAKE_BUILD_TYPE=Debug -DZELT20_SANITIZE=thread \
    -DZELT20_BUILD_BENCH=OFF
fi
if want fuzz; then
  banner "fuzz build"
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_WERROR=ON \
    -DZELT20_FUZZ=ON -DZELT20_BUILD_TESTS=OFF -DZELT20_BUILD_DIALOG=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs"
  # One target per processor at a time; each prints its summary when done.
  fuzz_target() {
    local target=$1 work="build/fuzz/corpus-$1"
    mkdir -p "$work"
    cp -n "fuzz/corpus/$target/"* "$work"/ 2>/dev/null || true
    local status=0
    "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="build/fuzz/$target-" "$work" >"build/fuzz/$target.log" 2>&1 || status=$?
    banner "fuzz $target for ${fuzz_seconds}s"
    tail -n 4 "build/fuzz/$target.log"
    return "$status"
  }
  running=0
  for corpus in fuzz/corpus/*/; do
    if ((running == jobs)); then
      wait -n
      running=$((running - 1))
    fi
    fuzz_target "$(basename "$corpus")" &
    running=$((running + 1))
    passed=$((passed + 1))
  done
  while ((running > 0)); do
    wait -n
    running=$((running - 1))
  done
fi
if want windows; then
  banner "Windows build under Wine"
  scripts/windows-test.sh
  passed=$((passed + $(grep -c 'status="run"' build/windows/junit.xml)))
fi

if want package; then
  banner "Debian package"
  scripts/package-test.sh
  passed=$((passed + 1))
fi

banner "summary"
echo "$passed passed, 0 failed"
