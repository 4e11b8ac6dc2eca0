#!/usr/bin/env bash
# The Windows build, cross-compiled with mingw-w64 and tested under Wine:
#   1. builds build/windows: the core, the console installer
#      zelt20-install.exe, the window zelt20-installer.exe (checked to need
#      no DLL beyond the system's), the tests and the line check;
#   2. runs the tests under Wine with ctest, the window's among them;
#   3. checks the serial device's line settings and read time-outs on the
#      simulated station's line (printed, with the measured times);
#   4. runs one whole console installation under Wine against the simulated
#      station and checks its exit status, its success line and the
#      station's verdict on the flashed code;
#   5. meanwhile drives the window under Wine as an operator would, with
#      keys and a click (xdotool): a whole installation (Enter starts, Enter
#      answers the box, the log ends with the success line, the station's
#      verdict), then in a second start of the program a port picked in the
#      box and Stop during the transfer (the stop line), each closed with
#      Escape and checked in the config.ini beside the program.
# Writes the number of tests passed (ctest's count plus 1 for the console
# installation, 1 for the DLL check and 2 for the window's runs) to
# build/windows/passed.
#
# Wine runs in a private prefix, build/windows/wineprefix, made when missing,
# on a virtual X display (the script runs itself under xvfb-run). The
# simulated station is the native zelt20-station, from build/main when that
# build exists, else built in build/windows-host. Each station's
# pseudo-terminal becomes a COM port of the prefix: a value
# COM<n> = /dev/pts/N under HKLM\Software\Wine\Ports (which Wine's mount
# manager applies whenever it starts) and the link dosdevices/com<n>.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
jobs=2

if [[ -z ${ZELT20_ON_XVFB:-} ]]; then
  scripts/deps.sh test
  ZELT20_ON_XVFB=1 exec xvfb-run -a -s '-screen 0 1024x768x24 -nolisten tcp' bash "$0" "$@"
fi

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No offer to install .NET or HTML support into the prefix.
unset WAYLAND_DISPLAY
export WINEDLLOVERRIDES="mscoree,mshtml="

banner() { printf '\n=== %s\n' "$*"; }
fail() {
  echo "windows-test: $*" >&2
  exit 1
}

# Everything started here ends with the script: the stations by their
# process ids, the prefix's Wine server with every Wine process of it.
station_pids=()
com_ports=()
cleanup() {
  local pid port
  for pid in "${station_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${station_pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  for port in "${com_ports[@]}"; do
    rm -f "$WINEPREFIX/dosdevices/com$port"
    timeout 30 wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$port" /f >/dev/null 2>&1 || true
  done
  if [[ -d $WINEPREFIX ]]; then timeout 30 wineserver -k 2>/dev/null || true; fi
}
trap cleanup EXIT

rm -f "$build/passed"
mkdir -p "$WINEPREFIX"

banner "Wine prefix"
# One server for the whole script, started here with its output in a log:
# a server that a Wine program starts keeps that program's output open
# (a pipe would not end before the server does).
timeout 30 wineserver -k 2>/dev/null || true
timeout 30 wineserver -p >"$build/wineserver.log" 2>&1
timeout 300 wine wineboot -u >"$build/wineboot.log" 2>&1 || fail "wineboot failed (see $build/wineboot.log)"
wine --version 2>/dev/null

banner "simulated station (native)"
if [[ -f build/main/build.ninja ]]; then
  station_build=build/main
else
  station_build=build/windows-host
  cmake -S . -B "$station_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_WERROR=ON \
    -DZELT20_BUILD_TESTS=OFF -DZELT20_BUILD_DIALOG=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
fi
timeout 900 cmake --build "$station_build" -j "$jobs" --target zelt20-station
station=$root/$station_build/sim/zelt20-station

banner "Windows build"
timeout 60 cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DZELT20_WINEPREFIX="$WINEPREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_WERROR=ON \
  -DZELT20_BUILD_BENCH=OFF >/dev/null
