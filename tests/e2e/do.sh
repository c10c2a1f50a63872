#!/usr/bin/env bash
# End-to-end checks of "quorvane.exe --do" on the real program under Wine:
# without a running instance (exit 3, nothing started, no log written), the
# list of action texts, then with the instance running: an action dispatched
# by the instance, a window action, an unknown text, the JSON line, output
# redirected to a file, and Exit handed over the same way, which ends the
# instance normally.
#
# usage: tests/e2e/do.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end.
set -u

. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

out="$work/do.out"
rc=0
# Runs "quorvane.exe --do ..."; its standard output lands in $out (without
# carriage returns, as a shell's redirection to a file has it) and its exit
# code in $rc.
qvdo() {
    wine "$exe" --do "$@" >"$work/raw.out" 2>"$work/do.err"
    rc=$?
    tr -d '\r' <"$work/raw.out" >"$out"
    {
        echo "--- quorvane.exe --do $*: exit $rc"
        cat "$out"
    } >>"$work/all.out"
}
output_is() { [ "$(cat "$out")" = "$1" ]; }
one_line() { [ "$(wc -l <"$out")" -eq 1 ]; }
has_line() { grep -qxF -- "$1" "$out"; }
tray_window() { wine "$work/qvtool.exe" find >/dev/null 2>&1; }
no_tray_window() { ! tray_window; }
no_log() { [ -z "$(log_file)" ]; }
logged() { log_messages | grep -qF -- "$1"; }
# The printed line is the instance's result: "ok: " with exit code 0 or
# "error: " with 1, and its message is the one the instance logged.
result_line() {
    local line message
    line=$(cat "$out")
    case "$line" in
    "ok: "*) [ "$rc" -eq 0 ] || return 1; message=${line#ok: } ;;
    "error: "*) [ "$rc" -eq 1 ] || return 1; message=${line#error: } ;;
    *) return 1 ;;
    esac
    [ -n "$message" ] && logged "$message"
}

# --- no instance ------------------------------------------------------------
qvdo ProjectionExtend
check "--do without an instance exits with 3" test "$rc" -eq 3
check "--do without an instance says so" output_is "error: Quorvane is not running"
check "--do started no tray window" no_tray_window
check "--do wrote no log file" no_log

qvdo --json RescueWindows
check "--do --json without an instance exits with 3" test "$rc" -eq 3
check "--do --json without an instance prints the JSON line" \
    output_is '{"action":"RescueWindows","message":"Quorvane is not running","ok":false}'

# --- list -------------------------------------------------------------------
qvdo list
check "--do list exits with 0" test "$rc" -eq 0
for form in ProjectionExtend GatherWindows RestoreWindows RescueWindows Exit \
    'TileWindows:<cols>x<rows>' 'SnapWindow:<cols>x<rows>:<cell>' 'RestoreLayout:<name>'; do
    check "--do list shows $form" has_line "$form"
done

# --- usage errors -----------------------------------------------------------
qvdo Foo
check "--do Foo exits with 2" test "$rc" -eq 2
check "--do Foo names the text" output_is "error: unknown action 'Foo'"
qvdo
check "--do without a text exits with 2" test "$rc" -eq 2
check "no log file after the usage errors" no_log

# --- the running instance ---------------------------------------------------
(
    wine "$exe" >"$work/instance.out" 2>&1
    echo $? >"$work/rc"
) &
check "the instance shows its controller window" wait_for -t 60 tray_window
check "the instance has started" wait_for -t 30 logged "starting (elevated="

# Whether Wine's display driver can extend depends on the X server's screens
# (with one the readback still shows one display): the line and the exit
# code must be the instance's result, whichever it is.
qvdo ProjectionExtend
check "--do ProjectionExtend prints one line" one_line
check "--do ProjectionExtend prints the instance's result with its exit code" result_line
check "the instance dispatched ProjectionExtend" logged "dispatch ProjectionExtend"

qvdo RescueWindows
check "--do RescueWindows exits with 0" test "$rc" -eq 0
check "--do RescueWindows prints ok" grep -qE '^ok: ' "$out"
check "the instance dispatched RescueWindows" logged "dispatch RescueWindows"

qvdo --keep GatherWindows
check "--do --keep GatherWindows is dispatched" logged "dispatch GatherWindows"

qvdo Bogus:1
check "--do Bogus:1 exits with 2" test "$rc" -eq 2
check "--do Bogus:1 names the text" output_is "error: unknown action 'Bogus:1'"

qvdo "RestoreLayout:No such layout"
check "--do RestoreLayout of a missing layout exits with 1" test "$rc" -eq 1
check "--do RestoreLayout of a missing layout prints an error" grep -qE '^error: ' "$out"

qvdo --json RescueWindows
check "--do --json exits with 0" test "$rc" -eq 0
check "--do --json prints one JSON line" \
    grep -qE '^\{"action":"RescueWindows","message":"[^"]+","ok":true\}$' "$out"

# Into a pipe as well as a file.
piped=$(wine "$exe" --do RescueWindows 2>/dev/null | tr -d '\r')
check "--do into a pipe prints the line" test "${piped:0:4}" = "ok: "

check "the instance keeps running" test ! -e "$work/rc"

# --- Exit through --do ------------------------------------------------------
qvdo Exit
check "--do Exit exits with 0" test "$rc" -eq 0
check "--do Exit prints ok" grep -qE '^ok: ' "$out"
check "the instance ends" wait_for -t 30 test -e "$work/rc"
check "the instance's exit code is 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "the instance logged its normal end" logged "Quorvane exiting"

qvdo ProjectionExtend
check "--do after the end exits with 3" test "$rc" -eq 3

e2e_finish "$work/all.out"
