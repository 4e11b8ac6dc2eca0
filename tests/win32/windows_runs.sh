#!/usr/bin/env bash
# The Windows programs' whole runs under Wine, as CTest tests (see
# tests/win32/CMakeLists.txt); each ends with status 0 only when every check
# held, and names the first that did not. WORK is a folder of the run's own,
# made afresh; STATION the folder of a station fixture (station_fixture.sh).
#
#   windows_runs.sh system-dlls EXE...
#       each program needs no DLL beyond the system's
#   windows_runs.sh console WORK STATION COM INSTALL_EXE
#       zelt20-install.exe --yes COM: exit status 0, the log ends with the
#       success line and keeps its line ends, the station flashed the release;
#       the run's record in WORK/records, its log file equal to the output.
#       With ZELT20_FLEET the upload connection of a fresh database of the
#       server in $ZELT20_TEST_PG_DIR (made by $ZELT20_TEST_PG_SCRIPT
#       createdb): the database then holds that one run, installed, with its
#       log file's text, and a later --sync finds nothing left to upload
#   windows_runs.sh console-several WORK INSTALL_EXE COM:STATION...
#       zelt20-install.exe --yes COM COM ... at once: exit status 0, every
#       run's log file ends with the success line, the summary counts every
#       run installed, every station flashed the release
#   windows_runs.sh console-ending WORK COM MOMENT ENDING OUTCOME STOPPED_BY PROBE_EXE INSTALL_EXE
#       zelt20-install.exe --yes COM ended at MOMENT as Windows ends it
#       (window_probe end-console): exit status 3 within 5 s of the event,
#       the run's record of the OUTCOME naming STOPPED_BY, its log file equal
#       to the output
#   windows_runs.sh window-install|window-stop WORK STATION COM INSTALLER_EXE PROBE_EXE
#       the window driven with keys as an operator would (xdotool), its port
#       picked in the box: a whole installation, or Stop clicked during the
#       transfer; each closed with Escape, the picked port in config.ini, the
#       run's record in the records folder beside the program and its log
#       file holding what the pane showed
#   windows_runs.sh window-end-session WORK STATION COM INSTALLER_EXE PROBE_EXE
#       the window's session ends during the transfer (a logoff): the program
#       ends within 5 s of WM_ENDSESSION, leaving the record of a stop by it
#   windows_runs.sh unpacked-zip WORK ZIP PROBE_EXE
#       the zip unpacked into a fresh folder of the prefix's drive C: the two
#       programs, two texts with Windows line ends and the fleet database's
#       schema in fleet/; the window started
#       from there and closed leaves config.ini beside it
set -euo pipefail
run=$1
shift
wine=${ZELT20_WINE:-wine}
success_line='Установка новой версии прошла успешно!'

fail() {
  echo "$run: $*" >&2
  exit 1
}

# Makes the run's folder afresh; sets work.
fresh_folder() {
  work=$1
  rm -rf "$work"
  mkdir -p "$work"
}

# Waits up to $2 seconds for the station of folder $1 to end by itself and
# checks its verdict: the release flashed and correctly stamped.
station_flashed() {
  local _
  for _ in $(seq $(($2 * 10))); do
    [[ -f $1/status ]] && break
    sleep 0.1
  done
  [[ -f $1/status ]] || fail "the station did not end after the run"
  cat "$1/report.txt" 2>/dev/null || true
  [[ $(cat "$1/status") == 0 ]] || fail "the station did not end with the release flashed"
}

# The one record in the records folder $1 is of the outcome $2 and names a
# log file of that folder; sets record and log.
one_record() {
  local records=$1/installations.jsonl
  [[ -f $records ]] || fail "no installations.jsonl in $1"
  (($(wc -l <"$records") == 1)) || fail "installations.jsonl holds: $(cat "$records")"
  record=$(cat "$records")
  [[ $record == *"\"outcome\":\"$2\""* ]] || fail "the record is not of a run $2: $record"
  log=$1/$(sed -n 's/.*"log_file":"\([^"]*\)".*/\1/p' <<<"$record")
  [[ -f $log ]] || fail "the record names no log file of $1: $record"
}

