#!/usr/bin/env bash
# End-to-end checks of the release as a person gets it, under Wine: runs
# scripts/package (which writes dist/ as it always does), then
#   * installs Quorvane-<version>-setup.exe silently: the files, the
#     uninstall entry, the Start menu shortcut, the program the same bytes as
#     the portable zip's;
#   * runs it again while a tray window ignores the quit message: it gives up
#     with exit code 3 and replaces nothing;
#   * installs over an older copy that is running: the copy is ended, the
#     program replaced, the settings kept;
#   * goes through the installer's pages to the last one, whose "Start
#     Quorvane" starts the program;
#   * has that program check for updates against the imitation update server
#     (tests/imitation/update-server): it takes the release's stable.json and
#     refuses the same manifest signed with the tests' key, so it trusts
#     exactly the key that signed the release;
#   * runs the quiet uninstall from the uninstall entry, which ends the
#     program and removes everything but the user's settings, layouts and logs.
#
# usage: tests/e2e/install.sh path/to/quorvane.exe
# The given quorvane.exe (the test build) plays the older installed copy.
# Needs an X display in $DISPLAY. Uses a fresh Wine prefix of its own, removed
# at the end. With QV_SCREENSHOTS set to a folder it saves the installer's
# last page there as installer-finish.png.
set -u

. "$(dirname "$0")/common.bash"
. "$here/../imitation/update-server/server.bash"
e2e_init "${1:-}" "stubborntray.c:-municode"
trap 'update_server_stop; e2e_cleanup' EXIT
root=$(cd "$here/../.." && pwd)

# --- the release ------------------------------------------------------------
version=$(head -n 1 "$root/VERSION" | tr -d '\r')
dist=$root/dist
# Built with the throw-away key and the default address, whatever the
# caller's environment names.
env -u QUORVANE_SIGNING_KEY -u QUORVANE_RELEASE_BASE_URL bash "$root/scripts/package" >"$work/package.log" 2>&1
package_rc=$?
[ "$package_rc" -eq 0 ] || tail -n 30 "$work/package.log"
check "scripts/package builds the release ($version)" test "$package_rc" -eq 0
setup=$dist/Quorvane-$version-setup.exe
for f in "Quorvane-$version-setup.exe" "Quorvane-$version-portable.zip" "Quorvane-$version.exe" stable.json; do
    check "dist/ holds $f" test -s "$dist/$f"
done
[ -s "$setup" ] || e2e_abort "no installer to test"
check "without QUORVANE_SIGNING_KEY it says it signed with a throw-away key" \
    grep -q '^package: QUORVANE_SIGNING_KEY is not set: signing with the throw-away key ' "$work/package.log"
check "the throw-away key stays out of dist/" bash -c "! grep -rlq 'PRIVATE KEY' '$dist'"

# The portable zip holds quorvane.exe alone, at its root; its bytes are the
# program's, and the manifest names that program by url and digest.
python3 - "$dist/Quorvane-$version-portable.zip" "$work/zip" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as archive:
    assert archive.namelist() == ["quorvane.exe"], archive.namelist()
    archive.extractall(sys.argv[2])
PY
check "the portable zip holds quorvane.exe alone, at its root" test $? -eq 0
zip_exe=$work/zip/quorvane.exe
check "the zip's quorvane.exe is the program Quorvane-$version.exe" cmp -s "$zip_exe" "$dist/Quorvane-$version.exe"
manifest_ok() {
    python3 - "$dist/stable.json" "$version" "$(sha256sum "$dist/Quorvane-$version.exe" | cut -d' ' -f1)" <<'PY'
import json, sys
path, version, digest = sys.argv[1:]
with open(path, encoding="utf-8") as f:
    manifest = json.load(f)
url = "https://updates.quorvane.app/quorvane/releases/%s/Quorvane-%s.exe" % (version, version)
problems = []
if manifest.get("version") != version: problems.append("version %r" % manifest.get("version"))
if manifest.get("url") != url: problems.append("url %r" % manifest.get("url"))
if manifest.get("sha256", "").lower() != digest: problems.append("sha256 %r" % manifest.get("sha256"))
if not manifest.get("signature"): problems.append("no signature")
for p in problems: print("stable.json:", p)
sys.exit(1 if problems else 0)
PY
}
check "stable.json names the program: version, default url, its sha256 and a signature" manifest_ok
# The version resource, read back with the cross toolchain's resource tool.
resource_says_version() {
    local rc
    rc=$(x86_64-w64-mingw32-windres -i "$dist/Quorvane-$version.exe" -O rc 2>/dev/null) &&
        grep -qF "FILEVERSION ${version//./, }, 0" <<<"$rc" &&
        grep -qF "VALUE \"ProductVersion\", \"$version\"" <<<"$rc"
}
check "the program's version resource says $version" resource_says_version

