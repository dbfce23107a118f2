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
    libqt6sql6-sqlite
    libqt6sql6-psql
    libpq-dev
    postgresql
    libsqlite3-dev
    sqlite3
    mdbtools-dev
    mdbtools
    python3
    xvfb
    xdotool
    xauth
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

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "install-deps: missing packages: ${missing[*]}; run as root or install sudo" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
${as_root[@]+"${as_root[@]}"} env DEBIAN_FRONTEND=noninteractive apt-get update -qq
${as_root[@]+"${as_root[@]}"} env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
