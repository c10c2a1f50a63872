#!/usr/bin/env bash
# End-to-end check of one hotkey on the real quorvane.exe under Wine: the
# default bindings are registered at start-up, pressing Ctrl+Alt+E while a
# Wine window has the keyboard focus dispatches ProjectionExtend through the
# action bus, whose answer (Extend applied, or why not) follows in the log,
# and the program still quits cleanly afterwards.
#
# usage: tests/e2e/hotkeys.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run) and xdotool.
# Uses a fresh Wine prefix of its own, removed at the end.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

# --- the program starts and registers its default hotkeys -----------------
(
    wine "$exe" >"$work/qv.out" 2>&1
    echo $? >"$work/qv.rc"
) &

registered() { log_messages | grep -qx 'INF Registered 11 hotkey(s), 0 conflict(s)'; }
check "eleven default hotkeys registered" wait_for registered

# --- a Wine window takes the keyboard focus -----------------------------------
# Wine hands hotkeys to the program only while one of its windows has the X
# focus.
e2e_focus_window

# --- Ctrl+Alt+E ------------------------------------------------------------------
xdotool key --clearmodifiers ctrl+alt+e
dispatched() { log_messages | grep -qx 'INF dispatch ProjectionExtend'; }
check "Ctrl+Alt+E dispatches ProjectionExtend" wait_for dispatched

# The line after the dispatch is setProjection's answer. Wine's SetDisplayConfig
# does nothing and reports the topology as internal, so a refusal is as valid
# as success here; any other text is not.
outcome=""
answered() {
    outcome=$(log_messages | grep -A1 -x 'INF dispatch ProjectionExtend' | sed -n 2p)
    [ -n "$outcome" ]
}
check "a log line follows the dispatch" wait_for answered
echo "  outcome: $outcome"
is_projection_answer() {
    printf '%s\n' "$outcome" | grep -qE \
        -e '^INF Extend applied$' \
        -e '^WRN Applied Extend but readback shows (Internal|Clone|External)$' \
        -e '^WRN SetDisplayConfig\(Extend\) failed: .+$'
}
check "the next log line is setProjection's answer" is_projection_answer

# --- quitting ----------------------------------------------------------------------
wine "$work/qvtool.exe" quit
check "quit message posted" test $? -eq 0
check "program ends" wait_for test -e "$work/qv.rc"
check "program exits with 0" test "$(cat "$work/qv.rc" 2>/dev/null)" = 0

e2e_finish "$work/qv.out"
