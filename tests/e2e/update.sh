#!/usr/bin/env bash
# End-to-end checks of the update on the real quorvane.exe under Wine, against
# the imitation update server over HTTPS (tests/imitation/update-server), which
# only this script's prefix trusts:
#   * the automatic check at start finds 1.4.0, downloads it from another
#     origin (the token going to the base origin only), checks its digest,
#     starts the helper script and quits; the script's hand-over lines then
#     put the new file in place of the program and start it (Wine's cmd
#     cannot run the script's waiting line, see below);
#   * a download with the wrong digest is not installed, and the program
#     keeps running and says so;
#   * a requested check against a manifest that answers 404 shows the warning
#     box, and so does one without a valid signature (none, over other bytes,
#     changed after signing), with nothing downloaded; one that finds 1.4.0
#     asks, and after Yes reports the failed install;
#   * a manifest naming 1.4.0 whose file is this very build is installed
#     automatically once: the restarted program, still the old version,
#     announces 1.4.0 instead of installing it again, and keeps running.
# Run elevated (Wine as root), the program stages its update in a folder of
# its own under the Windows temporary folder and names it in the log.
#
# usage: tests/e2e/update.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end. The program is copied into the
# work folder first and the copy is run: a successful install replaces it.
set -u

. "$(dirname "$0")/common.bash"
. "$here/../imitation/update-server/server.bash"
e2e_init "${1:-}" "traytool.c:-lcomctl32 -lgdi32" fakeupdate.c
trap 'update_server_stop; e2e_cleanup' EXIT

qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
tray() { wine "$work/traytool.exe" "$@" 2>/dev/null | tr -d '\r'; }

# --- the server and what it serves --------------------------------------------
good_digest=$(sha256sum "$work/fakeupdate.exe" | cut -d' ' -f1)
bad_digest=$(printf '%064d' 0)
# A mislabelled upload: the program under test itself, offered as 1.4.0.
cp "$exe" "$work/same.exe"
same_digest=$(sha256sum "$work/same.exe" | cut -d' ' -f1)
# The manifest of /quorvane and of /broken; the download lies on the other
# origin, behind a redirect, as release files often do.
# Every manifest goes out signed with the tests' key, which this build trusts.
serve() { # what /broken/stable.json answers: "manifest", "404", or the manifest
          # signed "none", "bad" or "tampered" (see the server's "signed")
    local broken='{"json": {"version": "1.4.0", "url": "{a}/download/1.4.0", "sha256": "'$bad_digest'"}}'
    [ "$1" = 404 ] && broken='{"status": 404, "text": "gone"}'
    case "$1" in none | bad | tampered) broken='{"signed": "'$1'", '"${broken#\{}" ;; esac
    cat >"$work/routes.json.tmp" <<EOF
{
  "a": {
    "/quorvane/stable.json": {"json": {"version": "1.4.0", "url": "{a}/download/1.4.0",
                                       "sha256": "$good_digest", "notes": "end-to-end"}},
    "/broken/stable.json": $broken,
    "/download/1.4.0": {"status": 302, "location": "{b}/files/quorvane-1.4.0.exe"},
    "/same/stable.json": {"json": {"version": "1.4.0", "url": "{b}/files/same-1.4.0.exe",
                                   "sha256": "$same_digest"}}
  },
  "b": {"/files/quorvane-1.4.0.exe": {"file": "fakeupdate.exe"},
        "/files/same-1.4.0.exe": {"file": "same.exe"}}
}
EOF
    mv "$work/routes.json.tmp" "$work/routes.json"
}
serve manifest
update_server_start "$work/server" "$work/routes.json" || e2e_abort "the imitation update server starts"
update_server_trust "$work/server" || e2e_abort "the prefix trusts the imitation update server"

