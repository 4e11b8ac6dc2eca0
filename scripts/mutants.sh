#!/usr/bin/env bash
# Shows that the virtual-clock suite catches faults in the protocol core,
# the records and the fleet database's uploads:
# puts, one at a time, a deliberate fault (a mutant) into a copy of the tree,
# builds it, runs the suite (ctest -LE slow -E '^e2e\.': everything but the
# real-time run and the runs over pseudo-terminals) and prints which mutants
# it killed and with how many failing tests. Every mutant must be killed.
#
# The worktree is never changed: the mutants go into build/mutants/tree, a
# copy brought up to date with the worktree's files (tracked and untracked,
# not ignored) at the start, and built in build/mutants/tree/build/mutants
# through ccache. Each mutant is an exact edit that must match its file
# exactly once; one that no longer does (the code moved), or that no longer
# builds, fails the script. The copy gets its file back after each mutant
# and when the script is interrupted.
#
# Usage: scripts/mutants.sh [NAME...]   (all mutants by default)
set -euo pipefail
cd "$(dirname "$0")/.."
export LC_ALL=C  # the edits are matched byte for byte
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$PWD}

work=build/mutants
tree=$work/tree
build=$tree/build/mutants
jobs=2
test_jobs=4

# mutant NAME FILE FROM TO [FROM TO...]: in FILE, each FROM (matched
# exactly once) becomes its TO.
names=() files=() edits=()
mutant() {
  names+=("$1")
  files+=("$2")
  local edit="" piece
  shift 2
  for piece in "$@"; do edit+="$piece"$'\x1f'; done
  edits+=("$edit")
}

mutant header-fullpack-selectors link/protocol.h \
  'kLoadHeaderSelector = 3;' 'kLoadHeaderSelector = 4;' \
  'kLoadFullpackSelector = 4;' 'kLoadFullpackSelector = 3;'
mutant last-chunk-timeout link/protocol.h \
  'kChunkTimeouts = {150, 75};' 'kChunkTimeouts = {150, 150};'
mutant prom-status-effect link/protocol.h \
  '{0x28, StatusEffect::kStoreData,' '{0x28, StatusEffect::kFail,'
mutant checksum-permutation link/packet.cpp \
  'CcittEntry(i ^ (i >> 4))' 'CcittEntry(i ^ ((i >> 4) & 7u))'
mutant unpack-bound link/packet.cpp \
  'if (copies > data.size() - emitted)' 'if (copies > data.size() + 1 - emitted)'
mutant log-capacity core/log_text.h \
  'kCapacity = 64004;' 'kCapacity = 64003;'
mutant program-version CMakeLists.txt \
  'VERSION 2.5.56 ' 'VERSION 2.5.57 '
mutant stop-after-send link/exchange.cpp \
  $'  if (stop_seen()) return ExchangeOutcome{ExchangeResult::kStopped};\n  const std::size_t n' \
  '  const std::size_t n'
mutant one-resend-fewer link/resend.h \
  'number <= 2;' 'number <= 1;'
mutant date-year-base install/station_info.cpp \
  '1920 + (stamp >> 25)' '1980 + (stamp >> 25)'
mutant header-date-offset install/firmware_image.cpp \
  'header + kHeaderDateStampOffset,' 'header + kHeaderDateStampOffset + 2,'
mutant port-number-range link/port_path.h \
  'kHighestComNumber = 255;' 'kHighestComNumber = 256;'
mutant fullpack-sent-at-choice install/installation.cpp \
  'observer.FullpackChosen(station_fullpack, fullpack_differs);' \
  'observer.FullpackChosen(station_fullpack, fullpack_differs); if (fullpack_differs) observer.FullpackSent();'
mutant segments-from-zero record/install_record.cpp \
  'std::to_string(at.segment + 1)' 'std::to_string(at.segment)'
mutant record-on-station-thread record/run_recording.cpp \
  '  writer_->Hand([files = files_, run = RunTrace::Snapshot(),' \
  '  std::invoke([files = files_, run = RunTrace::Snapshot(),'

mutant delivered-not-noted fleet/fleet_sync.cpp \
  'RememberDelivered(folder, delivered)' 'RememberDelivered(folder, {})'
mutant refusal-spoils-batch fleet/fleet_store.cpp \
  'return StateIn(error, "22") || StateIn(error, "23");' 'return StateIn(error, "23");'
mutant pwd-shown fleet/fleet_connections.cpp \
  '(SameKey(key, "PWD") || SameKey(key, "PASSWORD"))' 'SameKey(key, "PASSWORD")'