# --- where things land in this prefix ---------------------------------------
profile=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
[ -d "$profile/AppData/Roaming" ] || e2e_abort "no user profile in the prefix"
instdir=$profile/AppData/Local/Programs/Quorvane
instdir_win=$(winepath -w "$instdir" 2>/dev/null | tr -d '\r')
settings=$profile/AppData/Roaming/Quorvane
shortcut=$profile/AppData/Roaming/Microsoft/Windows/Start\ Menu/Programs/Quorvane.lnk
# Microsoft Learn "Uninstall Registry Key" (the per-user form under HKCU).
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quorvane'
# Microsoft Learn "Run and RunOnce Registry Keys"; the value is named Quorvane (src/base/Elevation.h).
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'

# The data of one value of `wine reg query KEY`, whatever its type.
reg_value() { # key, value name
    wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' |
        sed -n "s/^    $2    REG_[A-Z_]*    //p"
}
key_exists() { wine reg query "$1" >/dev/null 2>&1; }
# The shortcut names its target in the link target ID list and in its
# Unicode strings; either form will do.
shortcut_targets() { # Windows path
    python3 - "$shortcut" "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read().lower()
target = sys.argv[2].lower()
sys.exit(0 if target.encode("utf-16-le") in data or target.encode("latin-1") in data else 1)
PY
}

