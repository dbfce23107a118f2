# Sourced by the end-to-end scripts that drive the program on a virtual X
# display. The script calls on_display with the tools it needs and its own
# arguments: without a tool it exits 77 (skipped); otherwise it runs again
# under xvfb-run, in a work folder of its own ($work, removed at the end
# with the program $pid and the window manager $wm, when they run).

# on_display "TOOL..." "$0" "$@"
on_display() {
    local tools=$1 self=$2 tool
    shift 2
    if [ -z "${RUX_IN_XVFB:-}" ]; then
        for tool in xvfb-run $tools; do
            if ! command -v "$tool" >/dev/null 2>&1; then
                echo "SKIP: $tool is not installed (scripts/install-deps.sh installs it)"
                exit 77
            fi
        done
        exec env RUX_IN_XVFB=1 xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" "$self" "$@"
    fi
    work=$(mktemp -d)
    pid=''
    wm=''
    trap cleanup EXIT
    cd "$work"
}

cleanup() {
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
    fi
    if [ -n "$wm" ]; then
        kill "$wm" 2>/dev/null || true
    fi
    rm -rf "$work"
}

fail() {
    echo "FAIL: $*"
    [ -f "$work/program.log" ] && sed 's/^/  program: /' "$work/program.log"
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
within() {
    local tenths=$1 _
    shift
    for _ in $(seq 1 "$tenths"); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
