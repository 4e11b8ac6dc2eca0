#!/bin/sh
# Takes a picture of the installer's window in the middle of a run against
# the simulated station, on a virtual X server with a window manager, so the
# caption and frame show as an operator sees them.
#
# Usage: tools/screenshot.sh [BUILD_DIR] [OUTPUT_PNG]
#   BUILD_DIR   a build with zelt20-installer and zelt20-station (default: build)
#   OUTPUT_PNG  default: docs/dialog.png
# Needs: Xvfb, openbox, xdotool, ImageMagick's import.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
output=${2:-$root/docs/dialog.png}
display=:${ZELT20_SCREENSHOT_DISPLAY:-97}
# Seconds between the operator's OK and the picture: a fifth or so of the
# image has gone by then.
transfer_seconds=${ZELT20_SCREENSHOT_DELAY:-25}

work=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

Xvfb "$display" -screen 0 800x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids="$pids $!"
export DISPLAY="$display"
tries=0
until xdotool getmouselocation >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "screenshot: X server $display did not start" >&2; exit 1; }
  sleep 0.1
done
openbox >"$work/openbox.log" 2>&1 &
pids="$pids $!"

# The simulated station; the installer waits out each reply's interval
# time-out, so the transfer takes a minute or two.
"$build/sim/zelt20-station" >"$work/station.out" 2>"$work/station.err" &
pids="$pids $!"
tries=0
until device=$(head -n 1 "$work/station.out" 2>/dev/null) && [ -n "$device" ]; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "screenshot: the station did not start" >&2; exit 1; }
  sleep 0.1
done

# A copy of the installer, so that its config.ini goes to the scratch folder.
cp "$build/ui/qt/zelt20-installer" "$work/"
ZELT20_COM5="$device" QT_QPA_PLATFORM=xcb "$work/zelt20-installer" 5 >"$work/installer.log" 2>&1 &
pids="$pids $!"

window=$(xdotool search --sync --onlyvisible --name 'ZELT20' | head -n 1)
xdotool windowactivate --sync "$window"
xdotool key Return   # Enter: Start
# The station holds code: the installer asks to confirm the outage.
box=$(xdotool search --sync --onlyvisible --name '^Внимание$' | head -n 1)
xdotool windowactivate --sync "$box"
xdotool key Return   # OK
sleep "$transfer_seconds"

mkdir -p "$(dirname "$output")"
import -window "$window" -frame "$output"
echo "screenshot: $output"
