#!/usr/bin/env bash
# Takes PNG screenshots of every state a user of rux_ppp meets, on a
# virtual X display, driving the program with the mouse and the keyboard:
#
#   main_window.png         the main window as it opens, the script loaded
#   open_dialog.png         the open dialog of "open sql"
#   failure_box.png         a failure box ("open sql" of a missing file)
#   table_editor.png        the table editor during an edit_table batch
#   refused_row_box.png     the box that shows a refused row
#   table_editor_refused.png  the table editor with the refused row kept
#   confirm_delete.png      the "Datensatz löschen?" confirmation
#   main_window_result.png  the main window with a result in its grid (the
#                           screen's picture shows its read-only tooltip)
#   running.png             a long statement running: the batch marked, the
#                           commands off, the status text and the stop button
#   stopped.png             the same run stopped by Esc (screen_stopped.png:
#                           with its box)
#   failed_batch.png        a failed batch marked, the status saying where
#   script_lines.png        a script with every kind of line, as the editor
#                           draws it (screen_script_hover.png: the
#                           description of the batch under the pointer)
#   scaled.png              the whole screen with the main window at
#                           QT_SCALE_FACTOR=2 on a 1280x1024 screen, scrolled
#   screen_*.png            the whole screen at each box, to see where it stands
#
#   tests/gui/screenshot.sh [output folder]     (default: build/screenshots)
#
# Needs a build (make build; RUX_PPP=<binary> picks another one); installs
# Xvfb, ImageMagick and xdotool when missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# The last visible window whose name matches, once it is there; it takes
# the keyboard (there is no window manager to give it).
find_window() {
    local name=$1 id='' _
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "$name" 2>/dev/null | tail -n 1 || true)
        if [ -n "$id" ]; then
            xdotool windowfocus --sync "$id" 2>/dev/null || true
            echo "$id"
            return 0
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    echo "screenshot: no window named $name appeared" >&2
    cat program.log >&2
    return 1
}

# Gives the windows time to paint, then saves one of them and the screen.
shoot() {
    local window=$1 name=$2
    sleep 0.8
    import -window "$window" "$out/$name.png"
    if [ -n "${3:-}" ]; then
        import -window root "$out/screen_$name.png"
    fi
}

