#!/usr/bin/env bash
# The Debian package, built and tried as a user would:
#   1. a Release build in build/package made for installing (settings per
#      user, installed under /usr), and `cpack -G DEB`;
#   2. lintian, which must report no error;
#   3. `apt-get install ./zelt20-installer_<version>_<arch>.deb`, then
#      zelt20-install --help and --list-ports from PATH, and the window
#      opened under Xvfb from the desktop entry's command line and closed
#      again (Escape twice: Stop/Exit, then Exit) with its settings written
#      to the user's folder;
#   4. the package removed again (apt-get purge), its programs gone.
# Prints how long it took. Runs as root (apt-get).
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

scripts/deps.sh test

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
lintian --fail-on error "$package"

banner "install"
cleanup() {
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelt20-installer >/dev/null 2>&1 || true
}
trap cleanup EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$package" >/dev/null
for program in zelt20-install zelt20-station zelt20-installer; do
  [[ $(command -v "$program") == /usr/bin/$program ]] || fail "$program is not on PATH"
done
usage=$(zelt20-install --help)
echo "${usage%%$'\n'*}"
for page in zelt20-install zelt20-station zelt20-installer; do
  [[ -f /usr/share/man/man1/$page.1.gz ]] || fail "no manual page for $page"
done
zelt20-install --list-ports

banner "the window from its desktop entry"
desktop=/usr/share/applications/zelt20-installer.desktop
exec_line=$(sed -n 's/^Exec=//p' "$desktop")
[[ -n $exec_line ]] || fail "no Exec line in $desktop"
[[ -f /usr/share/icons/hicolor/32x32/apps/zelt20-installer.png ]] || fail "icon missing"
settings_home=$(mktemp -d)
export XDG_CONFIG_HOME=$settings_home
# The window maps, Escape presses Stop/Exit (no run yet: it turns to Exit)
# and Escape again closes it, storing the remembered port.
xvfb-run -a bash -c '
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
[[ -f $settings_home/zelt20/config.ini ]] || fail "the window kept no settings in \$XDG_CONFIG_HOME/zelt20"
echo "settings: $(tr '\r\n' '  ' <"$settings_home/zelt20/config.ini")"
rm -rf "$settings_home"

banner "remove"
trap - EXIT
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq zelt20-installer >/dev/null
for program in zelt20-install zelt20-station zelt20-installer; do
  [[ ! -e /usr/bin/$program ]] || fail "$program is still installed"
done
echo "package stage: $((SECONDS - started)) s"
