#!/usr/bin/env bash
# End-to-end checks of the region picker under Wine, driven with the real
# mouse and keyboard: a test program (pickertool.exe, built beside
# quorvane.exe) opens it over the primary display and prints what it
# returns. The overlay shows the hint; a drag draws the cyan frame and the
# size label and returns the rectangle; Escape cancels.
#
# Xvfb has no compositor, so Wine shows the layered window's premultiplied
# pixels as they are: the dim overlay and the selection both look black,
# while the frame and the labels show their own colours.
#
# usage: tests/e2e/picker.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run) and xdotool.
# Uses a fresh Wine prefix of its own, removed at the end. With
# QV_SCREENSHOTS set to a folder, the overlay in the middle of the drag is
# saved there as region-picker.png.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

tool="$(dirname "$exe")/pickertool.exe"
[ -f "$tool" ] || e2e_abort "pickertool.exe beside quorvane.exe (built with the windows preset)"

# Starts the tool in the background; its output goes to $1, its exit code to $1.rc.
start_picker() {
    rm -f "$1" "$1.rc"
    (
        wine "$tool" >"$1" 2>&1
        echo $? >"$1.rc"
    ) &
}
picker_window=""
picker_shown() {
    picker_window=$(xdotool search --onlyvisible --name '^Select recording region$' 2>/dev/null | head -n 1)
    [ -n "$picker_window" ]
}
printed() { tr -d '\r' <"$2" 2>/dev/null | grep -qx "$1"; }
# The colour of one pixel of a screenshot as RRGGBB.
pixel() { convert "$1" -crop "1x1+$2+$3" -depth 8 txt:- 2>/dev/null | grep -oE '#[0-9A-F]{6}' | head -n 1 | tr -d '#'; }
pixel_is() { # file x y RRGGBB what
    local got
    got=$(pixel "$1" "$2" "$3")
    [ "$got" = "$4" ] || { echo "  $5 at $2,$3: $got, expected $4"; return 1; }
}

# --- the overlay with its hint ---------------------------------------------
start_picker "$work/drag.out"
check "the picker covers the primary display" wait_for -t 60 picker_shown
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
geometry=$(xdotool getwindowgeometry "$picker_window" 2>/dev/null | grep -oE 'Geometry: [0-9]+x[0-9]+')
check "at the display's size ($geometry)" test "$geometry" = "Geometry: ${screen_w}x${screen_h}"
sleep 0.5
import -window root "$work/hint.png" 2>/dev/null
check "dimmed (black here) away from the hint" pixel_is "$work/hint.png" 100 300 000000 "dim"
# The hint's box is centred at the top, 24 pixels down; two rows below its
# top edge lies its fill, above the text.
check "the hint's box at the top" pixel_is "$work/hint.png" $((screen_w / 2)) 26 15161C "hint box"

# --- a drag from (300, 200) to (900, 700) --------------------------------------
xdotool mousemove --sync 300 200
xdotool mousedown 1
for point in "400 280" "500 360" "600 440" "700 520" "800 600"; do
    # shellcheck disable=SC2086
    xdotool mousemove --sync $point
    sleep 0.1
done
sleep 0.5
import -window root "$work/region-picker.png" 2>/dev/null
# The selection (300,200)-(800,600) so far: its frame two pixels around it,
# its size label 12 pixels below, centred on x 550.
check "the frame is cyan" pixel_is "$work/region-picker.png" 298 198 33BEF5 "frame corner"
check "the frame's right bar" pixel_is "$work/region-picker.png" 801 400 33BEF5 "right bar"
check "inside the frame: the selection (black here)" pixel_is "$work/region-picker.png" 550 400 000000 "selection"
check "outside the frame: dimmed" pixel_is "$work/region-picker.png" 296 400 000000 "dim"
check "the size label below the selection" pixel_is "$work/region-picker.png" 550 614 15161C "label box"
check "nothing of the hint left" pixel_is "$work/region-picker.png" $((screen_w / 2)) 26 000000 "where the hint was"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/region-picker.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/region-picker.png" "$QV_SCREENSHOTS/region-picker.png"
fi
xdotool mousemove --sync 900 700
xdotool mouseup 1
check "the drag returns its rectangle" wait_for -t 20 printed 'picked 300 200 900 700' "$work/drag.out"
check "the picker closes" wait_for -t 20 test -e "$work/drag.out.rc"

# --- Escape ---------------------------------------------------------------------
start_picker "$work/escape.out"
check "the picker opens again" wait_for -t 60 picker_shown
xdotool key Escape
check "Escape cancels" wait_for -t 20 printed 'cancelled' "$work/escape.out"
check "the picker closes" wait_for -t 20 test -e "$work/escape.out.rc"

e2e_finish "$work/drag.out"
