#!/usr/bin/env bash
# End-to-end checks of live previews, recordings, region picking and NDI
# sharing on the real quorvane.exe under Wine. Wine's DXGI has no desktop
# duplication, so each capture reaches its duplication step and must fail
# there with its own text in the log, leave no thread behind and leave the
# program answering. The region picker is opened from the flyout's region
# button: Escape cancels it, a drag hands the rectangle to the recorder.
# A second start, with NDI_RUNTIME_DIR_V6 naming the imitation NDI runtime,
# loads it and fails the share at the duplication.
#
# usage: tests/e2e/capture.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY and xdotool. With QV_SCREENSHOTS set to a
# folder, the picker mid-drag opened from the flyout is saved there as
# region-picker-flyout.png.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
logged() { log_messages | grep -qF -- "$1"; }
count_logged() { log_messages | grep -cF -- "$1"; }
window_shown() { [ "$(qv win "$1" | cut -d' ' -f1)" = visible ]; }
window_gone() { [ -z "$(qv win "$1")" ]; }
click() { wine "$work/qvtool.exe" click QuorvaneFlyout "$1" >/dev/null 2>&1; }
program_ended() { test -e "$work/rc"; }

start_program() {
    rm -f "$work/rc"
    (
        wine "$exe" >"$work/out.txt" 2>&1
        echo $? >"$work/rc"
    ) &
    check "the program starts ($1)" wait_for -t 60 window_shown QuorvaneFlyout
}

quit_program() {
    wine "$work/qvtool.exe" quit
    check "the program ends when asked ($1)" wait_for -t 30 program_ended
    check "and exits with 0 ($1)" test "$(cat "$work/rc" 2>/dev/null)" = 0
}

start_program "no NDI runtime"
# Let start-up's own threads come and go before counting.
sleep 3
threads_before=$(qv threads)
echo "  threads at rest: $threads_before"

# --- live preview ------------------------------------------------------------------
click 25 || { click 100 && sleep 1 && click 25; }
check "Live Preview opens a preview window" wait_for -t 30 window_shown QuorvanePreview
unavailable() { qv title QuorvanePreview | grep -q ' — preview unavailable$'; }
check "its caption ends in ' — preview unavailable'" wait_for -t 30 unavailable
check "the log says why" wait_for -t 10 logged "Preview unavailable: DuplicateOutput failed 0x80004001"
sleep 1
check "the window stays open" window_shown QuorvanePreview
click 25
check "Close Preview closes it" wait_for -t 20 window_gone QuorvanePreview

# --- recording of the whole display --------------------------------------------------
click 300
check "recording fails at the duplication" wait_for -t 30 logged "ScreenRecorder start failed: DuplicateOutput failed"

# --- recording of a region: the picker from the flyout ----------------------------------
failures=$(count_logged "ScreenRecorder start failed:")
click 400
check "the region button opens the region picker" wait_for -t 20 window_shown QuorvaneRegionPicker
xdotool key Escape
check "Escape closes it" wait_for -t 10 window_gone QuorvaneRegionPicker
sleep 1
check "and starts nothing" test "$(count_logged "ScreenRecorder start failed:")" = "$failures"

click 400
check "the picker opens again" wait_for -t 20 window_shown QuorvaneRegionPicker
xdotool mousemove 400 300 mousedown 1
for step in 1 2 3 4 5 6; do xdotool mousemove $((400 + step * 80)) $((300 + step * 50)); sleep 0.1; done
if [ -n "${QV_SCREENSHOTS:-}" ]; then
    sleep 0.5
    import -window root "$QV_SCREENSHOTS/region-picker-flyout.png" 2>/dev/null
fi
xdotool mouseup 1
check "a drag closes the picker" wait_for -t 10 window_gone QuorvaneRegionPicker
tried_region() { [ "$(count_logged "ScreenRecorder start failed: DuplicateOutput failed")" -gt "$failures" ]; }
check "and hands the region to the recorder" wait_for -t 30 tried_region

# --- NDI without a runtime -------------------------------------------------------------
click 500
offered() { qv msgbox | head -n 1 | grep -qx "NDI Runtime required"; }
check "NDI without the runtime offers its download page" wait_for -t 30 offered
qv answer 7 >/dev/null
no_box() { [ -z "$(qv msgbox)" ]; }
check "No closes the offer" wait_for -t 10 no_box

# --- nothing left behind ---------------------------------------------------------------
settled() { [ "$(qv threads)" -le "$threads_before" ]; }
check "no capture thread is left (threads back to $threads_before)" wait_for -t 20 settled
echo "  threads now: $(qv threads)"
check "the program still answers" wine "$work/qvtool.exe" find
quit_program "no NDI runtime"

# --- NDI with the imitation runtime ----------------------------------------------------
imitation=$(dirname "$exe")/imitation-ndi/full
if [ -f "$imitation/Processing.NDI.Lib.x64.dll" ]; then
    NDI_RUNTIME_DIR_V6=$(winepath -w "$imitation" 2>/dev/null)
    export NDI_RUNTIME_DIR_V6
    # Without its settings the program greets again with the flyout open.
    rm -f "$(config_file)"
    start_program "imitation NDI runtime"
    click 500
    check "the imitation runtime is loaded" wait_for -t 30 logged "NDI runtime loaded and initialized"
    check "the share fails at the duplication" wait_for -t 30 \
        logged "NdiStreamer start failed: DuplicateOutput failed (another app may hold the display, or access was denied on a secure desktop)"
    check "the program still answers" wine "$work/qvtool.exe" find
    quit_program "imitation NDI runtime"
    unset NDI_RUNTIME_DIR_V6
else
    check "the imitation NDI runtime was built next to the program" false
fi

e2e_finish "$work/out.txt"
