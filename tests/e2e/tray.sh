#!/usr/bin/env bash
# End-to-end checks of the tray shell on the real quorvane.exe under Wine: the
# notification-area icon and its start notice, the context menu a right click
# opens, the start-with-Windows toggle (Run value and notices), a failing
# projection reported by one error notice, the rescue of off-screen windows
# reported by an information notice, and Exit.
#
# usage: tests/e2e/tray.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end. With QV_SCREENSHOTS set to a
# folder, the open menu is saved there as tray-menu.png.
#
# Without a system tray on the X server, Wine shows the icons in a small
# stand-alone tray window of its own; traytool finds the icon there and reads
# the notice balloons.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}" "traytool.c:-lcomctl32 -lgdi32"

tool() { wine "$work/traytool.exe" "$@" 2>/dev/null | tr -d '\r'; }

icon_at() { tool icon | grep -qE '^-?[0-9]+ -?[0-9]+$'; }
# The balloon shown now is of that kind and says exactly that text.
balloon_is() { # kind, text
    local shown
    shown=$(tool balloon) || return 1
    [ "$(sed -n 1p <<<"$shown")" = "$1" ] && [ "$(sed -n 3p <<<"$shown")" = "$2" ]
}
info_balloon_starts() { # text the notice begins with
    local shown
    shown=$(tool balloon) || return 1
    [ "$(sed -n 1p <<<"$shown")" = info ] && [[ "$(sed -n 3p <<<"$shown")" == "$1"* ]]
}
error_balloon() { [ "$(tool balloon | sed -n 1p)" = error ]; }
no_balloon() { ! wine "$work/traytool.exe" balloon >/dev/null 2>&1; }
menu_count() { tool menus | cut -d' ' -f1; }
menu_open() { [ "$(menu_count)" = 1 ]; }
menu_closed() { [ "$(menu_count)" = 0 ]; }

# Right-clicks the icon and waits for the menu.
open_menu() {
    local x y
    read -r x y < <(tool icon)
    [ -n "${x:-}" ] || return 1
    xdotool mousemove "$x" "$y" click 3
    wait_for -t 10 menu_open
}
# Moves down the menu by that many items and chooses the item.
choose() { # presses of Down
    local keys=() i
    for ((i = 0; i < $1; i++)); do keys+=(Down); done
    xdotool key "${keys[@]}" Return
    wait_for -t 10 menu_closed
}

run_value() { wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Quorvane 2>/dev/null | tr -d '\r'; }

# Without elevation the menu has a "Run elevated…" row before "Start with Windows".
elevated=$(wine "$work/qvtool.exe" elevated 2>/dev/null | tr -d '\r\n')
start_row=10
[ "$elevated" = 1 ] || start_row=11
external_row=4
rescue_row=9

# --- start: the icon and the start notice ---------------------------------
(
    wine "$exe" >"$work/out.txt" 2>&1
    echo $? >"$work/rc"
) &

check "tray icon appears" wait_for -t 60 icon_at
check "start notice: Running in the tray." wait_for balloon_is info "Running in the tray."

# --- the welcome ---------------------------------------------------------------
# Wine has no WebView2 runtime: the first start opens the classic flyout by
# itself once. It is put away so that it does not cover the icon.
qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
panel_state() { qv win QuorvaneFlyout | cut -d' ' -f1; }
panel_visible() { [ "$(panel_state)" = visible ]; }
panel_hidden() { [ "$(panel_state)" = hidden ]; }
welcome_saved() { grep -q '"welcomeShown": true' "$(config_file)" 2>/dev/null; }
check "the first start opens the flyout with its welcome" wait_for -t 10 welcome_saved
check "the classic flyout is shown" panel_visible
qv hide QuorvaneFlyout

# --- the menu ---------------------------------------------------------------
# Wait for the start notice to go, so the screenshot shows the menu alone.
wait_for -t 30 no_balloon
check "right click opens the menu" open_menu
read -r count left top right bottom < <(tool menus)
read -r icon_x icon_y < <(tool icon)
check "exactly one menu is open" test "${count:-0}" = 1
check "menu opens at the icon" test "${left:-x}" = "${icon_x:-y}"
sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
# The icon and the menu: both sit at the top left of the screen.
convert "$work/screen.png" -crop "$((right + 12))x$((bottom > icon_y ? bottom + 12 : icon_y + 24))+0+0" +repage \
    "$work/tray-menu.png" 2>/dev/null
check "screenshot of the menu taken" test -s "$work/tray-menu.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/tray-menu.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/tray-menu.png" "$QV_SCREENSHOTS/tray-menu.png"
fi
xdotool key Escape
check "Escape closes the menu without a command" wait_for -t 10 menu_closed

# --- a left click without the browser runtime -----------------------------------
# The click opens the classic flyout.
read -r icon_x icon_y < <(tool icon)
xdotool mousemove "$icon_x" "$icon_y" click 1
check "a left click shows the classic flyout" wait_for -t 10 panel_visible
check "and logs no error" bash -c "! grep -q ' ERR ' '$(log_file)'"
check "the program keeps running" test ! -e "$work/rc"
xdotool key Escape
check "Escape closes it" wait_for -t 10 panel_hidden

