#!/usr/bin/env bash
# Checks the Debian package the way a user gets it: installs it into this
# system with apt, runs the installed program headless on the demo, checks
# its desktop entry and its manual page, removes the package again and
# checks that nothing of it is left.
#
#   scripts/package-check.sh build/rux-ppp_<version>_<arch>.deb
#
# It changes the system, so `make package-check` runs it, never `make test`.
# Runs apt-get directly as root and through sudo otherwise. A copy of the
# package that is installed already is removed first.
set -euo pipefail

if [ "$#" -ne 1 ] || [ ! -f "$1" ]; then
    echo "usage: $0 PACKAGE.deb" >&2
    exit 2
fi
deb=$(realpath "$1")
here=$(dirname "$(realpath "${BASH_SOURCE[0]}")")
package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)

# What the check itself uses: the validator, the manual page tools, and
# sqlite3 to make the demo database from the installed text.
"$here/install-deps.sh" desktop-file-utils man-db groff-base sqlite3

. "$here/apt-get-as-root.sh"
apt() {
    apt_get_as_root -y -qq "$@"
}

fail() {
    echo "package-check: $*" >&2
    exit 1
}

# The file a step wrote its complaints to must be empty.
silent() {
    local file=$1 what=$2
    [ ! -s "$file" ] || { cat "$file" >&2; fail "$what"; }
}

installed() {
    [ "$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)" = "install ok installed" ]
}

work=$(mktemp -d)
cleanup() {
    # A check that stopped half-way takes the package out again.
    if installed; then
        apt purge "$package" >/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

if installed; then
    echo "package-check: removing the installed $package first"
    apt purge "$package" >/dev/null
fi

# Every path the package holds, and which of them exist without it (the
# folders it shares with the system, such as /usr/bin).
dpkg-deb -c "$deb" | awk '{ print $6 }' | sed -e 's|^\./|/|' -e 's|/$||' | grep -v '^$' > "$work/paths"
while IFS= read -r path; do
    if [ -e "$path" ]; then
        echo "$path"
    fi
done < "$work/paths" > "$work/there-before"

echo "package-check: installing $deb"
# The package lists are refreshed only when the dependencies cannot be
# found without.
if ! apt install "$deb" > "$work/apt.log" 2>&1; then
    apt update
    apt install "$deb" > "$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get could not install $deb"; }
fi
installed || fail "$package is not installed after apt-get install"

echo "package-check: running the installed program headless on the demo"
# From an empty environment (no display, no Qt variables, no library
# paths), so that nothing of the build tree can help.
clean_env=(env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$work")
[ "$("${clean_env[@]}" sh -c 'command -v rux_ppp')" = /usr/bin/rux_ppp ] \
    || fail "rux_ppp is not found on PATH as /usr/bin/rux_ppp"
got=$("${clean_env[@]}" rux_ppp --version)
[ "$got" = "rux_ppp $version" ] || fail "--version prints '$got', the package is $version"

docs=/usr/share/doc/$package
mkdir "$work/demo"
sqlite3 -bail "$work/demo/results.db" < "$docs/demo_db.sql"
status=0
(cd "$work/demo" && "${clean_env[@]}" rux_ppp DB=results.db SQL="$docs/daily_postprocessing.sql" \
    ERR_P=1042 '$station=2' GO > "$work/demo.out" 2> "$work/demo.err") || status=$?
[ "$status" -eq 0 ] || { cat "$work/demo.err" >&2; fail "the demo run ended with status $status"; }
silent "$work/demo.err" "the demo run wrote to standard error"
export_file=$work/demo/daily_summary_1042.txt
[ -s "$export_file" ] || fail "the demo run wrote no export file"
graded=$(sqlite3 "$work/demo/results.db" \
    "select count(*) from measurements where run_id = 1042 and station_id = 2 and status <> 'NEW'")
[ "$graded" -gt 0 ] || fail "the demo run graded no measurement"
echo "package-check:    $(wc -l < "$export_file") export lines, $graded measurements graded"

echo "package-check: the installed program reads Access files through its installed reader"
[ -x /usr/libexec/rux_ppp/rux_ppp-access-reader ] || fail "the Access reader is not installed"
# A file with an Access header and nothing else: the reader itself finds it
# cut short, so this text proves that the program found and started it.
printf '\0\1\0\0Standard Jet DB' > "$work/demo/cut.mdb"
got=$(cd "$work/demo" && "${clean_env[@]}" rux_ppp --convert-access cut.mdb cut.db 2>&1 || true)
[ "$got" = "rux_ppp: Could not read the Access file 'cut.mdb': it ends inside a page: the file was cut short." ] \
    || fail "a cut Access file gives '$got'"
nwind=$here/../../shared/fixtures/nwind.mdb
if [ -f "$nwind" ]; then
    (cd "$work/demo" && "${clean_env[@]}" rux_ppp --convert-access "$nwind" nwind.db > "$work/convert.out") \
        || fail "converting Northwind failed"
    grep -qxF "$(printf 'Orders\t830')" "$work/convert.out" || fail "the conversion of Northwind lacks its Orders"
fi

echo "package-check: desktop entry and manual page"
entry=/usr/share/applications/rux_ppp.desktop
# Its hints count too: an entry the menus would file under "other" fails.
desktop-file-validate "$entry" > "$work/desktop.out" 2>&1 || echo "(status $?)" >> "$work/desktop.out"
silent "$work/desktop.out" "desktop-file-validate objects to $entry"
for icon in /usr/share/icons/hicolor/scalable/apps/rux_ppp.svg /usr/share/icons/hicolor/48x48/apps/rux_ppp.png; do
    [ -s "$icon" ] || fail "the icon $icon is missing"
done
page=$(man -w rux_ppp) || fail "man finds no page rux_ppp"
[ "$page" = /usr/share/man/man1/rux_ppp.1 ] || fail "man finds $page, not the installed page"
groff -ww -z -man "$page" 2> "$work/groff.err"
silent "$work/groff.err" "groff warns on $page"
LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" > "$work/man.txt" 2> "$work/man.err"
silent "$work/man.err" "man warns on $page"
grep -q -- '--convert-access' "$work/man.txt" || fail "the rendered manual page lacks its options"

echo "package-check: removing the package"
apt purge "$package" >/dev/null
! installed || fail "$package is still installed after apt-get purge"
left=0
while IFS= read -r path; do
    if [ -e "$path" ] && ! grep -qxF -- "$path" "$work/there-before"; then
        echo "package-check: left behind: $path" >&2
        left=1
    fi
done < "$work/paths"
[ "$left" -eq 0 ] || fail "removing $package left files behind"

echo "package-check: $package $version installs, runs, and goes without a trace"