# As one_record, and the log file's text is that of file $3 (with $4 =
# lines: line for line, as a window's pane shows it).
record_kept() {
  one_record "$1" "$2"
  if [[ ${4:-} == lines ]]; then
    cmp -s <(tr -d '\r' <"$log") <(tr -d '\r' <"$3") || fail "the log file differs from the pane"
  else
    cmp -s "$log" "$3" || fail "the log file differs from the run's output"
  fi
}

# The record names $1 as what stopped the run.
stopped_by() {
  [[ $record == *"\"stopped_by\":\"$1\""* ]] || fail "the record names no stop by $1: $record"
}

# The probe's report of an end, $1 ("status S after N ms"): the program ended
# with status $2, within the 5 s that Windows gives a program it ends.
ended_in_time() {
  [[ $1 =~ ^status\ ([0-9]+)\ after\ ([0-9]+)\ ms ]] || fail "no end reported: $1"
  ((BASH_REMATCH[1] == $2)) || fail "the program ended with status ${BASH_REMATCH[1]}, not $2"
  ((BASH_REMATCH[2] < 5000)) || fail "the program ended ${BASH_REMATCH[2]} ms after the event"
}

# The lines of config.ini beside the program in folder $1, without line ends.
stored_settings() { tr -d '\r' <"$1/config.ini" | tr '\n' ' '; }

system_dlls() {
  # SetupAPI lists the COM ports and ODBC32 reaches the fleet database;
  # every Windows has both.
  local system=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll odbc32.dll setupapi.dll user32.dll "
  local program dll
  for program in "$@"; do
    local dlls
    dlls=$("${OBJDUMP:?}" -p "$program" | sed -n 's/^[[:space:]]*DLL Name: //p')
    [[ -n $dlls ]] || fail "no DLL list in $program"
    echo "$(basename "$program"):" $dlls
    for dll in $dlls; do
      [[ $system == *" ${dll,,} "* ]] || fail "$(basename "$program") needs $dll"
    done
  done
}

# A fresh database of the fleet's test server, named $1 and this run's
# process; sets fleet_admin and fleet_upload to its connection strings.
fleet_database() {
  local made
  made=$("${ZELT20_TEST_PG_SCRIPT:?}" createdb "${ZELT20_TEST_PG_DIR:?}" "${1}_$$") ||
    fail "no fleet database made"
  fleet_admin=$(sed -n 's/^admin=//p' <<<"$made")
  fleet_upload=$(sed -n 's/^upload=//p' <<<"$made")
  [[ -n $fleet_admin && -n $fleet_upload ]] || fail "createdb printed: $made"
}

# What the fleet database holds, asked as its administrator with the SQL $1:
# the rows, one a line, the columns apart by a blank.
fleet_rows() {
  "$ZELT20_TEST_PG_SCRIPT" psql "$ZELT20_TEST_PG_DIR" "$fleet_admin" -X -q -A -t -F ' ' \
    -v ON_ERROR_STOP=1 -c "$1" || fail "the fleet database cannot be read"
}

console() {
  fresh_folder "$1"
  local station=$2 com=$3 program=$4 status=0
  fleet_database windows_console
  ZELT20_FLEET=$fleet_upload timeout 420 "$wine" "$program" --yes --records "$(winepath -w "$work/records")" "$com" \
    >"$work/install.log" 2>"$work/install.err" || status=$?
  cat "$work/install.log"
  ((status == 0)) || fail "zelt20-install.exe ended with status $status: $(cat "$work/install.err")"
  if grep -q $'\r\r' "$work/install.log"; then fail "the log's line ends were translated"; fi
  [[ $(tail -n 1 "$work/install.log") == "$success_line"$'\r' ]] ||
    fail "the log does not end with the success line"
  # The station ends at most 5 s after the installer has closed the line.
  station_flashed "$station" 15
  record_kept "$work/records" installed "$work/install.log"

  # The run went to the fleet database as it ended: that run alone, with
  # its log file's text.
  if grep -a 'fleet database' "$work/install.err" >&2; then fail "the run was not uploaded (above)"; fi
  local run_id rows
  run_id=$(sed -n 's/.*"run_id":"\([^"]*\)".*/\1/p' <<<"$record")
  [[ -n $run_id ]] || fail "the record names no run_id: $record"
  rows=$(fleet_rows "SELECT run_id, outcome, md5(log_text), received - ended FROM zelt20.runs")
  echo "fleet database: $rows"
  [[ $rows == "$run_id installed $(md5sum <"$log" | cut -d ' ' -f 1) "* && $rows != *$'\n'* ]] ||
    fail "the fleet database holds not that one run with its log: $rows"

  # Nothing is left to upload.
  status=0
  ZELT20_FLEET=$fleet_upload timeout 120 "$wine" "$program" --sync --records "$(winepath -w "$work/records")" \
    >"$work/sync.out" 2>"$work/sync.err" || status=$?
  cat "$work/sync.out" "$work/sync.err"
  ((status == 0)) || fail "zelt20-install.exe --sync ended with status $status"
  [[ $(cat "$work/sync.out") == $'uploaded 0, already there 0, refused 0, pending 0\r' ]] ||
    fail "--sync printed: $(cat -A "$work/sync.out")"
}

