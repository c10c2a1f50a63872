#!/usr/bin/env bash
# End-to-end checks of the web flyout on the real quorvane.exe under Wine,
# with the imitation WebView2 runtime (built next to the exe, in
# imitation-webview2) registered the way the real runtime registers itself:
# the welcome opens the flyout, the browser loads the page and gets its
# state, page messages close it and end the program, a left click on the
# tray icon opens it again, and its settings button opens the web settings
# window, whose page messages are saved and close it.
#
# usage: tests/e2e/flyout.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end. With QV_SCREENSHOTS set to a
# folder, the open flyout is saved there as flyout-wine.png.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}" "traytool.c:-lcomctl32 -lgdi32"

runtime="$(dirname "$exe")/imitation-webview2"
[ -f "$runtime/EBWebView/x64/EmbeddedBrowserWebView.dll" ] || e2e_abort "imitation runtime (not built next to the exe)"
wine reg add 'HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}' \
    /v EBWebView /t REG_SZ /d "$(winepath -w "$runtime" | tr -d '\r')" /f /reg:32 >/dev/null 2>&1 ||
    e2e_abort "register the imitation runtime"

tool() { wine "$work/traytool.exe" "$@" 2>/dev/null | tr -d '\r'; }
qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
flyout_state() { qv flyout | sed -n 1p | cut -d' ' -f1; }
flyout_visible() { [ "$(flyout_state)" = visible ]; }
flyout_hidden() { [ "$(flyout_state)" = hidden ]; }
# A counter the imitation browser shows in its window text: page, state, shown, levels.
counter() { qv flyout | sed -n 2p | tr ' ' '\n' | sed -n "s/^$1=//p"; }
counter_reaches() { [ "$(counter "$1")" -ge "$2" ] 2>/dev/null; }

(
    wine "$exe" >"$work/out.txt" 2>&1
    echo $? >"$work/rc"
) &

check "the welcome opens the web flyout" wait_for -t 60 flyout_visible
check "the browser loaded the page" wait_for -t 10 counter_reaches page 1000
check "and the page got its state" wait_for -t 10 counter_reaches state 1

read -r _ left top right bottom < <(qv flyout | sed -n 1p)
check "the flyout is 352 pixels wide" test "$((right - left))" = 352
read -r screen_w screen_h < <(xdotool getdisplaygeometry)
inside() { [ "$left" -ge 0 ] && [ "$top" -ge 0 ] && [ "$right" -le "$screen_w" ] && [ "$bottom" -le "$screen_h" ]; }
check "and lies on the screen" inside

sleep 0.5
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$work/flyout-wine.png" 2>/dev/null
check "screenshot of the flyout taken" test -s "$work/flyout-wine.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/flyout-wine.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/flyout-wine.png" "$QV_SCREENSHOTS/flyout-wine.png"
fi

qv page '{"type":"close"}' >/dev/null
check "the page's close message hides the flyout" wait_for -t 10 flyout_hidden

shown_before=$(counter shown)
read -r icon_x icon_y < <(tool icon)
xdotool mousemove "$icon_x" "$icon_y" click 1
check "a left click on the icon shows it again" wait_for -t 10 flyout_visible
check "and tells the page it was shown" wait_for -t 10 counter_reaches shown $((shown_before + 1))
check "one browser for the whole run" test "$(grep -c 'falling back' "$(log_file)")" = 0
check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"

# The flyout's settings button opens the web settings window while the
# runtime is there; its page's messages are saved at once and its close
# message destroys it.
settings_open() { qv win QuorvaneGlassSettings | grep -q '^visible'; }
settings_gone() { ! wine "$work/qvtool.exe" win QuorvaneGlassSettings >/dev/null 2>&1; }
settings_counter() {
    wine "$work/qvtool.exe" children QuorvaneGlassSettings 2>/dev/null | tr -d '\r' | tr ' ' '\n' | sed -n "s/^$1=//p"
}
settings_loaded() { [ "$(settings_counter page)" -ge 1000 ] 2>/dev/null; }
config_says_mono() { grep -q '"monochromeIcon": *true' "$(config_file)"; }
qv page '{"type":"open","what":"settings"}' >/dev/null
check "the flyout's settings button opens the web settings window" wait_for -t 10 settings_open
check "and its browser loads the settings page" wait_for -t 10 settings_loaded
qv page '{"type":"set","key":"mono","value":true}' QuorvaneGlassSettings >/dev/null
check "a switch on the page is saved at once" wait_for -t 10 config_says_mono
qv page '{"type":"action","name":"close"}' QuorvaneGlassSettings >/dev/null
check "the page's close message destroys the window" wait_for -t 10 settings_gone

qv page '{"type":"exit"}' >/dev/null
check "the page's exit message ends the program" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0

e2e_finish "$work/out.txt"
