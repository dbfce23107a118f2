#!/usr/bin/env bash
# The run in the user's hands, on a virtual X display with a window manager
# (openbox), driven with the keyboard and the mouse by xdotool:
#   - F5 runs the script;
#   - a second press of "execute script" (and F5) during a statement adds no
#     second run, and nothing pressed meanwhile is carried out afterwards;
#   - Esc stops a long statement at once, and the export target of the
#     stopped batch keeps its bytes;
#   - while the open dialog is up, the main window takes no click;
#   - a failed batch stays marked in the failure colour.
#
#   run_control.sh RUX_PPP_BINARY
#
# Runs itself under xvfb-run; exits 77 (skipped) when a tool it needs is
# missing (scripts/install-deps.sh installs them).
set -euo pipefail

bin=$1
. "$(dirname "${BASH_SOURCE[0]}")/display.sh"
on_display "xdotool xprop openbox sqlite3 import convert" "$0" "$@"

openbox >/dev/null 2>&1 &
wm=$!
# The window manager has taken the screen once the root window names it.
wm_ready() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
within 50 wm_ready || fail "the window manager did not start"
sqlite3 w.db "create table log (what text)"
# A statement that counts for a minute, and one that counts for a few seconds.
long="select count(*) from (with recursive c(i) as (select 1 union all select i + 1 from c where i < 400000000) select i from c)"
short="select count(*) from (with recursive c(i) as (select 1 union all select i + 1 from c where i < 15000000) select i from c)"
# script NAME LINE...: NAME.sql holds the lines, each ended by CR LF.
script() {
    local name=$1
    shift
    printf '%s\r\n' "$@" > "$name.sql"
}
rows() { sqlite3 w.db "select count(*) from log where what = '$1'"; }

# The last visible window whose name matches, once it is there.
find_window() {
    local id='' _
    for _ in $(seq 1 300); do
        id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | tail -n 1 || true)
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    return 1
}
# Starts the program on script $1 and makes its window the active one.
start() {
    DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb "$bin" DB=w.db "SQL=$1.sql" >program.log 2>&1 &
    pid=$!
    main=$(find_window '^rux_postprocessing$') || fail "the main window did not show"
    xdotool windowactivate --sync "$main" 2>/dev/null || true
    sleep 0.5
}
finish() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    pid=''
}
ran() { [ "$(rows "$1")" -ge 1 ]; }
# The failure box, once it shows; Return closes it.
box_shows() { xdotool search --onlyvisible --name '^rux_ppp$' >/dev/null 2>&1; }

# F5 runs the script.
script f5 "insert into log values ('f5')" go
start f5
xdotool key F5
within 50 ran f5 || fail "F5 did not run the script"
finish
echo "PASS: F5 runs the script"

# Execute pressed again, by mouse and by F5, during a statement; and
# "open sql" pressed then too.
# The statement is the script's last batch: a press held back until the
# run has ended would start the script again.
script twice "insert into log values ('once')" go "$short totxt done.txt" go
start twice
xdotool mousemove --window "$main" 723 15 click 1
sleep 1
xdotool click 1
xdotool key F5
xdotool mousemove --window "$main" 60 44 click 1
within 200 test -f done.txt || fail "the run did not end"
sleep 1.5
[ "$(rows once)" -eq 1 ] || fail "the script ran $(rows once) times"
if xdotool search --onlyvisible --name '^Open$' >/dev/null 2>&1; then
    fail "a click on open sql made during the statement opened its dialog afterwards"
fi
finish
echo "PASS: a second execute during a statement adds no second run"

# Esc stops a long statement; the export target keeps its bytes.
printf 'old bytes' > out.txt
script stop "insert into log values ('before')" go "$long totxt out.txt" go "insert into log values ('after')" go
start stop
xdotool key F5
within 50 ran before || fail "the run did not start"
sleep 1
xdotool key Escape
within 20 box_shows || fail "Esc did not stop the statement within 2 s"
[ "$(cat out.txt)" = "old bytes" ] || fail "the export target lost its bytes"
ls -A | grep -q '^\.rux_ppp-export-' && fail "a staged export file was left behind"
[ "$(rows after)" -eq 0 ] || fail "the run went on after the stop"
xdotool key Return
finish
echo "PASS: Esc stops a long statement; the export target keeps its bytes"

# The open dialog blocks the main window: neither execute nor open sql
# reaches it.
script modal "insert into log values ('modal')" go
start modal
xdotool mousemove --window "$main" 60 15 click 1
dialog=$(find_window '^Open$') || fail "the open dialog did not show"
xdotool mousemove --window "$main" 723 15 click 1
xdotool mousemove --window "$main" 60 44 click 1
sleep 1
[ "$(rows modal)" -eq 0 ] || fail "execute script ran while the open dialog was up"
dialogs=$(xdotool search --onlyvisible --name '^Open$' | wc -l)
[ "$dialogs" -eq 1 ] || fail "$dialogs open dialogs are up"
xdotool windowactivate --sync "$dialog" 2>/dev/null || true
xdotool key Escape
finish
echo "PASS: the open dialog blocks the main window"

# A failed batch stays marked: its first line (the fourth, 13 pixels a
# line from the editor's top at 63) shows the failure colour.
script failed "insert into log values ('ok')" go "' the next batch fails" "select * from missing" go
start failed
xdotool key F5
within 50 box_shows || fail "the failure was not shown"
xdotool key Return
sleep 0.5
import -window "$main" failed.png
colour=$(convert failed.png -format '%[hex:p{600,113}]' info: | cut -c1-6)
[ "${colour^^}" = F4B8B0 ] || fail "the failed batch's line shows #$colour, not the failure colour"
finish
echo "PASS: the failed batch stays marked"