# The imitation update server: /release/stable.json answers what serve names,
# the release's own manifest or the same members signed with the tests' key.
serve() { # release | testkey
    local route='{"file": "stable.json"}'
    [ "$1" = testkey ] && route=$(python3 -c 'import json, sys
m = json.load(open(sys.argv[1], encoding="utf-8"))
print(json.dumps({"json": {k: m[k] for k in ("version", "url", "sha256")}}))' "$dist/stable.json")
    printf '{"a": {"/release/stable.json": %s}}\n' "$route" >"$work/routes.json.tmp"
    mv "$work/routes.json.tmp" "$work/routes.json"
}
cp "$dist/stable.json" "$work/stable.json"
serve release
update_server_start "$work/server" "$work/routes.json" || e2e_abort "the imitation update server starts"
update_server_trust "$work/server" || e2e_abort "the prefix trusts the imitation update server"

# --- a silent install -------------------------------------------------------
wine "$setup" /S >"$work/install1.out" 2>&1
check "silent install exits with 0" test $? -eq 0
check "quorvane.exe installed under %LOCALAPPDATA%\\Programs\\Quorvane" test -f "$instdir/quorvane.exe"
check "its uninstaller beside it" test -f "$instdir/uninstall.exe"
check "the installed program is the zip's, byte for byte" cmp -s "$instdir/quorvane.exe" "$zip_exe"
check "a Start menu shortcut named Quorvane" test -f "$shortcut"
check "the shortcut starts the installed program" shortcut_targets "$instdir_win\\quorvane.exe"
while IFS='|' read -r name expected; do
    check "uninstall entry $name = $expected" test "$(reg_value "$uninstall_key" "$name")" = "$expected"
done <<EOF
DisplayName|Quorvane
DisplayVersion|$version
Publisher|Zentrik
DisplayIcon|$instdir_win\\quorvane.exe,0
UninstallString|"$instdir_win\\uninstall.exe"
QuietUninstallString|"$instdir_win\\uninstall.exe" /S
EOF
check "the installer left the settings folder alone" test ! -e "$settings"

# --- an upgrade over an older copy that is running --------------------------
# The older copy is the test build with bytes appended (Windows ignores data
# past a program's last section), so it differs from the release for sure;
# the uninstall entry says it is 1.3.8.
cp "$exe" "$instdir/quorvane.exe"
printf 'an older copy' >>"$instdir/quorvane.exe"
wine reg add "$uninstall_key" /v DisplayVersion /d 1.3.8 /f >/dev/null 2>&1
cp "$instdir/quorvane.exe" "$work/older.exe"

# A program that does not end when asked (a tray window that ignores the quit
# message) is left alone: the installer gives up after its time-out and
# replaces nothing.
(
    wine "$work/stubborntray.exe" 'C:\stubborn-stop' >"$work/stubborn.out" 2>&1
    echo $? >"$work/stubborn.rc"
) &
check "a tray window that ignores the quit message is up" wait_for -t 30 grep -q running "$work/stubborn.out"
wine "$setup" /S >"$work/install-refused.out" 2>&1
refused_rc=$?
check "the silent install gives up on it with exit code 3" test "$refused_rc" -eq 3
check "and leaves the installed program as it was" cmp -s "$instdir/quorvane.exe" "$work/older.exe"
touch "$WINEPREFIX/drive_c/stubborn-stop"
check "(the stubborn window goes once told through its own file)" wait_for -t 20 test -e "$work/stubborn.rc"
# The user's settings, which the upgrade must keep.
mkdir -p "$settings"
python3 - "$settings/config.json" "https://localhost:$QV_UPDATE_PORT_A/release" <<'PY'
import json, sys
with open(sys.argv[1], "w", encoding="utf-8", newline="\r\n") as f:
    f.write(json.dumps({"maxPreviews": 7, "displayNames": {"ABC-1234": "Mine"}, "welcomeShown": True,
                        "autoCheckUpdates": False, "updateBaseUrl": sys.argv[2]},
                       indent=2, sort_keys=True) + "\n")
PY
window_exists() { wine "$work/qvtool.exe" find >/dev/null 2>&1; }
(
    wine "$instdir/quorvane.exe" >"$work/older.out" 2>&1
    echo $? >"$work/older.rc"
) &
started() { grep -qs "INF Quorvane .* starting" "$settings/logs/qv.log"; }
check "the older copy runs" wait_for window_exists
check "and has started (its log line)" wait_for -t 20 started

wine "$setup" /S >"$work/install2.out" 2>&1
check "silent install over it exits with 0" test $? -eq 0
check "the running copy was ended" wait_for -t 10 test -e "$work/older.rc"
check "and quit cleanly (exit code 0)" test "$(cat "$work/older.rc" 2>/dev/null)" = 0
check "through its quit, which logs the exit" grep -qs ' INF Quorvane exiting' "$settings/logs/qv.log"
check "the program replaced by the release" cmp -s "$instdir/quorvane.exe" "$zip_exe"
check "the uninstall entry says $version again" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"
settings_kept() {
    python3 - "$settings/config.json" <<'PY'
import json, sys
with open(sys.argv[1], encoding="utf-8") as f:
    settings = json.load(f)
sys.exit(0 if settings.get("maxPreviews") == 7 and settings.get("displayNames") == {"ABC-1234": "Mine"} else 1)
PY
}
check "config.json kept the user's settings" settings_kept

# --- the installer's pages ---------------------------------------------------
# NSIS pages are dialogs of the class "#32770" (Microsoft Learn "About Window
# Classes", system classes); the outer one's Next/Finish button has the id 1
# (Modern UI 2's Interface.nsh: GetDlgItem $mui.Button.Next $HWNDPARENT 1). The last page's
# "Start Quorvane" box is ticked: Finish starts it.
(
    wine "$setup" >"$work/install3.out" 2>&1
    echo $? >"$work/install3.rc"
) &
page_says() { wine "$work/qvtool.exe" texts '#32770' 2>/dev/null | tr -d '\r' | grep -qF "$1"; }
check "the installer shows its welcome page" wait_for -t 60 page_says "Welcome to Quorvane Setup"
wine "$work/qvtool.exe" click '#32770' 1 >/dev/null 2>&1
check "Next installs and leads to the last page" wait_for -t 60 page_says "Completing Quorvane Setup"
check "which offers to start Quorvane" page_says "Start Quorvane"
sleep 1
read -r _ left top right bottom < <(wine "$work/qvtool.exe" win '#32770' 2>/dev/null | tr -d '\r')
import -window root "$work/screen.png" 2>/dev/null
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage \
    "$work/installer-finish.png" 2>/dev/null
check "screenshot of the last page taken" test -s "$work/installer-finish.png"
if [ -n "${QV_SCREENSHOTS:-}" ] && [ -s "$work/installer-finish.png" ]; then
    mkdir -p "$QV_SCREENSHOTS" && cp "$work/installer-finish.png" "$QV_SCREENSHOTS/installer-finish.png"
fi
wine "$work/qvtool.exe" click '#32770' 1 >/dev/null 2>&1
check "Finish closes the installer" wait_for -t 20 test -e "$work/install3.rc"
check "and it exits with 0" test "$(cat "$work/install3.rc" 2>/dev/null)" = 0
check "and starts Quorvane" wait_for -t 30 window_exists

# --- the released program trusts the key that signed the release ------------
# "Check for updates…" is the tray menu's command 10; a check ignores
# requests while the one before it ends, so it is asked until a box answers.
qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
box_shown() { [ -n "$(qv msgbox)" ]; }
box_gone() { ! wine "$work/qvtool.exe" msgbox >/dev/null 2>&1; }
request_check() {
    qv command 10
    wait_for -t 4 box_shown
}
check "a requested update check shows a message box" wait_for -t 30 request_check
check "the release's stable.json is taken: it is the latest version" \
    test "$(qv msgbox | sed 1d)" = "You're on the latest version (v$version)."
qv answer 1
wait_for -t 10 box_gone
serve testkey
check "a check against the manifest signed with the tests' key shows a box" wait_for -t 30 request_check
check "which refuses it for its signature" \
    test "$(qv msgbox | sed 1d)" = $'Couldn\'t check for updates:\n\nUpdate manifest signature is not valid'
qv answer 1
check "the box closes" wait_for -t 10 box_gone

# --- an update replaced the installed program: Apps & features follows -------
# The updater moves a new quorvane.exe over the installed one, and the
# installer's DisplayVersion is left behind; the program sets it at start.
qv quit
window_gone() { ! window_exists; }
wait_for -t 30 window_gone
wine reg add "$uninstall_key" /v DisplayVersion /t REG_SZ /d 1.3.8 /f >/dev/null 2>&1
(wine "$instdir/quorvane.exe" >"$work/updated.out" 2>&1) &
check "the installed program starts again" wait_for -t 30 window_exists
shows_version() { test "$(reg_value "$uninstall_key" DisplayVersion)" = "$version"; }
check "it set the uninstall entry's 1.3.8 back to $version" wait_for -t 20 shows_version

# --- the quiet uninstall -----------------------------------------------------
# The program started with Windows: the Run value it writes itself (the
# quoted path of the program).
wine reg add "$run_key" /v Quorvane /d "\"$instdir_win\\quorvane.exe\"" /f >/dev/null 2>&1
check "the Run value is there before the uninstall" test -n "$(reg_value "$run_key" Quorvane)"
started_at=$(date +%s)
# The command line the uninstall entry gives, taken apart: the quoted
# program, then its switches.
quiet=$(reg_value "$uninstall_key" QuietUninstallString)
quiet_program=$(sed -n 's/^"\([^"]*\)" .*/\1/p' <<<"$quiet")
quiet_switches=$(sed -n 's/^"[^"]*" //p' <<<"$quiet")
# shellcheck disable=SC2086
wine "$quiet_program" $quiet_switches >"$work/uninstall.out" 2>&1
check "the quiet uninstall starts" test $? -eq 0
# The uninstaller runs on from a copy of itself in the temporary folder:
# wait for its work to be done.
uninstalled() { [ ! -e "$instdir" ] && ! key_exists "$uninstall_key"; }
check "the program folder and the uninstall entry go" wait_for -t 60 uninstalled
check "the running program was ended" wait_for -t 10 window_gone
check "the Start menu shortcut is gone" test ! -e "$shortcut"
check "the Run value is gone" test -z "$(reg_value "$run_key" Quorvane)"
check "the settings folder is kept" test -d "$settings"
check "config.json is kept, with the user's settings" settings_kept
check "the logs are kept" test -s "$settings/logs/qv.log"
echo "(the quiet uninstall took $(($(date +%s) - started_at)) s)"

e2e_finish "$work/older.out"
