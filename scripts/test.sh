#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, warnings as errors:
#   1. the main build (Release, as the package is built): unit,
#      pseudo-terminal, simulator, dialog and end-to-end tests, including one
#      real-time installation;
#   2. the whole suite under AddressSanitizer and UndefinedBehaviorSanitizer
#      with the second stand-in release built in (other release number, block
#      lengths, addresses and fullpack version, generated at build time),
#      without the real-time runs and the whole installations over a
#      pseudo-terminal (labels slow and once);
#   3. the threaded tests under ThreadSanitizer (the same left out), only
#      their executables built;
#   4. each libFuzzer target for a bounded time;
#   5. the Windows build: its tests under Wine and one console installation
#      under Wine against the simulated station;
#   6. the Debian package: a Release build packaged with cpack, checked with
#      lintian, installed with apt-get, its programs run from PATH and the
#      window opened from its desktop entry under Xvfb, then removed.
# Set ZELT20_STAGES to a subset (e.g. "main asan") to run only those.
#
# Every stage prints what its runner reports: tests passed, skipped and
# failed (CTest's JUnit files; libFuzzer's own end of run; the package
# test's log of its checks). A stage whose tests fail, or that runs none,
# fails the script after the others have run; a build that fails ends it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test

stages=${ZELT20_STAGES:-"main asan tsan fuzz windows package"}
fuzz_seconds=${ZELT20_FUZZ_SECONDS:-30}
jobs=2
# Most tests wait on serial time-outs, not on the processors.
test_jobs=4
summary=()
total_passed=0 total_skipped=0 total_failed=0
failed_stages=0
# Each stage's wall time, build included, runs from the end of the one before.
stage_started=$SECONDS

want() { [[ " $stages " == *" $1 "* ]]; }
banner() { printf '\n=== %s\n' "$*"; }

# record STAGE PASSED SKIPPED FAILED [WHY]: one stage's counts. A stage
# fails when a test failed, when it ran nothing or when WHY names a failure.
record() {
  local stage=$1 passed=$2 skipped=$3 failed=$4 why=${5:-}
  if ((passed + skipped + failed == 0)) && [[ -z $why ]]; then why="no test ran"; fi
  if ((failed > 0)) || [[ -n $why ]]; then failed_stages=$((failed_stages + 1)); fi
  summary+=("$(printf '%-8s %5d passed %4d skipped %4d failed %5d s%s' "$stage" "$passed" "$skipped" \
    "$failed" $((SECONDS - stage_started)) "${why:+  ($why)}")")
  stage_started=$SECONDS
  total_passed=$((total_passed + passed))
  total_skipped=$((total_skipped + skipped))
  total_failed=$((total_failed + failed))
}

# cases_with STATUS FILE: how many test cases of a CTest JUnit file have it.
cases_with() { { grep -o "<testcase [^>]*status=\"$1\"" "$2" || true; } | wc -l; }

# junit_counts FILE: "PASSED SKIPPED FAILED" of a CTest JUnit file, by the
# status of each test case; "0 0 0" when there is none.
junit_counts() {
  local file=$1
  if [[ ! -f $file ]]; then
    echo "0 0 0"
    return
  fi
  local skipped
  skipped=$(($(cases_with notrun "$file") + $(cases_with disabled "$file")))
  echo "$(cases_with run "$file") $skipped $(cases_with fail "$file")"
}

# record_ctest STAGE JUNIT STATUS: the counts of a ctest run; a failing exit
# status without a failed test (a test not found, no tests) fails the stage.
record_ctest() {
  local stage=$1 junit=$2 status=$3 passed skipped failed
  read -r passed skipped failed < <(junit_counts "$junit")
  local why=""
  if ((passed + skipped + failed == 0)); then
    why="no test ran"
  elif ((status != 0 && failed == 0)); then
    why="exit status $status"
  fi
  record "$stage" "$passed" "$skipped" "$failed" "$why"
}

# build_tree NAME TARGET CMAKE_ARGS...: configures build/NAME and builds TARGET.
build_tree() {
  local name=$1 target=$2
  shift 2
  banner "$name build"
  cmake -S . -B "build/$name" -G Ninja -DZELT20_WERROR=ON "$@" >/dev/null
  # Below the tests' priority: the runs over a line may still be going.
  nice -n 10 cmake --build "build/$name" -j "$jobs" --target "$target"
}

# run_ctest NAME CTEST_ARGS: runs and counts ctest in build/NAME.
run_ctest() {
  local name=$1 ctest_args=$2
  banner "$name tests"
  local junit="build/$name/junit.xml" status=0
  rm -f "$junit"
  # shellcheck disable=SC2086
  ctest --test-dir "build/$name" --output-on-failure -j "$test_jobs" --no-tests=error \
    --output-junit junit.xml $ctest_args || status=$?
  record_ctest "$name" "$junit" "$status"
}

# suite NAME CTEST_ARGS TARGET CMAKE_ARGS...
suite() {
  local name=$1 ctest_args=$2
  shift 2
  build_tree "$name" "$@"
  run_ctest "$name" "$ctest_args"
}

