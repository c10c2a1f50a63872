#!/usr/bin/env bash
# End-to-end check that windows come home on two monitors side by side (the
# two-monitor tier's X server, scripts/lib-xorg.sh): a window on the right
# monitor goes back to its place when that monitor returns, a window on the
# left one never moves, and "RescueWindows" brings a window lying outside
# both monitors onto the primary one.
#
# Wine leaves windows on a monitor that is gone and sends no WM_DISPLAYCHANGE
# when an output is turned off or on with xrandr; Windows moves them onto the
# remaining monitor and broadcasts the message. The script plays that part
# with "qvtool evacuate" and "qvtool displaychange". Wine also sends no
# foreground, move or minimise events to a WinEvent hook, which is when the
# program records window places on Windows; a display change of the same
# monitors is the other moment it records them, so the script broadcasts one
# once its windows are in place.
#
# usage: tests/e2e/two-monitors/homecoming.sh path/to/quorvane.exe
# Needs $DISPLAY to be the two-monitor X server.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/../common.bash"
e2e_init "${1:-}"
. "$here/two-monitors/two-monitors.bash"
trap 'qv_xorg_second_on >/dev/null 2>&1; e2e_cleanup' EXIT

config_dir=$(config_folder)
# The rescue gets a hotkey of its own for this test; the settle time is the default.
cat >"$config_dir/config.json" <<'JSON'
{
  "welcomeShown": true,
  "hotkeys": { "RescueWindows": "Ctrl+Alt+Shift+R" }
}
JSON


start_program
started() { log_messages | grep -q '^INF Registered [0-9]* hotkey(s)'; }
check "the program starts" wait_for started

wine "$work/qvtool.exe" window "comes home" 2100 150 800 500 >/dev/null 2>&1 &
wine "$work/qvtool.exe" window "stays put" 200 200 600 400 >/dev/null 2>&1 &
shown() { is_at "comes home" "2100 150 2900 650" && is_at "stays put" "200 200 800 600"; }
check "a window on each monitor" wait_for -t 30 shown
# The moment the program records the places (see above).
qv displaychange >/dev/null
sleep 1

# The right monitor goes; Windows' part: its windows onto the left one, then the broadcast.
qv_xorg_second_off
check "Wine sees one monitor" test "$(monitor_count)" = 1
qv evacuate >/dev/null
qv displaychange >/dev/null
on_left() {
    local l
    read -r l _ < <(rect_of "comes home")
    [ -n "$l" ] && [ "$l" -lt 1920 ]
}
check "the window was moved onto the left monitor" on_left
echo "  moved by 'Windows' to: $(rect_of "comes home")"
# Past the settle time, with the monitor still away.
sleep 4

qv_xorg_second_on
check "Wine sees two monitors again" test "$(monitor_count)" = 2
qv displaychange >/dev/null
check "the window is back at 2100,150 (800x500) on the right monitor" wait_for -t 10 is_at "comes home" "2100 150 2900 650"
check "the log says so" wait_for -t 5 logged "INF Put 1 window(s) back on the displays that came back"
check "the window on the left monitor never moved" is_at "stays put" "200 200 800 600"

# --- RescueWindows --------------------------------------------------------------
wine "$work/qvtool.exe" window "lost" 100 100 400 300 >/dev/null 2>&1 &
check "a third window" wait_for -t 30 is_at "lost" "100 100 500 400"
qv place "lost" 9000 3000 400 300 >/dev/null
check "placed outside both monitors" is_at "lost" "9000 3000 9400 3300"
check "a test window has the keyboard focus (Wine hands hotkeys over then)" wait_for -t 20 focus_on "stays put"
xdotool key --clearmodifiers ctrl+alt+shift+r
check "the hotkey dispatches RescueWindows" wait_for -t 10 logged "INF dispatch RescueWindows"
# Centred in the primary (left) monitor's work area.
rescued() {
    local l t r b
    read -r l t r b < <(rect_of "lost")
    [ -n "${b:-}" ] && [ "$l" -ge 0 ] && [ "$r" -le 1920 ] && [ "$t" -ge 0 ] && [ "$b" -le 1080 ] && [ $((r - l)) = 400 ]
}
check "the lost window is on the primary monitor, its size kept" wait_for -t 10 rescued
echo "  rescued to: $(rect_of "lost")"
check "the two others stayed" bash -c "[ \"\$(wine '$work/qvtool.exe' rect 'stays put' 2>/dev/null | tr -d '\r' | cut -d' ' -f2-)\" = '200 200 800 600' ]"

qv quit
check "the program ends" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"

e2e_finish "$work/out.txt"
