#!/usr/bin/env bash
# An unattended run waits in the table editor on a virtual X display while
# another program (the sqlite3 shell) writes to the same database file: the
# write goes through at once, a click on the editor's button ends the wait,
# and the run finishes with its last batch and status 0.
#
#   editing_while_others_write.sh RUX_PPP_BINARY
#
# Runs itself under xvfb-run; exits 77 (skipped) when xvfb-run, xdotool or
# sqlite3 is missing.
set -euo pipefail

bin=$1
. "$(dirname "${BASH_SOURCE[0]}")/display.sh"
on_display "xdotool sqlite3" "$0" "$@"

sqlite3 w.db "create table log (what text);
    create table big (id integer primary key, v text);
    insert into big with recursive c(n) as (select 1 union all select n + 1 from c where n < 50000)
        select n, 'row ' || n from c;"
printf "edit_table big\r\ngo\r\ninsert into log values ('after')\r\ngo\r\n" > edit.sql

# The virtual display has no desktop session: "disabled:" tells D-Bus so,
# where it would otherwise try to start a session bus through the display
# (which leaks in libdbus, and the sanitizer build reports it).
DBUS_SESSION_BUS_ADDRESS=disabled: QT_QPA_PLATFORM=xcb "$bin" DB=w.db SQL=edit.sql GO >program.log 2>&1 &
pid=$!

editor=''
for _ in $(seq 1 150); do
    editor=$(xdotool search --onlyvisible --name '^table ready to edit$' 2>/dev/null | head -n 1 || true)
    [ -n "$editor" ] && break
    kill -0 "$pid" 2>/dev/null || fail "the program ended before the table editor showed"
    sleep 0.1
done
[ -n "$editor" ] || fail "the table editor did not show"
# The editor has shown its first rows and the run waits for the user.
sleep 1

if ! timeout 10 sqlite3 -cmd ".timeout 2000" w.db "insert into log values ('other')"; then
    fail "another program could not write while the table editor waited"
fi

# The editor's button (left 667, top 479, 75 x 25) ends the wait.
xdotool mousemove --window "$editor" 704 491 click 1

status=''
for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
        wait "$pid" && status=0 || status=$?
        break
    fi
    sleep 0.1
done
[ -n "$status" ] || fail "the run did not end after the editor's button was pressed"
pid=''
[ "$status" -eq 0 ] || fail "the run ended with status $status"
log=$(sqlite3 w.db "select group_concat(what, ',') from log")
[ "$log" = "other,after" ] || fail "the log holds '$log', not 'other,after'"
echo "PASS: another program wrote while the table editor waited; the run ended with status 0"
