#!/usr/bin/env bash
# Takes PNG screenshots of both windows of rux_ppp on a virtual X display:
# the main window "rux_postprocessing" and the table editor window
# "table ready to edit".
#
#   tests/gui/screenshot.sh [output folder]     (default: build/screenshots)
#
# The program runs with a demo database and a script whose only batch is
# "edit_table stations", started with GO: the run then waits with the table
# editor open, both windows are captured, and the program is ended.
# Needs a build (make build; RUX_PPP=<binary> picks another one); installs
# Xvfb, ImageMagick and xdotool when missing.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

# Runs on the virtual display (the script calls itself under xvfb-run):
# start the program, wait for both windows, capture them, end the program.
capture() {
    local work=$1 out=$2 bin=$3
    local pid main='' editor='' _

    cd "$work"
    QT_QPA_PLATFORM=xcb "$bin" DB=results.db SQL=edit.sql GO >program.log 2>&1 &
    pid=$!

    for _ in $(seq 1 100); do
        main=$(xdotool search --onlyvisible --name '^rux_postprocessing$' 2>/dev/null | head -n 1 || true)
        editor=$(xdotool search --onlyvisible --name '^table ready to edit$' 2>/dev/null | head -n 1 || true)
        if [ -n "$main" ] && [ -n "$editor" ]; then
            break
        fi
        if ! kill -0 "$pid" 2>/dev/null; then
            break
        fi
        sleep 0.1
    done
    if [ -z "$main" ] || [ -z "$editor" ]; then
        echo "screenshot: the windows did not appear (main='$main' editor='$editor')" >&2
        cat program.log >&2
        kill "$pid" 2>/dev/null || true
        return 1
    fi

    # Without a window manager both windows stand at the screen's top left
    # and "import" reads the screen, so the editor is moved beside the main
    # window first. Then both get time to paint before they are read back.
    xdotool windowmove "$editor" 800 0
    sleep 1
    import -window root "$out/screen.png"
    import -window "$main" "$out/main_window.png"
    import -window "$editor" "$out/table_editor.png"

    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}

if [ "${1:-}" = --on-display ]; then
    shift
    capture "$@"
    exit
fi

out=${1:-$root/build/screenshots}
bin=${RUX_PPP:-$root/build/rux_ppp}
if [ ! -x "$bin" ]; then
    echo "screenshot: $bin not found; run make build first" >&2
    exit 1
fi
bin=$(cd "$(dirname "$bin")" && pwd)/$(basename "$bin")

"$root/scripts/install-deps.sh" xvfb xauth fonts-dejavu-core sqlite3 imagemagick xdotool

mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

sqlite3 -bail "$work/results.db" < "$root/examples/demo_db.sql"
printf "' Open the station list for editing by hand.\r\nedit_table stations\r\ngo\r\n" > "$work/edit.sql"

xvfb-run -a -s "-screen 0 1600x1024x24" "$0" --on-display "$work" "$out" "$bin"

echo "screenshot: $out/screen.png"
echo "screenshot: $out/main_window.png"
echo "screenshot: $out/table_editor.png"
