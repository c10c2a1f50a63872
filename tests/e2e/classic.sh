#!/usr/bin/env bash
# End-to-end checks of the classic flyout on the real quorvane.exe under Wine,
# which has no browser runtime: the first start opens it by itself once, a
# left click on the tray icon opens it at the icon, its controls carry their
# captions and ids, its buttons act, Escape hides it, a second start shows it
# again and its Exit button ends the program.
#
# usage: tests/e2e/classic.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end. With QV_SCREENSHOTS set to a
# folder, the open panel is saved there as classic-flyout.png.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}" "traytool.c:-lcomctl32 -lgdi32"

tool() { wine "$work/traytool.exe" "$@" 2>/dev/null | tr -d '\r'; }
qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
panel_state() { qv win QuorvaneFlyout | cut -d' ' -f1; }
panel_visible() { [ "$(panel_state)" = visible ]; }
panel_hidden() { [ "$(panel_state)" = hidden ]; }
controls() { qv children QuorvaneFlyout; }
has_control() { controls | grep -q "^$1 "; }
lacks_control() { ! has_control "$1"; }
# Clicks the middle of the panel's control with that id.
press() {
    local id l t r b
    read -r id l t r b _ < <(controls | grep "^$1 ")
    [ -n "${id:-}" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
logged() { grep -q "$1" "$(log_file)" 2>/dev/null; }

(
    wine "$exe" >"$work/out.txt" 2>&1
    echo $? >"$work/rc"
) &

check "the first start opens the classic flyout by itself" wait_for -t 60 panel_visible
welcome_saved() { grep -q '"welcomeShown": true' "$(config_file)" 2>/dev/null; }
check "and counts that as the welcome" wait_for -t 10 welcome_saved

# Opened by itself, it may not have the keyboard: a click on its title gives it.
press 90
xdotool key Escape
check "Escape hides it" wait_for -t 10 panel_hidden

read -r icon_x icon_y < <(tool icon)
xdotool mousemove "$icon_x" "$icon_y" click 1
check "a left click on the icon shows it" wait_for -t 10 panel_visible
read -r _ left top right bottom < <(qv win QuorvaneFlyout)
near() { [ $((left - icon_x)) -le 2 ] && [ $((icon_x - left)) -le 2 ] && [ $((top - icon_y)) -le 2 ] && [ $((icon_y - top)) -le 2 ]; }
check "below and right of the icon at the screen's top left ($left,$top for $icon_x,$icon_y)" near
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
check "inside the screen" test "$right" -le "$screen_w" -a "$bottom" -le "$screen_h"
check "318 pixels wide" test $((right - left)) = 318

captions_ok() {
    local list
    list=$(controls)
    for row in "1 .* Internal$" "2 .* Mirror$" "3 .* Extend$" "4 .* External$" "5 .* Push Native$" \
        "9 .* Flip Arrangement$" "11 .* Layouts$" "13 .* Arrange Displays$" "14 .* Refresh$" \
        "15 .* Settings$" "16 .* Exit$" "100 .* Display1 " "27 .* Rename$" "28 .* More…$"; do
        grep -q "^$row" <<<"$list" || { echo "missing: $row" >&2; return 1; }
    done
}
check "its controls carry their captions and ids" captions_ok

sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$work/classic-flyout.png" 2>/dev/null
check "screenshot of the panel taken" test -s "$work/classic-flyout.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/classic-flyout.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/classic-flyout.png" "$QV_SCREENSHOTS/classic-flyout.png"
fi

press 3
check "Extend dispatches ProjectionExtend" wait_for -t 10 logged "INF dispatch ProjectionExtend$"
check "the one display starts expanded" has_control 18
press 100
check "clicking its row collapses it" wait_for -t 10 lacks_control 18
press 100
check "and clicking again expands it" wait_for -t 10 has_control 18
check "the panel stays open meanwhile" panel_visible

# --- Rename: the text prompt ------------------------------------------------------
prompt_visible() { [ "$(qv win QuorvanePrompt | cut -d' ' -f1)" = visible ]; }
press 27
check "Rename opens the prompt" wait_for -t 10 prompt_visible
prompt_ok() {
    local list
    list=$(qv children QuorvanePrompt)
    grep -q "^1 .* OK$" <<<"$list" && grep -q "^2 .* Cancel$" <<<"$list" && grep -q " Display name:$" <<<"$list"
}
check "with its label and buttons" prompt_ok
read -r _ pl pt pr pb < <(qv win QuorvanePrompt)
sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((pr - pl))x$((pb - pt))+$pl+$pt" +repage "$work/prompt.png" 2>/dev/null
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/prompt.png" ]; then
    cp "$work/prompt.png" "$QV_SCREENSHOTS/prompt.png"
fi
# The field starts with the whole name selected: typing replaces it.
xdotool type --delay 50 "Desk left"
xdotool key Return
renamed() { grep -q '"Desk left"' "$(config_file)" 2>/dev/null; }
check "typing a name and Enter stores it under displayNames" wait_for -t 10 renamed
row_renamed() { controls | grep -q "^100 .*Desk left"; }
check "and the panel's row shows it" wait_for -t 10 row_renamed

# --- the arrangement window, from the panel ------------------------------------
press 13
arrange_visible() { [ "$(qv win QuorvaneArrange | cut -d' ' -f1)" = visible ]; }
check "Arrange Displays opens the arrangement window" wait_for -t 10 arrange_visible
check "and the panel makes way" panel_hidden
arrange_controls() { qv children QuorvaneArrange; }
arrange_ok() {
    local list
    list=$(arrange_controls)
    for row in "2001 .* Set as primary$" "2002 .* Apply$" "2003 .* Revert$" "2004 .* Close$"; do
        grep -q "^$row" <<<"$list" || { echo "missing: $row" >&2; return 1; }
    done
}
check "its buttons carry their captions and ids" arrange_ok
# The canvas's middle, where the one display's tile is, from "Set as primary"
# (client 16,372; the canvas spans 16,58 to 584,358 at 96 DPI).
read -r _ bl bt _ _ _ < <(arrange_controls | grep '^2001 ')
cx=$((bl - 16 + 300))
cy=$((bt - 372 + 208))
read -r _ al at ar ab < <(qv win QuorvaneArrange)
sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((ar - al))x$((ab - at))+$al+$at" +repage "$work/arrange.png" 2>/dev/null
check "screenshot of the arrangement window taken" test -s "$work/arrange.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/arrange.png" ]; then
    cp "$work/arrange.png" "$QV_SCREENSHOTS/arrange.png"
fi
xdotool mousemove "$cx" "$cy" mousedown 1 mousemove $((cx + 20)) $((cy + 10)) mousemove $((cx + 40)) $((cy + 20)) mouseup 1
a_press() {
    local id l t r b
    read -r id l t r b _ < <(arrange_controls | grep "^$1 ")
    [ -n "${id:-}" ] || return 1
    xdotool mousemove $(((l + r) / 2)) $(((t + b) / 2)) click 1
}
a_press 2002
check "a drag and Apply dispatch one ApplyArrangement" wait_for -t 10 logged "INF dispatch ApplyArrangement$"
a_press 2004
arrange_gone() { ! wine "$work/qvtool.exe" win QuorvaneArrange >/dev/null 2>&1; }
check "Close closes it" wait_for -t 10 arrange_gone

# --- a second start -------------------------------------------------------------
wine "$exe" >/dev/null 2>&1
check "a second start shows it again" wait_for -t 10 panel_visible

press 16
check "Exit ends the program" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"

e2e_finish "$work/out.txt"
