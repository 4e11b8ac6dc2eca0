#!/usr/bin/env bash
# The Debian package, built and tried as a user would:
#   1. a Release build in build/package made for installing (settings per
#      user, installed under /usr), and `cpack -G DEB`;
#   2. lintian, which must report no error; the package recommends the
#      PostgreSQL ODBC driver for the fleet database;
#   3. `apt-get install ./zelt20-installer_<version>_<arch>.deb`, then
#      zelt20-install --help and --list-ports from PATH, and the window
#      opened under Xvfb from the desktop entry's command line and closed
#      again (Escape twice: Stop/Exit, then Exit), having read and stored
#      the remembered port in the user's folder;
#   4. the package removed again (apt-get purge), its programs gone.
# Each check is logged in build/package/checks.txt ("passed: what" or
# "failed: what"); the first that fails ends the test. Prints how long it
# took. Runs as root (apt-get).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$root/build/package
jobs=2
started=$SECONDS

banner() { printf '\n=== %s\n' "$*"; }
fail() {
  echo "package-test: $*" >&2
  exit 1
}
checks=$build/checks.txt
# check WHAT COMMAND...: one check of the package, logged in $checks.
check() {
  local what=$1
  shift
  if "$@"; then
    echo "passed: $what" >>"$checks"
  else
    echo "failed: $what" >>"$checks"
    fail "$what"
  fi
}
recommends() { dpkg-deb --field "$package" Recommends | tr ',' '\n' | grep -qx " *$1 *"; }
on_path() { [[ $(command -v "$1") == /usr/bin/$1 ]]; }
stored_port_is() { tr -d '\r' <"$settings" | grep -qx "com=$1"; }

scripts/deps.sh test
mkdir -p "$build"
: >"$checks"

banner "package build"
# Warnings do not fail a package build (the compiler is the user's); the
# hardening flags are Debian's own.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DZELT20_USER_SETTINGS=ON -DZELT20_WERROR=OFF -DZELT20_BUILD_TESTS=OFF -DZELT20_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"
rm -f "$build"/zelt20-installer_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
package=$(ls "$build"/zelt20-installer_*_"$(dpkg --print-architecture)".deb)
echo "built $(basename "$package")"
dpkg-deb --field "$package" Depends

banner "lintian"
check "lintian reports no error" lintian --fail-on error "$package"
check "the package recommends odbc-postgresql" recommends odbc-postgresql

banner "install"
cleanup() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelt20-installer >/dev/null 2>&1 || true
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null
for program in zelt20-install zelt20-station zelt20-installer; do
  check "$program is on PATH" on_path "$program"
  check "$program has its manual page" test -f "/usr/share/man/man1/$program.1.gz"
done
check "zelt20-install --help runs" zelt20-install --help >/dev/null
check "zelt20-install --list-ports runs" zelt20-install --list-ports
check "the fleet database's schema is installed" test -s /usr/share/zelt20-installer/fleet/schema.sql

banner "the window from its desktop entry"
desktop=/usr/share/applications/zelt20-installer.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
check "the desktop entry has a command line" test -n "$exec_line"
check "the icon is installed" test -f /usr/share/icons/hicolor/32x32/apps/zelt20-installer.png
settings_home=$(mktemp -d)
export XDG_CONFIG_HOME=$settings_home
# The remembered port as a person might have typed it: the window reads
# 12, selects COM12 and stores its selection as the plain number.
settings=$settings_home/zelt20/config.ini
mkdir -p "${settings%/*}"
printf '[port]\ncom=012\n' >"$settings"
# The window maps, Escape presses Stop/Exit (no run yet: it turns to Exit)
# and Escape again closes it, storing the remembered port.
check "the window opens and closes" xvfb-run -a bash -c '
  set -u
  $1 & pid=$!
  window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$pid" 2>/dev/null | head -n 1)
  if [[ -z $window ]]; then kill "$pid"; echo "no window appeared" >&2; exit 1; fi
  echo "window mapped"
  xdotool windowfocus --sync "$window" key --clearmodifiers Escape Escape
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then kill "$pid"; echo "the window did not close" >&2; exit 1; fi
  wait "$pid"
' window-test "$exec_line"
echo "settings: $(tr '\r\n' '  ' <"$settings")"
check "the window stored port 12 in \$XDG_CONFIG_HOME/zelt20" stored_port_is 12
rm -rf "$settings_home"

banner "remove"
trap - EXIT
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelt20-installer >/dev/null
for program in zelt20-install zelt20-station zelt20-installer; do
  check "$program is removed" test ! -e "/usr/bin/$program"
done
echo "package stage: $((SECONDS - started)) s"