console_several() {
  fresh_folder "$1"
  local program=$2 status=0
  shift 2
  local coms=() stations=() port
  for port in "$@"; do
    coms+=("${port%%:*}")
    stations+=("${port#*:}")
  done
  timeout 420 "$wine" "$program" --yes --records "$work/records" "${coms[@]}" \
    >"$work/summary.txt" 2>"$work/install.err" || status=$?
  cat "$work/summary.txt"
  ((status == 0)) || fail "zelt20-install.exe ended with status $status: $(cat "$work/install.err")"
  [[ $(tail -n 1 "$work/summary.txt" | tr -d '\r') == "${#coms[@]} installed, 0 failed, 0 stopped, 0 not started" ]] ||
    fail "the summary does not count every run installed"
  local com log
  for com in "${coms[@]}"; do
    log=$(find "$work/records" -name "*_COM${com}.log" | head -n 1)
    [[ -n $log ]] || fail "no log file of COM$com"
    [[ $(tail -n 1 "$log") == "$success_line"$'\r' ]] || fail "the log of COM$com does not end with the success line"
  done
  for port in "${stations[@]}"; do station_flashed "$port" 15; done
}

console_ending() {
  fresh_folder "$1"
  local com=$2 moment=$3 ending=$4 outcome=$5 by=$6 report
  probe_program=$7
  report=$(probe end-console "$ending" "$moment" "$(winepath -w "$work/install.log")" \
    "$(winepath -w "$8")" --yes --records "$(winepath -w "$work/records")" "$com" \
    2>"$work/install.err") || fail "$ending did not end the run: $(cat "$work/install.err")"
  echo "$ending at the $moment: $report"
  ended_in_time "$report" 3
  record_kept "$work/records" "$outcome" "$work/install.log"
  stopped_by "$by"
}

# --- the window, driven from outside --------------------------------------

probe() { timeout 700 "$wine" "$probe_program" "$@"; }
window_fail() {
  import -window root "$work/failure.png" 2>/dev/null || true
  probe log >"$work/failure.log" 2>/dev/null || true
  fail "$* (the screen: $work/failure.png, the log: $work/failure.log)"
}
# Starts the program $1 with no command line; sets dialog to its X window
# and window_pid.
start_window() {
  "$wine" "$1" >>"$work/window.out" 2>&1 &
  window_pid=$!
  dialog=$(timeout 60 xdotool search --sync --onlyvisible --name 'ZELT20$' | head -n 1) ||
    window_fail "no window"
}
# Keys to the window $1, as the operator types them.
keys() {
  xdotool windowfocus --sync "$1"
  xdotool key --delay 100 "${@:2}"
}
# Enter answers the confirmation box with OK.
confirm() {
  local box
  box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Внимание$' | head -n 1) ||
    window_fail "no box"
  keys "$box" Return
}
# Escape closes the window (after a run the focus is on Stop/Exit): the
# program ends, and config.ini beside it holds the port $1.
close_window() {
  keys "$dialog" Escape
  timeout 60 bash -c "while kill -0 $window_pid 2>/dev/null; do sleep 0.2; done" ||
    window_fail "Escape did not close the window"
  wait "$window_pid" || window_fail "zelt20-installer.exe ended with status $?"
  [[ -f $work/config.ini ]] || fail "no config.ini beside the program"
  tr -d '\r' <"$work/config.ini" | grep -qx "com=$1" ||
    fail "config.ini holds $(stored_settings "$work"), not com=$1"
}