# --- start with Windows, on and off ------------------------------------------
quoted="\"$(winepath -w "$exe" 2>/dev/null | tr -d '\r')\""
run_value_is_exe() { run_value | grep -qF "REG_SZ    $quoted"; }
run_value_gone() { ! run_value | grep -q Quorvane; }

open_menu && choose "$start_row"
check "Start with Windows writes the quoted exe path as the Run value" wait_for -t 10 run_value_is_exe
check "notice: Will start with Windows." wait_for balloon_is info "Will start with Windows."

open_menu && choose "$start_row"
check "choosing it again removes the Run value" wait_for -t 10 run_value_gone
check "notice: Will no longer start with Windows." wait_for balloon_is info "Will no longer start with Windows."

# --- Settings…: the classic settings window -----------------------------------
settings_visible() { [ "$(qv win QuorvaneSettings | cut -d' ' -f1)" = visible ]; }
settings_gone() { ! wine "$work/qvtool.exe" win QuorvaneSettings >/dev/null 2>&1; }
open_menu && choose $((start_row + 2))
check "Settings… opens the classic settings window" wait_for -t 10 settings_visible
settings_ok() {
    local list
    list=$(qv children QuorvaneSettings)
    for row in "1001 .* Start with Windows$" "1002 .* Re-apply matching layout on hotplug (silent)$" \
        "1005 .* Use monochrome (white) tray icon$" "1008 " "1009 " "1010 .* Arrange displays…  (layout wizard)$" \
        "1015 .* Close$"; do
        grep -q "^$row" <<<"$list" || { echo "missing: $row" >&2; return 1; }
    done
}
check "its controls carry their captions and ids" settings_ok
restore_was=$(grep -o '"autoRestoreOnHotplug": [a-z]*' "$(config_file)" | cut -d' ' -f2)
read -r _ sl st sr sb < <(qv win QuorvaneSettings)
sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((sr - sl))x$((sb - st))+$sl+$st" +repage "$work/settings.png" 2>/dev/null
check "screenshot of the settings window taken" test -s "$work/settings.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/settings.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/settings.png" "$QV_SCREENSHOTS/settings.png"
fi
settings_press() {
    local id l t r b
    read -r id l t r b _ < <(qv children QuorvaneSettings | grep "^$1 ")
    [ -n "${id:-}" ] || return 1
    xdotool mousemove $((l + 8)) $(((t + b) / 2)) click 1
}
settings_press 1002
restore_flipped() {
    local now
    now=$(grep -o '"autoRestoreOnHotplug": [a-z]*' "$(config_file)" | cut -d' ' -f2)
    [ -n "$now" ] && [ "$now" != "$restore_was" ]
}
check "ticking a check box saves it to config.json at once" wait_for -t 10 restore_flipped
# The monochrome box swaps the tray icon at once, each switch destroying the
# icon it replaces; back and forth, the program and its icon stay.
mono_is() { grep -q "\"monochromeIcon\": $1" "$(config_file)"; }
for _ in $(seq 1 10); do settings_press 1005; sleep 0.2; done
check "ten switches of the monochrome icon leave it off in config.json" wait_for -t 10 mono_is false
settings_press 1005
check "and one more turns it on" wait_for -t 10 mono_is true
check "the program keeps running" test ! -e "$work/rc"
read -r icon_x icon_y < <(tool icon)
check "the tray icon is still there" test -n "${icon_x:-}"
settings_press 1015
check "Close closes it" wait_for -t 10 settings_gone

# --- a projection that fails on Wine's single display -------------------------
log=$(log_file)
open_menu && choose "$external_row"
check "External only fails with an error notice" wait_for error_balloon
dispatches=$(grep -c 'INF dispatch ProjectionExternal$' "$log" 2>/dev/null)
check "the failed action was dispatched once" test "${dispatches:-0}" = 1
failure_text=$(tool balloon | sed -n 3p)
check "the error notice carries the action's message ($failure_text)" test -n "$failure_text"

# --- Rescue off-screen windows: its outcome as an information notice ------------
wait_for -t 30 no_balloon
open_menu && choose "$rescue_row"
check "Rescue off-screen windows says what it did" wait_for info_balloon_starts "Brought "
check "it was dispatched once" test "$(grep -c 'INF dispatch RescueWindows$' "$log" 2>/dev/null)" = 1

# --- Exit -----------------------------------------------------------------------
config=$(config_file)
rm -f "$config"
# The last row is Exit.
open_menu && {
    xdotool key Up Return
    wait_for -t 10 menu_closed
}
check "Exit ends the program" wait_for test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
check "config.json saved at exit" test -s "$(config_file)"
startup_saved_off() { grep -q '"startWithWindows": false' "$(config_file)"; }
check "config.json holds the start-with-Windows state" startup_saved_off
check "tray icon removed" wait_for -t 10 bash -c "! wine '$work/traytool.exe' icon >/dev/null 2>&1"

e2e_finish "$work/out.txt"
