#!/bin/sh
# Takes a picture of the installer's Windows window under Wine in the middle
# of a run against the simulated station. The window runs in Wine's own
# virtual desktop, which draws the caption and frame as Windows does; keys
# do not reach a window there, so window_probe works the buttons.
#
# Usage: tools/screenshot-windows.sh [WINDOWS_BUILD] [STATION_BUILD] [OUTPUT_PNG]
#   WINDOWS_BUILD  the mingw build with zelt20-installer.exe and
#                  window_probe.exe (default: build/windows)
#   STATION_BUILD  a native build with zelt20-station (default: build/main)
#   OUTPUT_PNG     default: docs/dialog-windows.png
# Needs: Xvfb, xdotool, Wine, ImageMagick's import. Uses a Wine prefix of its own
# beside the Windows build (made on first use).
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
windows_build=$(cd "${1:-$root/build/windows}" && pwd)
station_build=$(cd "${2:-$root/build/main}" && pwd)
output=${3:-$root/docs/dialog-windows.png}
display=:${ZELT20_SCREENSHOT_DISPLAY:-96}
# How far the progress bar gets before the picture is taken.
progress=${ZELT20_SCREENSHOT_PROGRESS:-20}

export WINEPREFIX="$windows_build/screenshot-prefix" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY="$display"

work=$(mktemp -d)
pids=""
cleanup() {
  for pid in $pids; do kill "$pid" 2>/dev/null || true; done
  timeout 30 wineserver -k 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT INT TERM

Xvfb "$display" -screen 0 800x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids="$pids $!"
tries=0
until xdotool getmouselocation >/dev/null 2>&1; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "screenshot: X server $display did not start" >&2; exit 1; }
  sleep 0.1
done

# Every program of the prefix in one virtual desktop, from the next start
# of the prefix's Wine server on.
timeout 300 wine wineboot -u >"$work/wineboot.log" 2>&1
# The caption buttons are letters of the Marlett font, which this Wine finds
# only among the prefix's own fonts (Debian's fonts-wine has it).
marlett=/usr/share/wine/fonts/marlett.ttf
[ -f "$marlett" ] || { echo "screenshot: no $marlett (install fonts-wine)" >&2; exit 1; }
cp "$marlett" "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 640x360 /f >/dev/null 2>&1
timeout 30 wineserver -k 2>/dev/null || true

# The simulated station on COM5; the transfer takes a minute or two.
"$station_build/sim/zelt20-station" >"$work/station.out" 2>"$work/station.err" &
pids="$pids $!"
tries=0
until device=$(head -n 1 "$work/station.out" 2>/dev/null) && [ -n "$device" ]; do
  tries=$((tries + 1))
  [ "$tries" -lt 100 ] || { echo "screenshot: the station did not start" >&2; exit 1; }
  sleep 0.1
done
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$device" /f >/dev/null 2>&1
ln -sfn "$device" "$WINEPREFIX/dosdevices/com5"

# A copy of the program, so that its config.ini (port 5) is the scratch one.
cp "$windows_build/ui/win32/zelt20-installer.exe" "$work/"
printf '[port]\r\ncom=5\r\n' >"$work/config.ini"
wine "$work/zelt20-installer.exe" >"$work/installer.log" 2>&1 &
pids="$pids $!"

probe() { timeout 300 wine "$windows_build/tests/window_probe.exe" "$@"; }
probe press 1          # Start
probe confirm          # the station holds code: OK to the outage
probe wait-progress "$progress"
set -- $(probe rect)   # x y width height on the desktop, which is the screen

mkdir -p "$(dirname "$output")"
import -window root -crop "${3}x${4}+${1}+${2}" +repage "$output"
echo "screenshot: $output"
