#!/usr/bin/env bash
# The Windows build, cross-compiled with mingw-w64 and tested under Wine:
# builds build/windows (the console installer zelt20-install.exe, the window
# zelt20-installer.exe, the tests and their helpers) and runs ctest there,
# which also makes and tries zelt20-installer-<version>-win64.zip (cpack)
# and runs the whole installations under Wine against native simulated
# stations (tests/win32/CMakeLists.txt). The results land in
# build/windows/junit.xml.
#
# Wine runs in a private prefix, build/windows/wineprefix, made when missing,
# on a virtual X display (the script runs itself under xvfb-run). The
# simulated station is the native zelt20-station, from build/main when that
# build exists, else built in build/windows-host.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/windows
jobs=2
# The Windows tests mostly wait on Wine and on serial time-outs.
test_jobs=4

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

# One server for the whole script, started before the build (which runs the
# tests under Wine to list them) with its output in a log: a server that a
# Wine program starts keeps that program's output open, and CTest and Ninja
# would wait for it. It ends with the script, and every Wine program with it.
mkdir -p "$WINEPREFIX"
trap 'timeout 30 wineserver -k 2>/dev/null || true' EXIT
banner "Wine prefix"
timeout 30 wineserver -k 2>/dev/null || true
timeout 30 wineserver -p >"$build/wineserver.log" 2>&1
timeout 300 wine wineboot -u >"$build/wineboot.log" 2>&1 || {
  echo "windows-test: wineboot failed (see $build/wineboot.log)" >&2
  exit 1
}
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

banner "Windows build"
timeout 60 cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
  -DZELT20_WINEPREFIX="$WINEPREFIX" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELT20_WERROR=ON \
  -DZELT20_BUILD_BENCH=OFF -DZELT20_HOST_STATION="$root/$station_build/sim/zelt20-station" >/dev/null
timeout 1800 cmake --build "$build" -j "$jobs"

banner "Windows tests under Wine"
timeout 900 ctest --test-dir "$build" --output-on-failure -j "$test_jobs" --timeout 600 \
  --no-tests=error --output-junit junit.xml
