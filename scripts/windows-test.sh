#!/usr/bin/env bash
# The Windows build, cross-compiled with mingw-w64 and tested under Wine:
#   1. builds build/windows: the core, the console installer
#      zelt20-install.exe, the window zelt20-installer.exe (checked to need
#      no DLL beyond the system's), the tests and the line check;
#   2. runs the tests under Wine with ctest;
#   3. checks the serial device's line settings and read time-outs on the
#      simulated station's line (printed, with the measured times);
#   4. runs one whole console installation under Wine against the simulated
#      station and checks its exit status, its success line and the
#      station's verdict on the flashed code.
# Writes the number of tests passed (ctest's count plus 1 for the
# installation and 1 for the DLL check) to build/windows/passed.
#
# Wine runs in a private prefix, build/windows/wineprefix, made when missing;
# it needs no display. The simulated station is the native zelt20-station,
# from build/main when that build exists, else built in build/windows-host.
# Each station's pseudo-terminal becomes a COM port of the prefix: a value
# COM<n> = /dev/pts/N under HKLM\Software\Wine\Ports (which Wine's mount
# manager applies whenever it starts) and the link dosdevices/com<n>.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
jobs=2

scripts/deps.sh test

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
# No display, and no offer to install .NET or HTML support into the prefix.
unset DISPLAY WAYLAND_DISPLAY
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
  cmake -S . -B "$station_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_BUILD_TESTS=OFF \
    -DZELT20_BUILD_DIALOG=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
fi
timeout 900 cmake --build "$station_build" -j "$jobs" --target zelt20-station
station=$root/$station_build/sim/zelt20-station

banner "Windows build"
timeout 60 cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DZELT20_WINEPREFIX="$WINEPREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_BUILD_BENCH=OFF \
  >/dev/null
timeout 1200 cmake --build "$build" -j "$jobs"
window_program=$build/ui/win32/zelt20-installer.exe

banner "zelt20-installer.exe needs only the system's DLLs"
system_dlls=" advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll user32.dll "
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

# Waits up to $1 seconds for the last station to end by itself, then ends
# it; sets station_status (its exit status, or 124 when it had to be ended).
stop_station() {
  local _
  for _ in $(seq $(($1 * 10))); do
    kill -0 "$station_pid" 2>/dev/null || break
    sleep 0.1
  done
  station_status=124
  if kill -0 "$station_pid" 2>/dev/null; then
    kill "$station_pid"
    wait "$station_pid" 2>/dev/null || true
  else
    station_status=0
    wait "$station_pid" || station_status=$?
  fi
  unset 'station_pids[-1]'
}

banner "serial line check under Wine"
start_station 6 --wire-time --timeout 120
line_check_status=0
timeout 120 wine "$build/tests/serial_line_check.exe" 6 || line_check_status=$?
stop_station 0
((line_check_status == 0)) || fail "the serial line check failed"

banner "console installation under Wine"
report=$build/station-report.txt
install_log=$build/install.log
start_station 5 --exit-after-prom --timeout 420 --report "$report"
install_status=0
timeout 420 wine "$build/cli/zelt20-install.exe" --yes 5 >"$install_log" 2>"$build/install.err" ||
  install_status=$?
# The station ends at most 5 s after the installer has closed the line.
stop_station 15
cat "$install_log"
echo
cat "$report" 2>/dev/null || true
((install_status == 0)) || fail "zelt20-install.exe ended with status $install_status (see $build/install.err)"
grep -q 'Установка новой версии прошла успешно!' "$install_log" || fail "no success line in $install_log"
if grep -q $'\r\r' "$install_log"; then fail "the log's line ends were translated"; fi
((station_status == 0)) || fail "the station did not end with the release flashed (status $station_status)"

echo $((ctest_passed + 2)) >"$build/passed"
banner "Windows: $(cat "$build/passed") passed"
