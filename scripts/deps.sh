#!/usr/bin/env bash
# Installs the Debian 12 packages that the build needs, when missing.
# Usage: scripts/deps.sh run|test
set -euo pipefail

# unixodbc-dev and odbc-postgresql: the fleet database's ODBC link and its
# PostgreSQL driver; the tests run a PostgreSQL server of their own.
packages=(cmake ninja-build g++ make pkg-config qt6-base-dev libgl-dev libserialport-dev help2man
          nlohmann-json3-dev unixodbc-dev odbc-postgresql)
if [[ "${1:-run}" == test ]]; then
  packages+=(googletest libgtest-dev libgmock-dev xvfb xauth x11-apps imagemagick openbox xdotool
             clang libclang-rt-14-dev mingw-w64 wine wine64 fonts-wine procps dpkg-dev file lintian
             postgresql postgresql-client)
else
  packages+=(xvfb xauth x11-utils)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo=""
  [[ $(id -u) -eq 0 ]] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
