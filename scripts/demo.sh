#!/usr/bin/env bash
# The installer's main job: install the firmware release it carries into a
# ZELT20 station.
#
#   scripts/demo.sh          no station at hand: start the simulated station on
#                            a pseudo-terminal (19200-baud wire time) and install
#                            into it as COM1
#   scripts/demo.sh PORT     the real station on COM port PORT
#
# The window opens when a display is available; otherwise the console
# installer runs, answering OK to its boxes for the simulated station only.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run

build=build/main
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZELT20_WERROR=ON \
  -DZELT20_BUILD_TESTS=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target zelt20-install zelt20-station zelt20-installer

have_display() { [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1 || [[ -n "${WAYLAND_DISPLAY:-}" ]]; }

if (($#)); then
  if have_display; then exec "$build/ui/qt/zelt20-installer" "$1"; fi
  exec "$build/cli/zelt20-install" "$1"
fi

work=$(mktemp -d)
station_pid=""
cleanup() {
  [[ -n "$station_pid" ]] && kill "$station_pid" 2>/dev/null && wait "$station_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$build/sim/zelt20-station" --wire-time --report "$work/report.txt" >"$work/station.out" &
station_pid=$!
for _ in $(seq 100); do
  [[ -s "$work/station.out" ]] && break
  sleep 0.05
done
device=$(head -n 1 "$work/station.out")
[[ -e "$device" ]] || { echo "the simulated station did not start" >&2; exit 1; }
export ZELT20_COM1="$device"
echo "Simulated station on $device (COM1)" >&2

status=0
if have_display; then
  "$build/ui/qt/zelt20-installer" 1 || status=$?
else
  "$build/cli/zelt20-install" --yes 1 || status=$?
fi
kill "$station_pid" && wait "$station_pid" 2>/dev/null || true
station_pid=""
echo >&2
echo "What the simulated station received:" >&2
cat "$work/report.txt" >&2
exit "$status"
