#!/usr/bin/env bash
# Installs the Debian packages that building, testing and the demo of rux_ppp
# need, and only those that are missing. Quiet when everything is there.
#
#   scripts/install-deps.sh              the build, test and demo packages
#   scripts/install-deps.sh PKG [PKG...] these packages instead (used by
#                                        tests/gui/screenshot.sh and
#                                        make fuzz: clang and its runtime)
#
# Runs apt-get directly as root and through sudo otherwise; the package lists
# are refreshed once, and only when something has to be installed.
set -euo pipefail

packages=(
    cmake
    g++
    make
    pkg-config
    qt6-base-dev
    qt6-base-dev-tools
    qt6-qpa-plugins
    libpq-dev
    postgresql
    pgbouncer
    libsqlite3-dev
    sqlite3
    mdbtools-dev
    mdbtools
    python3
    xvfb
    xdotool
    xauth
    x11-utils
    openbox
    imagemagick
    fonts-dejavu-core
    strace
)
if [ "$#" -gt 0 ]; then
    packages=("$@")
fi

missing=()
for pkg in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [ "$status" != "install ok installed" ]; then
        missing+=("$pkg")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    exit 0
fi

. "$(dirname "${BASH_SOURCE[0]}")/apt-get-as-root.sh"
echo "install-deps: installing ${missing[*]}"
apt_get_as_root update -qq
apt_get_as_root install -y -qq --no-install-recommends "${missing[@]}"