users=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
settings="$users/AppData/Roaming/Quorvane/config.json"
temp_windows=$(wine cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
temp=$(winepath -u "$temp_windows" 2>/dev/null)
[ -d "$temp" ] || e2e_abort "the temporary folder of the prefix ($temp_windows)"
windows_temp=$(winepath -u 'C:\windows\temp' 2>/dev/null)
# Where the last install staged its files: the folder its log line names
# when the program runs elevated, else the user's temporary folder (Windows
# form, with a trailing backslash).
staging_windows() {
    local folder
    folder=$(log_messages | sed -nE 's/^INF Update staged in (.*) \(writable by administrators only\)$/\1/p' | tail -n 1)
    if [ -n "$folder" ]; then printf '%s\\' "$folder"; else printf '%s' "$temp_windows"; fi
}
# Update files (downloads and helper scripts) anywhere they may be staged.
staged_files() { find "$temp" "$windows_temp" -type f -name 'Quorvane.update.*' 2>/dev/null; }
write_settings() { # base path on the server
    mkdir -p "$(dirname "$settings")"
    cat >"$settings" <<EOF
{
  "autoCheckUpdates": true,
  "autoInstallUpdates": true,
  "updateBaseUrl": "https://localhost:$QV_UPDATE_PORT_A$1",
  "welcomeShown": true
}
EOF
}
logged() { log_messages | grep -qxF "$1"; }
# The requests the server logged: "origin path authorization" per line.
requests() {
    python3 -c 'import json, sys
for line in open(sys.argv[1]):
    r = json.loads(line)
    print(r["origin"], r["path"].split("?")[0], r["authorization"] or "-")' "$QV_UPDATE_LOG"
}

mkdir -p "$work/app"
app="$work/app/quorvane.exe"
app_windows=$(winepath -w "$app" 2>/dev/null | tr -d '\r')

# --- a: the automatic check installs 1.4.0 -------------------------------------
cp "$exe" "$app"
write_settings /quorvane
(
    QUORVANE_GH_TOKEN=e2e-token wine "$app" >"$work/a.out" 2>&1
    echo $? >"$work/a.rc"
) &
check "a: the program quits by itself to apply the update" wait_for -t 60 test -e "$work/a.rc"
check "a: exit code 0" test "$(cat "$work/a.rc" 2>/dev/null)" = 0
check "a: the log says the update is staged" logged "INF Update staged; quitting to apply."
check "a: and logs no warning" bash -c "! grep -q ' WRN ' '$(log_file)'"
expected_requests="a /quorvane/stable.json Bearer e2e-token
a /download/1.4.0 Bearer e2e-token
b /files/quorvane-1.4.0.exe -"
check "a: the token went to the base origin only" test "$(requests)" = "$expected_requests"
staging=$(staging_windows)
staging_unix=$(winepath -u "$staging" 2>/dev/null)
script=$(ls "$staging_unix"/Quorvane.update.*.cmd 2>/dev/null | head -n 1)
download_windows="$staging$(basename "${script%.cmd}").exe"
check "a: the helper script has a name of its own" test -n "$script"
# Elevated, the download and the script go to a new folder under the Windows
# temporary folder, never to the user's own.
protected_staging() {
    case "${staging,,}" in
    'c:\windows\temp\quorvane.update.'*) return 0 ;;
    *) ! log_messages | grep -q '(elevated=1)' ;;
    esac
}
check "a: staged where only administrators can write when elevated ($staging)" protected_staging
check "a: the staged download is the file served" cmp -s "${script%.cmd}.exe" "$work/fakeupdate.exe"
pid=$(sed -n 3p "$script" 2>/dev/null | sed -nE 's/^tasklist \/FI "PID eq ([0-9]+)" .*/\1/p')
printf '%s\r\n' '@echo off' ':loop' \
    "tasklist /FI \"PID eq $pid\" | find \"$pid\" >nul 2>&1 && (timeout /t 1 /nobreak >nul & goto loop)" \
    "move /Y \"$download_windows\" \"$app_windows\" >nul" \
    "start \"\" \"$app_windows\"" \
    'del "%~f0"' >"$work/expected.cmd"
