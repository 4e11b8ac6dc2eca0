#!/usr/bin/env bash
# The Qt window's whole run as an operator makes it, on a virtual X display:
# a copy of zelt20-installer in a fresh folder, its port on the command line
# standing for a simulated station's line; Enter starts, Enter answers the
# box, and once the station has the release flashed, Escape closes the
# window. The run leaves its one record in the records folder beside the
# program (installed, the fullpack sent, from the window) and a log file
# that ends with the success line.
#
# With "sigterm", the session ends under the run instead, once the header
# has gone: SIGTERM stops the run and closes the window, which leaves the
# record of a stopped run that names SIGTERM, and a log file that ends with
# the stop line.
#
# Usage: window_run.sh WORK INSTALLER STATION [sigterm]
set -euo pipefail
if [[ -z ${ZELT20_ON_XVFB:-} ]]; then
  ZELT20_ON_XVFB=1 exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash "$0" "$@"
fi
work=$1
installer=$2
station=$3
ending=${4:-escape}
success_line='Установка новой версии прошла успешно!'
stop_line='Выполнение прервано пользователем'

fail() {
  echo "window_run: $*" >&2
  exit 1
}
# Waits up to $1 seconds for process $2 to end.
ended_within() {
  local _
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$2" 2>/dev/null || return 0
    sleep 0.1
  done
  return 1
}

rm -rf "$work"
mkdir -p "$work"
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# The station holds an older fullpack, so the run sends it too.
"$station" --exit-after-prom --timeout 600 >"$work/station.out" 2>"$work/station.err" &
station_pid=$!
pids+=("$station_pid")
device=
for _ in $(seq 100); do
  device=$(head -n 1 "$work/station.out" 2>/dev/null || true)
  [[ -n $device ]] && break
  sleep 0.1
done
[[ -n $device ]] || fail "the station did not start"

cp "$installer" "$work/"
ZELT20_COM5=$device QT_QPA_PLATFORM=xcb "$work/$(basename "$installer")" 5 >"$work/window.out" 2>&1 &
window_pid=$!
pids+=("$window_pid")
window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$window_pid" --name 'ZELT20' | head -n 1)
[[ -n $window ]] || fail "no window"
xdotool windowfocus --sync "$window" key Return
box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Внимание$' | head -n 1)
[[ -n $box ]] || fail "no box"
xdotool windowfocus --sync "$box" key Return
records=$work/records/installations.jsonl

if [[ $ending == sigterm ]]; then
  for _ in $(seq 1200); do
    grep -qs 'Заголовок апгрейтора загружен' "$work"/records/*.log && break
    sleep 0.1
  done
  kill -TERM "$window_pid"
  ended_within 30 "$window_pid" || fail "SIGTERM did not close the window"
  wait "$window_pid" || fail "zelt20-installer ended with status $?"
  (($(wc -l <"$records") == 1)) || fail "installations.jsonl holds: $(cat "$records")"
  for field in '"outcome":"stopped"' '"stopped_by":"SIGTERM"' '"front_end":"window"'; do
    grep -qF "$field" "$records" || fail "the record has no $field: $(cat "$records")"
  done
  log=$work/records/$(sed -n 's/.*"log_file":"\([^"]*\)".*/\1/p' "$records")
  [[ $(tail -n 1 "$log") == "$stop_line"$'\r' ]] || fail "the log file does not end with the stop line"
  echo "window_run: $(basename "$log") and its record: $(cat "$records")"
  exit 0
fi

# The station ends once the installer has let go of the line after PROM.
ended_within 420 "$station_pid" || fail "the run did not end"
grep -q 'flashed code: matches release' "$work/station.out" ||
  fail "the station does not hold the release: $(cat "$work/station.out")"
for _ in $(seq 100); do
  [[ -s $records ]] && break
  sleep 0.1
done
xdotool windowfocus --sync "$window" key Escape
ended_within 60 "$window_pid" || fail "Escape did not close the window"
wait "$window_pid" || fail "zelt20-installer ended with status $?"

[[ -f $records ]] || fail "no installations.jsonl beside the program"
(($(wc -l <"$records") == 1)) || fail "installations.jsonl holds: $(cat "$records")"
for field in '"outcome":"installed"' '"fullpack_sent":true' '"front_end":"window"'; do
  grep -qF "$field" "$records" || fail "the record has no $field: $(cat "$records")"
done
log=$work/records/$(sed -n 's/.*"log_file":"\([^"]*\)".*/\1/p' "$records")
[[ -f $log ]] || fail "the record names no log file beside it: $(cat "$records")"
[[ $(tail -n 1 "$log") == "$success_line"$'\r' ]] || fail "the log file does not end with the success line"
echo "window_run: $(basename "$log") and its record: $(cat "$records")"