# The runs over a pseudo-terminal or a virtual display (CTest names starting
# "e2e": the whole installations, the fault matrix rows that need a real
# line, the installation at the pace of a real line, the Qt window's whole
# run) spend minutes waiting on their line and fail only a run shorter than
# its waits or a wrong result, which a loaded machine cannot bring about:
# they run in the background from the main build on, beside the stages that
# follow, and are counted at the end.
lines_pid=""
stop_lines() { if [[ -n $lines_pid ]]; then kill -- -"$lines_pid" 2>/dev/null || true; fi; }
trap stop_lines EXIT
if want main; then
  # The options the demo's build in the same folder turns off are turned on.
  build_tree main all -DCMAKE_BUILD_TYPE=Release -DZELT20_BUILD_TESTS=ON -DZELT20_BUILD_BENCH=ON
  # First, not beside the background runs: two ctest runs in one build folder
  # share its test log, which the first to end renames under the other.
  run_ctest main "-E ^e2e"
  rm -f build/main/junit-e2e.xml
  # Its own session, so that a script that ends early stops it with its tests.
  # Its exit status goes to a file: it is known however the job is reaped.
  rm -f build/main/e2e.status
  setsid bash -c "ctest --test-dir build/main --output-on-failure -R '^e2e' -j $test_jobs --no-tests=error \
    --output-junit junit-e2e.xml >build/main/e2e.log 2>&1; echo \$? >build/main/e2e.status" &
  lines_pid=$!
fi
if want asan; then
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS="suppressions=$PWD/tests/sanitizers/lsan-odbc.supp" \
    suite asan "-LE slow|once" all -DCMAKE_BUILD_TYPE=Debug -DZELT20_SANITIZE=address,undefined \
    -DZELT20_SECOND_STANDIN=ON -DZELT20_BUILD_BENCH=OFF
fi
if want tsan; then
  TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/tsan-qt.supp" \
    suite tsan "-L threads -LE slow" zelt20_threaded_tests -DCMAKE_BUILD_TYPE=Debug -DZELT20_SANITIZE=thread \
    -DZELT20_BUILD_BENCH=OFF
fi
if want fuzz; then
  banner "fuzz build"
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_WERROR=ON \
    -DZELT20_FUZZ=ON -DZELT20_BUILD_TESTS=OFF -DZELT20_BUILD_DIALOG=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
  cmake --build build/fuzz -j "$jobs"
  # One target per processor at a time; each prints its summary when done
  # and leaves its verdict in build/fuzz/TARGET.result: passed only when
  # libFuzzer ran for the whole time and ended without a finding.
  fuzz_target() {
    local target=$1 work="build/fuzz/corpus-$1" log="build/fuzz/$1.log"
    mkdir -p "$work"
    cp -n "fuzz/corpus/$target/"* "$work"/ 2>/dev/null || true
    local status=0 verdict=failed
    "build/fuzz/fuzz/${target}_fuzz" -max_total_time="$fuzz_seconds" -print_final_stats=1 \
      -artifact_prefix="build/fuzz/$target-" "$work" >"$log" 2>&1 || status=$?
    if ((status == 0)) && grep -q '^Done [0-9]* runs in' "$log"; then verdict=passed; fi
    echo "$verdict" >"build/fuzz/$target.result"
    # One write, so that the two targets' reports do not interleave.
    printf '%s\n' "$(banner "fuzz $target for ${fuzz_seconds}s: $verdict"; tail -n 4 "$log")"
  }
  targets=()
  for corpus in fuzz/corpus/*/; do targets+=("$(basename "$corpus")"); done
  # Waits name the targets' own jobs: the runs over a line may still be going.
  fuzz_jobs=()
  for target in "${targets[@]}"; do
    rm -f "build/fuzz/$target.result"
    if ((${#fuzz_jobs[@]} == jobs)); then
      wait -n "${fuzz_jobs[@]}" || true
      running_jobs=()
      for job in "${fuzz_jobs[@]}"; do
        if kill -0 "$job" 2>/dev/null; then running_jobs+=("$job"); fi
      done
      fuzz_jobs=("${running_jobs[@]}")
    fi
    fuzz_target "$target" &
    fuzz_jobs+=($!)
  done
  wait "${fuzz_jobs[@]}" || true
  fuzz_passed=0 fuzz_failed=0
  for target in "${targets[@]}"; do
    if [[ $(cat "build/fuzz/$target.result" 2>/dev/null) == passed ]]; then
      fuzz_passed=$((fuzz_passed + 1))
    else
      fuzz_failed=$((fuzz_failed + 1))
    fi
  done
  record fuzz "$fuzz_passed" 0 "$fuzz_failed"
fi
if want windows; then
  banner "Windows build under Wine"
  # scripts/windows-test.sh runs ctest in build/windows, which writes this.
  rm -f build/windows/junit.xml
  status=0
  scripts/windows-test.sh || status=$?
  record_ctest windows build/windows/junit.xml "$status"
fi

if want package; then
  banner "Debian package"
  status=0
  scripts/package-test.sh || status=$?
  checks=build/package/checks.txt
  package_passed=$(grep -c '^passed: ' "$checks" 2>/dev/null || true)
  package_failed=$(grep -c '^failed: ' "$checks" 2>/dev/null || true)
  why=""
  if ((status != 0 && package_failed == 0)); then why="exit status $status"; fi
  record package "${package_passed:-0}" 0 "${package_failed:-0}" "$why"
fi

if [[ -n $lines_pid ]]; then
  banner "e2e (started after the main build)"
  waited_from=$SECONDS
  wait "$lines_pid" 2>/dev/null || true
  status=$(cat build/main/e2e.status 2>/dev/null || echo 1)
  lines_pid=""
  cat build/main/e2e.log
  # Its time in the summary is what the script waited for it at the end.
  stage_started=$waited_from
  record_ctest e2e build/main/junit-e2e.xml "$status"
fi

banner "summary"
printf '%s\n' "${summary[@]}"
printf '%-8s %5d passed %4d skipped %4d failed %5d s\n' all "$total_passed" "$total_skipped" "$total_failed" \
  "$SECONDS"
((failed_stages == 0))