check "a: the helper script waits for process $pid, then moves, starts and deletes itself" cmp -s "$script" "$work/expected.cmd"
# The program started the script through cmd.exe: a process of this prefix
# runs it.
helper_running() {
    local p
    for p in /proc/[0-9]*; do
        grep -qaE 'Quorvane\.update\.[0-9]+\.[0-9]+\.cmd' "$p/cmdline" 2>/dev/null &&
            tr '\0' '\n' <"$p/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
check "a: cmd.exe runs the helper script" wait_for -t 10 helper_running

# Wine 8's cmd cannot get past the script's waiting line: its tasklist prints
# nothing, there is no timeout.exe, and "&&" runs its right side whatever the
# left side did, so the helper loops for ever. It is ended here, and Wine's
# cmd runs the script's own hand-over lines (move, start, delete) instead.
wineserver -k
wineserver -w
sed '2,3d' "$script" >"$work/handover.cmd"
rm -f "$script"
wine cmd /c "$(winepath -w "$work/handover.cmd" 2>/dev/null | tr -d '\r')" >/dev/null 2>&1
replaced() { cmp -s "$app" "$work/fakeupdate.exe"; }
check "a: the hand-over puts the new version in place of the program" wait_for -t 30 replaced
check "a: and starts it there" wait_for -t 30 test -s "$work/app/update-ran.txt"
check "a: from the program's own path" test "$(tr -d '\r\n' <"$work/app/update-ran.txt" 2>/dev/null)" = "$app_windows"
check "a: the download is gone from where it was staged" test ! -e "${script%.cmd}.exe"
check "a: the script deletes itself" wait_for -t 10 test ! -e "$work/handover.cmd"

# --- b: a download with the wrong digest is not installed ----------------------
cp "$exe" "$app"
rm -f "$work/app/update-ran.txt" "$(log_file)"
: >"$QV_UPDATE_LOG"
write_settings /broken
(
    wine "$app" >"$work/b.out" 2>&1
    echo $? >"$work/b.rc"
) &
integrity_line="WRN Auto-update failed; notifying instead: Downloaded installer failed its integrity (SHA-256) check"
check "b: the automatic install fails on the digest and says so" wait_for -t 60 logged "$integrity_line"
downloaded() { requests | grep -q '^b /files/quorvane-1.4.0.exe '; }
check "b: the download was made" downloaded
available() {
    local shown
    shown=$(tray balloon) || return 1
    [ "$(sed -n 3p <<<"$shown")" = "v1.4.0 is available — right-click → Check for updates." ]
}
check "b: the notice says the update is available instead" wait_for -t 30 available
check "b: the program keeps running" test ! -e "$work/b.rc"
check "b: the program was not replaced" cmp -s "$app" "$exe"
check "b: no download and no helper script left" test -z "$(staged_files)"
check "b: nothing was started" test ! -e "$work/app/update-ran.txt"

# --- c: a requested check against a manifest that answers 404 ------------------
box_shown() { [ -n "$(qv msgbox)" ]; }
box_gone() { ! wine "$work/qvtool.exe" msgbox >/dev/null 2>&1; }
# Chooses "Check for updates…" (the tray menu's command 10) until a message
# box answers. A check ignores requests until the one before it has ended,
# and under Wine that is a moment after its box closed; asking again is safe,
# since two requested checks never run at once.
request_check() {
    qv command 10
    wait_for -t 4 box_shown
}
serve 404
check "c: the requested check shows a message box" wait_for -t 30 request_check
check "c: titled Quorvane" test "$(qv msgbox | sed -n 1p)" = Quorvane
check "c: saying why the check failed" test "$(qv msgbox | sed 1d)" = $'Couldn\'t check for updates:\n\nHTTP 404 from update server'
qv answer 1
check "c: OK closes it" wait_for -t 10 box_gone
check "c: the log has the warning" logged "WRN Update check: HTTP 404 from update server"

# A manifest without a signature, one signed over other bytes and one changed
# after signing: each refused before anything in it is used.
for kind in none bad tampered; do
    serve "$kind"
    : >"$QV_UPDATE_LOG"
    check "c ($kind): the requested check shows a message box" wait_for -t 30 request_check
    check "c ($kind): the manifest is refused for its signature" \
        test "$(qv msgbox | sed 1d)" = $'Couldn\'t check for updates:\n\nUpdate manifest signature is not valid'
    qv answer 1
    check "c ($kind): OK closes it" wait_for -t 10 box_gone
    check "c ($kind): nothing but the manifest was asked for" \
        test "$(requests | cut -d' ' -f2 | sort -u)" = /broken/stable.json
done
check "c: the log has the signature warning" logged "WRN Update check: Update manifest signature is not valid"

# --- d: a requested check finds 1.4.0; Yes; the install fails ------------------
serve manifest
check "d: the requested check shows a message box" wait_for -t 30 request_check
question=$'Version 1.4.0 is available (you have v1.3.9).\n\nDownload and install now? Quorvane will restart.'
check "d: asking whether to install 1.4.0" test "$(qv msgbox | sed 1d)" = "$question"
qv answer 6
check "d: Yes closes the question" wait_for -t 10 box_gone
update_failed() {
    local shown
    shown=$(tray balloon) || return 1
    [ "$(sed -n 1p <<<"$shown")" = error ] &&
        [ "$(sed -n 3p <<<"$shown")" = "Downloaded installer failed its integrity (SHA-256) check" ]
}
check "d: the error notice says the install failed" wait_for -t 30 update_failed
check "d: the program keeps running" test ! -e "$work/b.rc"
check "d: the program was not replaced" cmp -s "$app" "$exe"
check "d: no download and no helper script left" test -z "$(staged_files)"

qv quit
check "the program ends on the quit message" wait_for -t 30 test -e "$work/b.rc"
check "exit code 0" test "$(cat "$work/b.rc" 2>/dev/null)" = 0

# --- e: a mislabelled 1.4.0 is installed automatically once ------------------
# The file served as 1.4.0 is this very build, so after the hand-over the
# program is still 1.3.9 and is offered 1.4.0 again.
cp "$exe" "$app"
rm -f "$(log_file)"
: >"$QV_UPDATE_LOG"
write_settings /same
(
    wine "$app" >"$work/e.out" 2>&1
    echo $? >"$work/e.rc"
) &
check "e: the program installs 1.4.0 and quits by itself" wait_for -t 60 test -e "$work/e.rc"
check "e: exit code 0" test "$(cat "$work/e.rc" 2>/dev/null)" = 0
check "e: the log says the update is staged" logged "INF Update staged; quitting to apply."
remembered() {
    python3 -c 'import json, sys; sys.exit(json.load(open(sys.argv[1], encoding="utf-8")).get("lastAutoInstallVersion") != "1.4.0")' \
        "$(config_file)"
}
check "e: the settings remember 1.4.0 as installed automatically" remembered
staging=$(staging_windows)
script=$(ls "$(winepath -u "$staging" 2>/dev/null)"/Quorvane.update.*.cmd 2>/dev/null | head -n 1)
check "e: the helper script is staged" test -n "$script"
check "e: cmd.exe runs the helper script" wait_for -t 10 helper_running
# The hand-over as in a: Wine's cmd cannot run the waiting line.
wineserver -k
wineserver -w
sed '2,3d' "$script" >"$work/handover.cmd"
rm -f "$script"
wine cmd /c "$(winepath -w "$work/handover.cmd" 2>/dev/null | tr -d '\r')" >/dev/null 2>&1
check "e: the hand-over puts the served file in place of the program" wait_for -t 30 cmp -s "$app" "$work/same.exe"
skipped_line="WRN Auto-update skipped: version 1.4.0 was installed automatically before; notifying instead"
check "e: the restarted program does not install 1.4.0 again and says why" wait_for -t 60 logged "$skipped_line"
check "e: the notice says the update is available instead" wait_for -t 30 available
# The restarted program runs from the program's path in this prefix.
restarted_running() {
    local p
    for p in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$p/cmdline" | grep -qiF 'app\quorvane.exe' &&
            tr '\0' '\n' 2>/dev/null <"$p/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" && return 0
    done
    return 1
}
check "e: the restarted program keeps running" restarted_running
check "e: it staged nothing more" test -z "$(staged_files)"
check "e: it downloaded 1.4.0 once" test "$(requests | grep -c '^b /files/same-1.4.0.exe ')" = 1
check "e: the log has one staging line" test "$(log_messages | grep -cxF 'INF Update staged; quitting to apply.')" = 1
qv quit
restarted_gone() { ! restarted_running; }
check "e: the restarted program ends on the quit message" wait_for -t 30 restarted_gone

e2e_finish "$work/b.out"
