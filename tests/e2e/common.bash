# Shared by the end-to-end scripts (sourced, not run on its own): a fresh Wine
# prefix per script, the test tools built with mingw, PASS/FAIL lines and the
# closing "e2e: N passed, N failed" line that scripts/test adds up.
#
# usage, at the top of a script:
#   . "$(dirname "$0")/common.bash"
#   e2e_init "$1" [tool.c [extra link flags]]...    (after setting e2e_needs_xdotool=1 if needed)

passed=0
failed=0
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

check() { # name, then the command that must succeed
    local name=$1
    shift
    if "$@"; then
        echo "PASS $name"
        passed=$((passed + 1))
    else
        echo "FAIL $name"
        failed=$((failed + 1))
    fi
}

e2e_abort() {
    echo "FAIL $1"
    echo "e2e: $passed passed, $((failed + 1)) failed"
    exit 1
}

e2e_cleanup() {
    wineserver -k 2>/dev/null
    wineserver -w 2>/dev/null
    rm -rf "$work"
}

# Sets exe and work, makes a private prefix and builds the named tools
# (tests/e2e/NAME.c → $work/NAME.exe). Each tool argument may carry link flags
# after a colon, e.g. "traytool.c:-lcomctl32 -lgdi32".
e2e_init() {
    exe=$(readlink -f "${1:?usage: $(basename "$0") path/to/quorvane.exe}")
    shift
    work=$(mktemp -d)
    export WINEPREFIX="$work/prefix"
    export WINEDEBUG=-all
    # No Mono or Gecko installer dialogs: nothing here needs them.
    export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
    mkdir -p "$WINEPREFIX"
    trap e2e_cleanup EXIT

    [ -n "${DISPLAY:-}" ] || e2e_abort "display (no DISPLAY; run under xvfb-run)"
    if [ "${e2e_needs_xdotool:-0}" = 1 ] && ! command -v xdotool >/dev/null; then
        e2e_abort "environment (needs xdotool)"
    fi

    local tool src flags
    for tool in qvtool.c "$@"; do
        src=${tool%%:*}
        flags=""
        [ "$src" != "$tool" ] && flags=${tool#*:}
        # shellcheck disable=SC2086
        x86_64-w64-mingw32-gcc-posix -O2 -o "$work/${src%.c}.exe" "$here/$src" $flags ||
            e2e_abort "build $src"
    done
    wineboot -i >/dev/null 2>&1
    # A wineserver started during the boot without X would be reused and refuse windows.
    wineserver -w 2>/dev/null
}

# Waits up to `limit` seconds (default 60) for a command to succeed.
wait_for() {
    local limit=60
    if [ "$1" = "-t" ]; then
        limit=$2
        shift 2
    fi
    local deadline=$((SECONDS + limit))
    while [ "$SECONDS" -lt "$deadline" ]; do
        "$@" && return 0
        sleep 0.3
    done
    "$@"
}

# Shows qvtool's window "qvtool focus" and gives it the X focus, which Wine
# takes as the foreground. There may be no window manager, so the focus is
# set directly. Sets focus_window (the X id) and adds two checks.
e2e_focus_window() {
    wine "$work/qvtool.exe" window >"$work/window.out" 2>&1 &
    focus_window=""
    _e2e_find_window() {
        focus_window=$(xdotool search --name '^qvtool focus$' 2>/dev/null | head -n 1)
        [ -n "$focus_window" ]
    }
    _e2e_take_focus() {
        xdotool windowfocus --sync "$focus_window" 2>/dev/null
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$focus_window" ]
    }
    check "focus window shown" wait_for _e2e_find_window
    check "focus window has the keyboard focus" wait_for -t 20 _e2e_take_focus
}

log_file() { find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/Quorvane/logs/qv.log' 2>/dev/null | head -n 1; }
config_file() { find "$WINEPREFIX/drive_c/users" -path '*/AppData/Roaming/Quorvane/config.json' 2>/dev/null | head -n 1; }
# The log's messages without time stamps: "INF text".
log_messages() { local f; f=$(log_file); [ -n "$f" ] && tr -d '\r' <"$f" | cut -d' ' -f3-; }

# Prints the program's output and log when something failed, then the summary.
e2e_finish() { # file holding the program's output
    if [ "$failed" -ne 0 ]; then
        echo "--- output of the program:" >&2
        cat "$1" >&2 2>/dev/null
        echo "--- log file:" >&2
        cat "$(log_file)" >&2 2>/dev/null
    fi
    echo "e2e: $passed passed, $failed failed"
    [ "$failed" -eq 0 ]
}
