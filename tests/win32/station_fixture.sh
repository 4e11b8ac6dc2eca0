#!/usr/bin/env bash
# A native simulated station whose line is a COM port of the Wine prefix, for
# the Windows runs under CTest (the set-up and clean-up of a fixture):
#
#   station_fixture.sh start DIR COM STATION [OPTIONS...]
#       starts STATION (zelt20-station) with OPTIONS in the background, its
#       report going to DIR/report.txt, and makes its pseudo-terminal COM<COM>
#       of $WINEPREFIX: HKLM\Software\Wine\Ports and dosdevices/com<COM>.
#       The station outlives this script; when it ends, DIR/status holds its
#       exit status.
#   station_fixture.sh end DIR COM
#       ends the station if it still runs and removes the port.
set -euo pipefail
action=$1 dir=$2 com=$3
shift 3
wine=${ZELT20_WINE:-wine}
ports='HKLM\Software\Wine\Ports'

fail() {
  echo "station COM$com: $*" >&2
  exit 1
}

running() { [[ -f $dir/pid && ! -f $dir/status ]] && kill -0 "$(cat "$dir/pid")" 2>/dev/null; }

case $action in
  start)
    station=$1
    shift
    [[ -x $station ]] || fail "no simulated station at $station (a native build makes it)"
    mkdir -p "$dir"
    rm -f "$dir"/{pid,status,line,report.txt,station.out,station.err}
    # A session of its own and no descriptor of CTest's, so that neither the
    # end of this script nor CTest waiting for its output ends the station.
    setsid bash -c '"$@" >"$0/station.out" 2>"$0/station.err" & echo $! >"$0/pid"; wait $!
                    echo $? >"$0/status"' "$dir" "$station" --report "$dir/report.txt" "$@" \
      </dev/null >/dev/null 2>&1 &
    line=""
    for _ in $(seq 100); do
      line=$(head -n 1 "$dir/station.out" 2>/dev/null || true)
      [[ -n $line ]] && break
      sleep 0.1
    done
    [[ $line == /dev/* ]] || fail "the station did not start: $(cat "$dir/station.err" 2>/dev/null)"
    echo "$line" >"$dir/line"
    timeout 60 "$wine" reg add "$ports" /v "COM$com" /t REG_SZ /d "$line" /f >/dev/null 2>&1 ||
      fail "cannot register the port"
    ln -sfn "$line" "$WINEPREFIX/dosdevices/com$com"
    echo "COM$com is $line (station pid $(cat "$dir/pid"))"
    ;;
  end)
    if running; then kill "$(cat "$dir/pid")"; fi
    for _ in $(seq 50); do
      [[ -f $dir/status ]] && break
      sleep 0.1
    done
    rm -f "$WINEPREFIX/dosdevices/com$com"
    timeout 60 "$wine" reg delete "$ports" /v "COM$com" /f >/dev/null 2>&1 || true
    cat "$dir/report.txt" 2>/dev/null || true
    ;;
  *) fail "unknown action $action" ;;
esac