timeout 1200 cmake --build "$build" -j "$jobs"
window_program=$build/ui/win32/zelt20-installer.exe

banner "zelt20-installer.exe needs only the system's DLLs"
# SetupAPI lists the COM ports for the port box's hint; every Windows has it.
system_dlls=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll setupapi.dll user32.dll "
dlls=$(x86_64-w64-mingw32-objdump -p "$window_program" | sed -n 's/^[[:space:]]*DLL Name: //p')
echo $dlls
for dll in $dlls; do
  [[ $system_dlls == *" ${dll,,} "* ]] || fail "zelt20-installer.exe needs $dll"
done

banner "Windows tests under Wine"
ctest_log=$build/ctest.log
ctest_status=0
timeout 600 ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 120 \
  >"$ctest_log" 2>&1 || ctest_status=$?
cat "$ctest_log"
((ctest_status == 0)) || fail "ctest failed"
ctest_passed=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\)/\1/p' "$ctest_log" | tail -n 1)
[[ -n $ctest_passed ]] || fail "no ctest summary in $ctest_log"

# Starts a simulated station with the given options and makes its line COM
# port $1 of the prefix; sets station_pid.
start_station() {
  local port=$1 out=$build/station-com$1.out
  shift
  "$station" "$@" >"$out" 2>"$build/station-com$port.err" &
  station_pid=$!
  station_pids+=("$station_pid")
  local line=""
  for _ in $(seq 50); do
    line=$(head -n 1 "$out" 2>/dev/null || true)
    [[ -n $line ]] && break
    sleep 0.1
  done
  [[ $line == /dev/* ]] || fail "the simulated station did not start (see $build/station-com$port.err)"
  timeout 60 wine reg add 'HKLM\Software\Wine\Ports' /v "COM$port" /t REG_SZ /d "$line" /f \
    >/dev/null 2>&1 || fail "cannot register COM$port"
  ln -sfn "$line" "$WINEPREFIX/dosdevices/com$port"
  com_ports+=("$port")
  echo "COM$port is $line (station pid $station_pid)"
}

# Waits up to $1 seconds for the station with process id $2 to end by
# itself, then ends it; sets station_status (its exit status, or 124 when
# it had to be ended).
stop_station() {
  local pid=$2 _
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  station_status=124
  if kill -0 "$pid" 2>/dev/null; then
    kill "$pid"
    wait "$pid" 2>/dev/null || true
  else
    station_status=0
    wait "$pid" || station_status=$?
  fi
  local kept=() other
  for other in "${station_pids[@]}"; do [[ $other == "$pid" ]] || kept+=("$other"); done
  station_pids=("${kept[@]}")
}

banner "serial line check under Wine"
start_station 6 --wire-time --timeout 120
line_check_status=0
timeout 120 wine "$build/tests/serial_line_check.exe" 6 || line_check_status=$?
stop_station 0 "$station_pid"
((line_check_status == 0)) || fail "the serial line check failed"

banner "console installation under Wine (in the background)"
report=$build/station-report.txt
install_log=$build/install.log
start_station 5 --exit-after-prom --timeout 420 --report "$report"
console_station=$station_pid
SECONDS=0
(
  status=0
  timeout 420 wine "$build/cli/zelt20-install.exe" --yes 5 >"$install_log" 2>"$build/install.err" ||
    status=$?
  echo "$SECONDS" >"$build/install.seconds"
  exit "$status"
) &
console_pid=$!

banner "the window under Wine, driven with keys"
window_dir=$build/window-run
rm -rf "$window_dir"
mkdir -p "$window_dir"
cp "$window_program" "$window_dir/"
probe() { timeout 700 wine "$build/tests/window_probe.exe" "$@"; }
window_fail() {
  import -window root "$build/window-failure.png" 2>/dev/null || true
  probe log >"$build/window-failure.log" 2>/dev/null || true
  fail "$* (the screen: $build/window-failure.png, the log: $build/window-failure.log)"
}
# Starts the window from $window_dir with no command line; sets dialog to
# its X window and window_pid.
start_window() {
  wine "$window_dir/zelt20-installer.exe" >>"$build/window.out" 2>&1 &
  window_pid=$!
  dialog=$(timeout 60 xdotool search --sync --onlyvisible --name 'ZELT20$' | head -n 1) || window_fail "no window"
}
# Keys to the window $1, as the operator types them.
keys() {
  xdotool windowfocus --sync "$1"
  xdotool key --delay 100 "${@:2}"
}
# Enter answers the confirmation box with OK.
confirm() {
  local box
  box=$(timeout 120 xdotool search --sync --onlyvisible --name '^Внимание$' | head -n 1) || window_fail "no box"
  keys "$box" Return
}
# Escape closes the window (the focus is on Stop/Exit after a run); the
# program ends and config.ini holds the port $1.
close_window() {
  keys "$dialog" Escape
  timeout 60 bash -c "while kill -0 $window_pid 2>/dev/null; do sleep 0.2; done" ||
    window_fail "Escape did not close the window"
  wait "$window_pid" || window_fail "zelt20-installer.exe ended with status $?"
  grep -q "^com=$1"$'\r'"\?\$" "$window_dir/config.ini" ||
    window_fail "config.ini holds $(tr -d '\r' <"$window_dir/config.ini" | tr '\n' ' '), not com=$1"
}

# A whole installation, the port remembered from an earlier day: 7.
printf '[port]\r\ncom=7\r\n' >"$window_dir/config.ini"
window_report=$build/window-station-report.txt
start_station 7 --exit-after-prom --timeout 420 --report "$window_report"
window_station=$station_pid
start_window
keys "$dialog" Return  # Start
confirm
probe wait-log success || window_fail "the window's log does not end with the success line"
probe log >"$build/window-install.log"
stop_station 15 "$window_station"
cat "$window_report" 2>/dev/null || true
((station_status == 0)) || window_fail "the station did not end with the release flashed (status $station_status)"
close_window 7
window_install_seconds=$SECONDS
echo "installation in the window: the success line, the release flashed, com=7 kept"

# A second start: port 8 picked in the box with the keys (Tab to the box,
# Down to the next entry), Enter starts, and Stop is clicked during the
# transfer.
start_station 8 --timeout 300
stop_station_pid=$station_pid
start_window
keys "$dialog" Tab Tab Tab Down Return
confirm
probe wait-progress 1 || window_fail "the transfer did not start"
read -r stop_x stop_y < <(probe point 2)
xdotool mousemove --sync "$stop_x" "$stop_y" click 1  # Stop
probe wait-log stopped || window_fail "the window's log does not end with the stop line"
probe log >"$build/window-stop.log"
grep -q 'Установка новой версии прошла успешно' "$build/window-stop.log" &&
  window_fail "a stopped run logged the success line"
stop_station 0 "$stop_station_pid"
close_window 8
echo "Stop in the window: the stop line, com=8 stored"

banner "console installation under Wine (its end)"
install_status=0
wait "$console_pid" || install_status=$?
# The station ends at most 5 s after the installer has closed the line.
stop_station 15 "$console_station"
cat "$install_log"
echo
cat "$report" 2>/dev/null || true
((install_status == 0)) || fail "zelt20-install.exe ended with status $install_status (see $build/install.err)"
grep -q 'Установка новой версии прошла успешно!' "$install_log" || fail "no success line in $install_log"
if grep -q $'\r\r' "$install_log"; then fail "the log's line ends were translated"; fi
((station_status == 0)) || fail "the station did not end with the release flashed (status $station_status)"

echo "installations: console $(cat "$build/install.seconds") s, window ${window_install_seconds} s," \
  "all with the stop in the window ${SECONDS} s"
echo $((ctest_passed + 4)) >"$build/passed"
banner "Windows: $(cat "$build/passed") passed"