# A copy of the window's program in the run's folder, with the port $2
# remembered from an earlier day.
window_folder() {
  fresh_folder "$1"
  cp "$3" "$work/"
  printf '[port]\r\ncom=%s\r\n' "$2" >"$work/config.ini"
}

# The remembered port is one above the station's: Up in the box picks it,
# Tab goes round to Start, Enter starts and answers the box.
window_install() {
  local station=$2 com=$3
  probe_program=$5
  window_folder "$1" $((com + 1)) "$4"
  start_window "$work/$(basename "$4")"
  keys "$dialog" Tab Tab Tab Up Tab Return
  confirm
  probe wait-log success || window_fail "the log does not end with the success line"
  probe log >"$work/window.log"
  station_flashed "$station" 15
  close_window "$com"
  record_kept "$work/records" installed "$work/window.log" lines
}

# The remembered port is one below the station's: Down in the box picks it,
# Enter there starts; returns once the transfer is under way.
window_transfer() {
  local com=$3
  probe_program=$5
  window_folder "$1" $((com - 1)) "$4"
  start_window "$work/$(basename "$4")"
  keys "$dialog" Tab Tab Tab Down Return
  confirm
  probe wait-progress 1 || window_fail "the transfer did not start"
}

# Stop is clicked during the transfer.
window_stop() {
  local com=$3
  window_transfer "$@"
  local stop_x stop_y
  read -r stop_x stop_y < <(probe point 2)
  xdotool mousemove --sync "$stop_x" "$stop_y" click 1
  probe wait-log stopped || window_fail "the log does not end with the stop line"
  probe log >"$work/window.log"
  if grep -q "$success_line" "$work/window.log"; then fail "a stopped run logged the success line"; fi
  close_window "$com"
  record_kept "$work/records" stopped "$work/window.log" lines
}

# The session ends during the transfer: the window closes by itself.
window_end_session() {
  window_transfer "$@"
  local report
  report=$(probe end-session) || window_fail "the session's end did not end the program"
  echo "WM_ENDSESSION: $report"
  wait "$window_pid" || true  # its status is in the report
  ended_in_time "$report" 0
  one_record "$work/records" stopped
  stopped_by WM_ENDSESSION
}

# The operator's first start from the unpacked folder: no port remembered
# yet, so closing at once stores 0.
unpacked_zip() {
  local zip=$2
  probe_program=$3
  [[ -f $zip ]] || fail "no $zip (cpack makes it)"
  fresh_folder "$WINEPREFIX/drive_c/$(basename "$1")"
  (cd "$work" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
  local listing expected="LICENSE.txt README.txt fleet fleet/schema.sql zelt20-install.exe zelt20-installer.exe"
  listing=$(cd "$work" && find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | xargs)
  [[ $listing == "$expected" ]] || fail "the zip holds: $listing (not: $expected)"
  local text
  for text in LICENSE.txt README.txt; do
    [[ -s $work/$text ]] || fail "$text is empty"
    if grep -qv $'\r$' "$work/$text"; then fail "$text has a line without a Windows line end"; fi
  done
  grep -q '^CREATE TABLE IF NOT EXISTS zelt20.runs ($' "$work/fleet/schema.sql" ||
    fail "fleet/schema.sql is not the fleet database's schema"
  start_window "C:\\$(basename "$work")\\zelt20-installer.exe"
  close_window 0
  tr -d '\r' <"$work/config.ini" | grep -qx '\[port\]' ||
    fail "config.ini holds $(stored_settings "$work")"
}

case $run in
  system-dlls) system_dlls "$@" ;;
  console) console "$@" ;;
  console-several) console_several "$@" ;;
  window-install) window_install "$@" ;;
  window-stop) window_stop "$@" ;;
  console-ending) console_ending "$@" ;;
  window-end-session) window_end_session "$@" ;;
  unpacked-zip) unpacked_zip "$@" ;;
  *) fail "unknown run" ;;
esac
