#!/usr/bin/env bash
# End-to-end checks of the real quorvane.exe under Wine on two monitors side
# by side (the two-monitor tier's X server, scripts/lib-xorg.sh): the classic
# flyout shows a row per display, the arrangement window a tile per display
# (the primary one on the left), and the open flyout follows the monitors
# when the right one is turned off and on again.
#
# usage: tests/e2e/two-monitors/displays.sh path/to/quorvane.exe
# Needs $DISPLAY to be the two-monitor X server and xdotool. With
# QV_SCREENSHOTS set to a folder, the panels are saved there as
# two-monitors-classic-flyout.png and two-monitors-arrange.png.
#
# Wine sends no WM_DISPLAYCHANGE when an output is turned off or on with
# xrandr, and leaves windows on a monitor that is gone; Windows does both.
# This script plays Windows' part with "qvtool evacuate" and
# "qvtool displaychange" after each such change.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/../common.bash"
e2e_init "${1:-}"
. "$here/two-monitors/two-monitors.bash"
# The right monitor is turned off below: whatever happens, it is back on for
# the scripts that follow.
trap 'qv_xorg_second_on >/dev/null 2>&1; e2e_cleanup' EXIT


panel_state() { qv win QuorvaneFlyout | cut -d' ' -f1; }
panel_visible() { [ "$(panel_state)" = visible ]; }
controls() { qv children QuorvaneFlyout; }
has_control() { controls | grep -q "^$1 "; }
lacks_control() { ! has_control "$1"; }
press() {
    local id l t r b
    read -r id l t r b _ < <(controls | grep "^$1 ")
    [ -n "${id:-}" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
# Saves the screen's rectangle L T R B as NAME.png in the work folder and,
# with QV_SCREENSHOTS, there too.
shoot() {
    local name=$1 l=$2 t=$3 r=$4 b=$5
    sleep 0.5
    import -window root "$work/screen.png" 2>/dev/null
    convert "$work/screen.png" -crop "$((r - l))x$((b - t))+$l+$t" +repage "$work/$name.png" 2>/dev/null
    if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/$name.png" ]; then
        mkdir -p "$QV_SCREENSHOTS" && cp "$work/$name.png" "$QV_SCREENSHOTS/$name.png"
    fi
    test -s "$work/$name.png"
}

start_program

check "the first start opens the classic flyout" wait_for -t 60 panel_visible
rows_ok() {
    local list
    list=$(controls)
    grep -q '^100 .* ★ [^ ].*   1920x1080 ' <<<"$list" &&
        grep -q '^101 .* [^★ ][^ ]*   1920x1080 ' <<<"$list" &&
        ! grep -q '^102 ' <<<"$list"
}
check "it shows two display rows, the first one primary, both 1920x1080" wait_for -t 10 rows_ok
names_differ() {
    local first second
    first=$(controls | sed -n 's/^100 [-0-9 ]* enabled . //p')
    second=$(controls | sed -n 's/^101 [-0-9 ]* enabled . //p')
    [ -n "$first" ] && [ -n "$second" ] && [ "$first" != "$second" ]
}
check "with captions of their own" names_differ
read -r _ left top right bottom < <(qv win QuorvaneFlyout)
check "the flyout lies on the primary monitor" test "$right" -le 1920
check "screenshot of the flyout taken" shoot two-monitors-classic-flyout "$left" "$top" "$right" "$bottom"

# --- the arrangement window ------------------------------------------------------
press 13
arrange_visible() { [ "$(qv win QuorvaneArrange | cut -d' ' -f1)" = visible ]; }
check "Arrange Displays opens the arrangement window" wait_for -t 10 arrange_visible
read -r _ al at ar ab < <(qv win QuorvaneArrange)
check "screenshot of the arrangement window taken" shoot two-monitors-arrange "$al" "$at" "$ar" "$ab"

# The tiles are painted, not child windows: they are found in the screenshot.
# A row of pixels across the canvas a little above the tiles' middle (where
# the names are written) crosses each tile's fill: the primary tile in the
# accent colour, the other one in the panel colour (the program's look:
# accent #33BEF5, panel #1C1E26). The canvas spans client 16,58 to 584,358 at
# 96 DPI; the client area's top left is found from the Close button
# (client 494,372).
read -r _ close_l close_t _ _ _ < <(qv children QuorvaneArrange | grep '^2004 ')
client_x=$((close_l - 494 - al))
client_y=$((close_t - 372 - at))
row_y=$((client_y + 58 + 150 - 40))
# Prints "COLOUR FIRST LENGTH" for every run of one colour at least 40 pixels long.
colour_runs() {
    convert "$work/two-monitors-arrange.png" -crop "568x1+$((client_x + 16))+$row_y" +repage -depth 8 txt:- 2>/dev/null |
        awk -F'[ ,:]+' 'NR > 1 { x = $1; c = ""; for (i = 1; i <= NF; i++) if ($i ~ /^#/) c = toupper(substr($i, 1, 7));
                         if (c != run) { if (run != "" && x - start >= 40) print run, start, x - start; run = c; start = x } }
                         END { if (run != "" && x + 1 - start >= 40) print run, start, x + 1 - start }'
}
colour_runs >"$work/runs.txt"
tiles_ok() {
    local accent panel
    accent=$(grep -c '^#33BEF5 ' "$work/runs.txt")
    panel=$(grep -c '^#1C1E26 ' "$work/runs.txt")
    if [ "$accent" != 1 ] || [ "$panel" != 1 ]; then
        echo "colour runs across the canvas:" >&2
        cat "$work/runs.txt" >&2
        return 1
    fi
    local a_start p_start a_len p_len
    read -r _ a_start a_len < <(grep '^#33BEF5 ' "$work/runs.txt")
    read -r _ p_start p_len < <(grep '^#1C1E26 ' "$work/runs.txt")
    # Side by side, primary on the left, the same width within a pixel or two.
    [ "$a_start" -lt "$p_start" ] && [ $((a_len - p_len)) -le 3 ] && [ $((p_len - a_len)) -le 3 ]
}
check "it shows two tiles side by side, the primary one left" tiles_ok
qv click QuorvaneArrange 2004 >/dev/null
arrange_gone() { ! wine "$work/qvtool.exe" win QuorvaneArrange >/dev/null 2>&1; }
check "Close closes it" wait_for -t 10 arrange_gone

# --- the right monitor goes and comes back ---------------------------------------
qv iconclick >/dev/null
check "the flyout opens again" wait_for -t 10 panel_visible
check "with both rows" wait_for -t 10 has_control 101
qv_xorg_second_off
check "Wine sees one monitor after the right output is turned off" wait_for -t 10 test "$(monitor_count)" = 1
qv evacuate >/dev/null
qv displaychange >/dev/null
check "after WM_DISPLAYCHANGE the open flyout shows one row" wait_for -t 10 lacks_control 101
check "the remaining row is the primary one" wait_for -t 10 bash -c "wine '$work/qvtool.exe' children QuorvaneFlyout 2>/dev/null | grep -q '^100 .* ★ '"
qv_xorg_second_on
check "Wine sees two monitors after it is turned on again" wait_for -t 10 test "$(monitor_count)" = 2
qv displaychange >/dev/null
check "after WM_DISPLAYCHANGE the second row is back" wait_for -t 10 has_control 101

qv quit
check "the program ends" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"

e2e_finish "$work/out.txt"
