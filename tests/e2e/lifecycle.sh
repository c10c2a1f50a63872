#!/usr/bin/env bash
# End-to-end checks of the process lifecycle on the real quorvane.exe under
# Wine: start-up and its log line, the single instance, quitting through the
# registered quit message, the settings written at exit and a console command.
#
# usage: tests/e2e/lifecycle.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end.
set -u

. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

window_exists() { wine "$work/qvtool.exe" find >/dev/null 2>&1; }

# The reference for the start line: Wine gives processes an elevated token
# unless told otherwise, so the expected value is asked of the same prefix.
elevated=$(wine "$work/qvtool.exe" elevated 2>/dev/null | tr -d '\r\n')
version=$(head -n 1 "$(dirname "$0")/../../VERSION" | tr -d '\r')
start_line="Quorvane $version starting (elevated=$elevated)"

# --- the first instance starts -------------------------------------------
# Its exit code lands in first.rc when it ends.
(
    wine "$exe" >"$work/first.out" 2>&1
    echo $? >"$work/first.rc"
) &

started() { local f; f=$(log_file); [ -n "$f" ] && grep -qF "INF $start_line" "$f"; }
check "start line in the log ($start_line)" wait_for started
check "controller window exists" wait_for window_exists
check "start-menu shortcut created" test -n "$(find "$WINEPREFIX/drive_c/users" -name Quorvane.lnk -path '*Start Menu/Programs/*')"

# --- a console command while it runs: no mutex, so it is not a second copy -
wine "$exe" --vd-nothing >"$work/vd.out" 2>"$work/vd.err"
vd_rc=$?
check "--vd-nothing exits with 1" test "$vd_rc" -eq 1
check "--vd-nothing prints the unknown command" grep -qx 'unknown command --vd-nothing' <(tr -d '\r' <"$work/vd.out")

# --- a second copy -------------------------------------------------------
# It hands over to the first instance, which opens its flyout (the classic
# one: Wine has no browser runtime). The first start has opened it once by
# itself (the welcome), so wait for that first and close it again.
log=$(log_file)
panel_visible() { [ "$(wine "$work/qvtool.exe" win QuorvaneFlyout 2>/dev/null | cut -d' ' -f1)" = visible ]; }
check "the first start opens the flyout with its welcome" wait_for -t 20 panel_visible
welcome_saved() { grep -q '"welcomeShown": true' "$(config_file)" 2>/dev/null; }
check "and remembers the welcome" wait_for -t 10 welcome_saved
wine "$work/qvtool.exe" hide QuorvaneFlyout
# The automatic update check may log its outcome at any moment (there is no
# update server here); everything else must stay as it was.
own_lines() { grep -v ' WRN Update check: ' "$log" 2>/dev/null; }
before=$(own_lines)
wine "$exe" >"$work/second.out" 2>&1
second_rc=$?
check "second copy exits with 0" test "$second_rc" -eq 0
check "the first instance opens its flyout for it" wait_for -t 10 panel_visible
second_left_log_alone() { [ -n "$log" ] && [ "$before" == "$(own_lines)" ]; }
check "second copy writes nothing to the log file" second_left_log_alone
check "first instance still running" test ! -e "$work/first.rc"

# --- quitting through the registered message ----------------------------
wine "$work/qvtool.exe" quit
check "quit message posted" test $? -eq 0
check "first instance ends" wait_for test -e "$work/first.rc"
check "first instance exits with 0" test "$(cat "$work/first.rc" 2>/dev/null)" = 0
check "exit line in the log" grep -qs ' INF Quorvane exiting' "$log"

config=$(config_file)
config_ok() {
    [ -n "$config" ] && python3 - "$config" <<'PY'
import json, sys
with open(sys.argv[1], encoding="utf-8") as f:
    pairs = json.load(f, object_pairs_hook=lambda p: p)
keys = [k for k, _ in pairs]
expected = ["autoCheckUpdates", "autoInstallUpdates", "autoRestoreOnHotplug", "displayNames", "hotkeys",
            "hotplugSettleMs", "lastAutoInstallVersion", "maxPreviews", "monochromeIcon", "preferElevated", "recordingAudio",
            "recordingDir", "recordingFps", "restoreWindowsOnReconnect", "startWithWindows", "uiPanels", "updateBaseUrl", "updateChannel", "version", "welcomeShown"]
sys.exit(0 if keys == expected and keys == sorted(keys) else 1)
PY
}
check "config.json written with its 20 keys in byte order" config_ok

# --- settings held by another program while the program starts --------------
# A sync client holds config.json without sharing it at login, and lets go
# while the program runs: the program starts on defaults, and neither the
# start-up save nor the one at exit writes them over the user's settings.
if [ -n "$config" ]; then
    python3 - "$config" <<'PY'
import json, sys
path = sys.argv[1]
with open(path, encoding="utf-8") as f:
    settings = json.load(f)
settings["maxPreviews"] = 7
settings["displayNames"] = {"ABC-1234": "Mine"}
with open(path, "w", encoding="utf-8", newline="\r\n") as f:
    f.write(json.dumps(settings, indent=2, sort_keys=True) + "\n")
PY
fi
cp "$config" "$work/mine.json" 2>/dev/null
(
    wine "$work/qvtool.exe" hold '%APPDATA%\Quorvane\config.json' 'C:\release-config' >"$work/hold.out" 2>&1
    echo $? >"$work/hold.rc"
) &
check "another program holds config.json" wait_for -t 30 grep -q held "$work/hold.out"
(
    wine "$exe" >"$work/held.out" 2>&1
    echo $? >"$work/held.rc"
) &
check "the program starts" wait_for window_exists
touch "$WINEPREFIX/drive_c/release-config"
check "the other program lets go" wait_for -t 30 test -e "$work/hold.rc"
wine "$work/qvtool.exe" quit
check "the program ends" wait_for test -e "$work/held.rc"
check "exit code 0" test "$(cat "$work/held.rc" 2>/dev/null)" = 0
check "config.json is the user's, byte for byte" cmp -s "$config" "$work/mine.json"
check "no temporary file left" test ! -e "$config.tmp"
# The settings are read before the log file opens: this line reaches the
# error stream (complete once the program has ended) and the debugger.
held_said() { tr -d '\r' <"$work/held.out" | grep -q '^\[Quorvane\]\[ERR\] Cannot open config for read: .*(0x20))$'; }
check "the program said it could not read the settings" held_said
not_saved() { log_messages | grep -q "^ERR Config not saved: "; }
check "the log says why the settings were not saved" not_saved

e2e_finish "$work/first.out"