selected=("$@")
wanted() {
  ((${#selected[@]} == 0)) && return 0
  local name
  for name in "${selected[@]}"; do [[ $name == "$1" ]] && return 0; done
  return 1
}
for name in "${selected[@]}"; do
  [[ " ${names[*]} " == *" $name "* ]] || { echo "mutants.sh: no mutant named $name" >&2; exit 64; }
done

# The copy's file under mutation and its original bytes.
mutated=""
restore() {
  if [[ -n $mutated ]]; then
    # A plain copy: a new modification time, so that Ninja rebuilds.
    cp "$work/original" "$tree/$mutated"
    mutated=""
  fi
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Brings the copy up to date: changed files copied (with a new time), files
# gone from the worktree removed; unchanged files keep their times.
sync_tree() {
  mkdir -p "$tree"
  declare -A present=()
  local file
  while IFS= read -r -d '' file; do
    [[ -f $file ]] || continue
    present[$file]=1
    if ! cmp -s "$file" "$tree/$file"; then
      mkdir -p "$tree/$(dirname "$file")"
      cp "$file" "$tree/$file"
    fi
  done < <(git ls-files -z --cached --others --exclude-standard)
  while IFS= read -r -d '' file; do
    file=${file#./}
    [[ -n ${present[$file]:-} ]] || rm -f "$tree/$file"
  done < <(cd "$tree" && find . -path ./build -prune -o -type f -print0)
}

# apply_edit FILE FROM TO: replaces FROM, which must occur exactly once.
apply_edit() {
  local path=$tree/$1 from=$2 to=$3 text
  text=$(cat "$path"; printf x)
  text=${text%x}
  local without=${text//"$from"/}
  local count=$(((${#text} - ${#without}) / ${#from}))
  if ((count != 1)); then
    echo "$1: '${from%%$'\n'*}' found $count times" >>"$work/apply.log"
    return 1
  fi
  printf '%s' "${text/"$from"/"$to"}" >"$path"
}

# apply_mutant INDEX: all of its edits, or none when one does not apply.
apply_mutant() {
  local file=${files[$1]} pieces
  IFS=$'\x1f' read -r -d '' -a pieces < <(printf '%s' "${edits[$1]}") || true
  cp "$tree/$file" "$work/original"
  mutated=$file
  local i
  for ((i = 0; i < ${#pieces[@]}; i += 2)); do
    if ! apply_edit "$file" "${pieces[i]}" "${pieces[i + 1]}"; then
      restore
      return 1
    fi
  done
}

build_tree() { cmake --build "$build" -j "$jobs" >"$work/build.log" 2>&1; }

# run_suite: the number of failing tests (their names in $work/failed).
run_suite() {
  rm -f "$build/junit.xml"
  ctest --test-dir "$build" -LE slow -E '^e2e\.' -j "$test_jobs" --timeout 300 --no-tests=error \
    --output-junit junit.xml >"$work/ctest.log" 2>&1 || true
  if [[ ! -f $build/junit.xml ]]; then
    echo "no test ran" >"$work/failed"
    echo 1
    return
  fi
  { grep -o '<testcase name="[^"]*"[^>]*status="fail"' "$build/junit.xml" || true; } |
    sed -e 's/<testcase name="\([^"]*\)".*/\1/' -e 's/  # GetParam().*//' \
      -e 's|/[0-9]*-byte object .*||' >"$work/failed"
  wc -l <"$work/failed"
}

seconds() { date +%s; }
started=$(seconds)

mkdir -p "$work"
: >"$work/apply.log"
echo "copying the tree to $tree"
sync_tree
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELT20_WERROR=ON \
  -DZELT20_BUILD_BENCH=OFF -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
echo "building and running the suite without a mutant"
if ! build_tree; then
  tail -n 30 "$work/build.log"
  echo "mutants.sh: the tree does not build without a mutant" >&2
  exit 1
fi
baseline_failed=$(run_suite)
if ((baseline_failed > 0)); then
  cat "$work/failed"
  echo "mutants.sh: the suite fails without a mutant" >&2
  exit 1
fi
echo "baseline: the suite passes ($(($(seconds) - started)) s)"

rows=()
bad=0
for index in "${!names[@]}"; do
  name=${names[$index]}
  wanted "$name" || continue
  mutant_started=$(seconds)
  if ! apply_mutant "$index"; then
    verdict="NO LONGER APPLIES: $(tail -n 1 "$work/apply.log")"
    bad=$((bad + 1))
  elif ! build_tree; then
    restore
    verdict="DOES NOT BUILD (see $work/$name.build.log)"
    cp "$work/build.log" "$work/$name.build.log"
    bad=$((bad + 1))
  else
    failed=$(run_suite)
    restore
    cp "$work/failed" "$work/$name.failed"
    if ((failed == 0)); then
      verdict="SURVIVED"
      bad=$((bad + 1))
    else
      first=$(head -n 2 "$work/failed" | paste -sd, - | sed 's/,/, /g')
      ((failed > 2)) && first+=", ..."
      tests="tests"
      ((failed == 1)) && tests="test"
      verdict="killed by $failed $tests ($first)"
    fi
  fi
  rows+=("$(printf '%-26s %-26s %4ds  %s' "$name" "${files[$index]}" \
    $(($(seconds) - mutant_started)) "$verdict")")
  echo "${rows[-1]}"
done

printf '\n%-26s %-26s %5s  %s\n' mutant where time result
printf '%s\n' "${rows[@]}"
echo "wall time $(($(seconds) - started)) s; failing tests per mutant in $work/NAME.failed"
if ((bad > 0)); then
  echo "mutants.sh: mutants not killed: $bad" >&2
  exit 1
fi
