#!/usr/bin/env bash
# End-to-end checks of window placement onto the second of two monitors side
# by side, through the program's own paths (the two-monitor tier's X server,
# scripts/lib-xorg.sh): the classic flyout's "Gather Here" on the right
# display's row brings the left monitor's windows over and centres them there,
# the tiling hotkey Ctrl+Alt+Shift+2 tiles the right monitor's windows into
# its 2x2 grid (the foreground window's monitor), and a snap hotkey bound in
# config.json puts the foreground window into a cell of the right monitor.
#
# usage: tests/e2e/two-monitors/windows.sh path/to/quorvane.exe
# Needs $DISPLAY to be the two-monitor X server and xdotool.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/../common.bash"
e2e_init "${1:-}"
. "$here/two-monitors/two-monitors.bash"


# A snap binding of the user's own; the tiling bindings come by themselves.
config_dir=$(config_folder)
cat >"$config_dir/config.json" <<'JSON'
{
  "welcomeShown": true,
  "hotkeys": {
    "GatherWindows": "Ctrl+Alt+G",
    "SnapWindow:3x2:4": "Ctrl+Alt+Shift+S"
  }
}
JSON

panel_visible() { [ "$(qv win QuorvaneFlyout | cut -d' ' -f1)" = visible ]; }
controls() { qv children QuorvaneFlyout; }
has_control() { controls | grep -q "^$1 "; }
press() {
    local id l t r b
    read -r id l t r b _ < <(controls | grep "^$1 ")
    [ -n "${id:-}" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}

start_program
registered() { log_messages | grep -qx 'INF Registered 5 hotkey(s), 0 conflict(s)'; }
check "the snap binding and the three tiling ones are registered" wait_for registered

# Two windows on the left monitor, one already on the right one.
wine "$work/qvtool.exe" window "left small" 100 100 640 480 >/dev/null 2>&1 &
wine "$work/qvtool.exe" window "left large" 300 200 800 600 >/dev/null 2>&1 &
wine "$work/qvtool.exe" window "right one" 2000 100 400 300 >/dev/null 2>&1 &
shown() { is_at "left small" "100 100 740 580" && is_at "left large" "300 200 1100 800" && is_at "right one" "2000 100 2400 400"; }
check "three test windows shown where they were put" wait_for -t 30 shown

# --- Gather Here on the right display's row ------------------------------------
qv iconclick >/dev/null
check "the flyout opens" wait_for -t 10 panel_visible
press 101
# The expanded block of the display whose row was clicked carries Gather Here.
right_selected() { controls | grep -q '^101 .* ▾ '; }
check "clicking the second row selects the right display" wait_for -t 10 right_selected
check "which offers Gather Here" has_control 26
press 26
check "Gather Here dispatches GatherWindows" wait_for -t 10 logged "INF dispatch GatherWindows"
# Centred in the right monitor's work area (1920,0 to 3840,1080), sizes kept.
check "the small window is centred on the right monitor" wait_for -t 10 is_at "left small" "2560 300 3200 780"
check "the large window is centred on the right monitor" wait_for -t 10 is_at "left large" "2480 240 3280 840"
check "the window already there stays where it was" is_at "right one" "2000 100 2400 400"
qv hide QuorvaneFlyout

# --- Ctrl+Alt+Shift+2 with a window of the right monitor in the foreground ------
# Wine hands hotkeys over only while one of its windows has the X focus; the
# foreground window decides the target of tiling and snapping, and the X
# focus alone does not always move Wine's foreground, so both are set.
check "a window on the right monitor takes the focus and the foreground" wait_for -t 20 focus_on "left small"
xdotool key --clearmodifiers ctrl+alt+shift+2
check "Ctrl+Alt+Shift+2 dispatches TileWindows" wait_for -t 10 logged "INF dispatch TileWindows"
# The right monitor's windows go into its 2x2 grid's cells, one each, top of
# the Z order first. Besides the three test windows, Wine's "Wine System Tray"
# window passes the application window test (Windows' taskbar does not) and
# was gathered with them, so it takes a cell too: the test windows are three
# of the four cells, whichever order the Z order gives them.
cell_of() {
    case "$(rect_of "$1")" in
        "1920 0 2880 540") echo 0 ;;
        "2880 0 3840 540") echo 1 ;;
        "1920 540 2880 1080") echo 2 ;;
        "2880 540 3840 1080") echo 3 ;;
        *) echo none ;;
    esac
}
tiled() {
    local cells
    cells=$(for t in "left small" "left large" "right one"; do cell_of "$t"; done | sort -u)
    [ "$(grep -c '^[0-3]$' <<<"$cells")" = 3 ]
}
check "the right monitor's windows each fill a cell of its 2x2 grid" wait_for -t 10 tiled
tile_answer() {
    log_messages | grep -A1 -x 'INF dispatch TileWindows' | sed -n 2p | grep -qE '^INF Tiled [34] window\(s\) into a 2x2 grid$'
}
check "and the answer counts them" wait_for -t 10 tile_answer
for t in "left small" "left large" "right one"; do echo "  $t: $(rect_of "$t")"; done

# --- the user's snap binding ------------------------------------------------------
check "the window has the focus and the foreground" wait_for -t 20 focus_on "left small"
xdotool key --clearmodifiers ctrl+alt+shift+s
check "Ctrl+Alt+Shift+S dispatches SnapWindow" wait_for -t 10 logged "INF dispatch SnapWindow"
# Cell 5 of 3x2 (the middle of the bottom row) on the right monitor.
check "the foreground window is snapped into the right monitor's cell" wait_for -t 10 is_at "left small" "2560 540 3200 1080"
snap_answer() { log_messages | grep -A1 -x 'INF dispatch SnapWindow' | sed -n 2p | grep -qx 'INF Snapped window to cell 5 of 3x2'; }
check "and the answer names the cell" wait_for -t 10 snap_answer
for t in "left small" "left large" "right one"; do echo "  $t: $(rect_of "$t")"; done

qv quit
check "the program ends" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"

e2e_finish "$work/out.txt"