# Runs on the virtual display (the script calls itself under xvfb-run).
capture() {
    local work=$1 bin=$3 main editor box
    out=$2
    cd "$work"
    # The database lies deep in a share, as it often does: its full name is
    # longer than the room beside "open db".
    QT_QPA_PLATFORM=xcb "$bin" "DB=$work/$deep/results.db" SQL=shots.sql >program.log 2>&1 &
    pid=$!

    main=$(find_window '^rux_postprocessing$')
    shoot "$main" main_window

    # "open sql": the dialog, then a name that does not exist.
    xdotool mousemove --window "$main" 60 44 click 1
    box=$(find_window '^Open$')
    shoot "$box" open_dialog screen
    xdotool type --delay 20 'missing.sql'
    xdotool key Return
    box=$(find_window '^rux_ppp$')
    shoot "$box" failure_box screen
    xdotool key Return

    # "execute script": the run waits in the table editor, which is moved
    # beside the main window (there is no window manager to place it).
    xdotool mousemove --window "$main" 723 15 click 1
    editor=$(find_window '^table ready to edit$')
    xdotool windowmove "$editor" 800 0
    shoot "$editor" table_editor

    # A tolerance the table refuses: the row stays, marked, with the value.
    xdotool windowfocus --sync "$editor"
    xdotool mousemove --window "$editor" 180 37 click 1
    xdotool type --delay 20 -- '-5'
    xdotool key Down
    box=$(find_window '^rux_ppp$')
    shoot "$box" refused_row_box screen
    xdotool key Return
    xdotool windowfocus --sync "$editor"
    shoot "$editor" table_editor_refused

    # Escape drops the edit; Ctrl+Delete asks first, and Abbrechen keeps the row.
    xdotool key Escape
    xdotool key ctrl+Delete
    box=$(find_window '^Bestätigen$')
    shoot "$box" confirm_delete screen
    xdotool key Escape
    xdotool windowfocus --sync "$editor"

    # Button1 ends the editing; the run goes on to its last batch, a query
    # without "go" after it, whose rows stay in the page "result data set".
    xdotool mousemove --window "$editor" 704 491 click 1
    sleep 1
    xdotool mousemove --window "$main" 50 268 click 1
    # The pointer rests on a cell: the tooltip says why the rows are read-only.
    xdotool mousemove --window "$main" 180 330
    sleep 1
    shoot "$main" main_window_result screen

    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true

    # A long statement, stopped by Esc; then a batch that fails.
    QT_QPA_PLATFORM=xcb "$bin" "DB=$work/$deep/results.db" SQL=run.sql >program.log 2>&1 &
    pid=$!
    main=$(find_window '^rux_postprocessing$')
    xdotool key F5
    sleep 2.2
    shoot "$main" running
    xdotool key Escape
    box=$(find_window '^rux_ppp$')
    shoot "$box" stopped screen
    xdotool key Return
    shoot "$main" stopped
    xdotool mousemove --window "$main" 300 172 click 1
    xdotool key ctrl+End
    xdotool type --delay 10 'select * from shift_plan'
    xdotool key Return
    xdotool type --delay 10 'go'
    xdotool key Return
    # Only the new batch runs: the earlier lines become comments.
    xdotool key ctrl+Home
    for _ in 1 2 3 4; do
        xdotool key apostrophe Home Down
    done
    xdotool key F5
    box=$(find_window '^rux_ppp$')
    xdotool key Return
    shoot "$main" failed_batch
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true

    # A script with every kind of line, one parameter without a value, and
    # the pointer resting on the batch with an export and a parameter.
    QT_QPA_PLATFORM=xcb "$bin" "DB=$work/$deep/results.db" SQL=lines.sql '$site=B7' '$year=2026' \
        >program.log 2>&1 &
    pid=$!
    main=$(find_window '^rux_postprocessing$')
    shoot "$main" script_lines
    xdotool mousemove --window "$main" 200 101
    sleep 1.5
    shoot "$main" script_hover screen
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

# The main window at twice the scale on a screen it does not fit.
capture_scaled() {
    local work=$1 bin=$3 main
    out=$2
    cd "$work"
    QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=xcb "$bin" "DB=$work/$deep/results.db" SQL=shots.sql >program.log 2>&1 &
    pid=$!
    main=$(find_window '^rux_postprocessing$')
    sleep 1
    import -window root "$out/scaled.png"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

if [ "${1:-}" = --on-display ]; then
    shift
    capture "$@"
    exit
fi
if [ "${1:-}" = --on-small-display ]; then
    shift
    openbox >/dev/null 2>&1 &
    sleep 1
    capture_scaled "$@"
    exit
fi

out=${1:-$root/build/screenshots}
bin=${RUX_PPP:-$root/build/rux_ppp}
if [ ! -x "$bin" ]; then
    echo "screenshot: $bin not found; run make build first" >&2
    exit 1
fi
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")

"$root/scripts/install-deps.sh" xvfb xauth fonts-dejavu-core sqlite3 imagemagick xdotool openbox

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

deep="Qualitätssicherung/Messdaten Linie 4 Endkontrolle/2026/Auswertung Frühschicht und Spätschicht"
mkdir -p "$work/$deep"
sqlite3 -bail "$work/$deep/results.db" < "$root/examples/demo_db.sql"
sqlite3 -bail "$work/$deep/results.db" <<'SQL'
create table tolerances (
    id             integer primary key,
    characteristic text not null,
    tolerance      real not null check (tolerance > 0)
);
insert into tolerances (characteristic, tolerance) values
    ('diameter', 0.05), ('length', 0.2), ('weight', 0.5);
SQL
printf "%s\r\n" "' Check the tolerances by hand, then list the run's measurements." \
    "edit_table tolerances" "go" \
    "select m.id, m.part_serial, m.characteristic, m.value, m.status, r.operator" \
    "from measurements m join runs r on r.run_id = m.run_id where m.run_id = 1041" > "$work/shots.sql"

printf "%s\r\n" "' Counts for a minute: Esc stops it." \
    "select count(*) from (with recursive c(i) as (select 1 union all" \
    "  select i + 1 from c where i < 400000000) select i from c)" "go" > "$work/run.sql"

printf "%s\r\n" "' Daily figures for one site" "# old: select * from runs" \
    "select id, value from measurements where part_serial = \$site totxt out/figures.txt" "go" "" \
    "insert into runs (run_id, operator) values (\$year, 'night')" "go" \
    "delete from measurements where value < 0" "-- a dropped table is fine" \
    "drop table if exists tmp_summary" "go" "edit_table tolerances" "go" "go" \
    "select count(*) from measurements where run_id = \$month" > "$work/lines.sql"

export deep
xvfb-run -a -s "-screen 0 1600x1024x24" "$0" --on-display "$work" "$out" "$bin"
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --on-small-display "$work" "$out" "$bin"

ls "$out"/*.png | sed 's/^/screenshot: /'
