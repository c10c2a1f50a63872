#!/usr/bin/env bash
# End-to-end checks of the virtual display console commands on the real
# quorvane.exe under Wine, a machine without any virtual display driver and
# with one display (\\.\DISPLAY1) whose desktop duplication is not
# implemented. Every command's standard output goes to a file, as a shell's
# redirection would have it.
#
# usage: tests/e2e/vd.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run). Uses a fresh
# Wine prefix of its own, removed at the end.
set -u

. "$(dirname "$0")/common.bash"
e2e_init "${1:-}"

out="$work/vd.out"
rc=0
# Runs the program with the arguments; its output lands in $out (without
# carriage returns) and its exit code in $rc.
vd() {
    wine "$exe" "$@" >"$work/raw.out" 2>"$work/vd.err"
    rc=$?
    tr -d '\r' <"$work/raw.out" >"$out"
    {
        echo "--- quorvane.exe $*: exit $rc"
        cat "$out"
    } >>"$work/all.out"
}
has_line() { grep -qxF -- "$1" "$out"; }
has_match() { grep -qE -- "$1" "$out"; }
lacks_line() { ! grep -qxF -- "$1" "$out"; }
first_line_empty() { [ -z "$(head -n 1 "$out")" ] && [ "$(wc -l <"$out")" -gt 1 ]; }
line_count() { [ "$(grep -cE -- "$1" "$out")" -eq "$2" ]; }

no_driver='No virtual display driver is installed'

# --- status: the environment, every backend not installed, no choice ------
vd --vd-status
check "--vd-status exits with 0" test "$rc" -eq 0
check "--vd-status starts with an empty line" first_line_empty
check "--vd-status prints the environment" \
    has_match '^environment: secureBoot=[01] testSigning=[01] windows11=[01] canLoadTestSigned=[01]$'
check "--vd-status: qv-idd not installed" has_match '^backend qv-idd      installed=0 runtime=1 custom=1 '
check "--vd-status: parsec-vdd not installed" has_match '^backend parsec-vdd  installed=0 runtime=1 custom=0 '
check "--vd-status: tnw-vdd not installed" has_match '^backend tnw-vdd     installed=0 '
check "--vd-status: three backends" line_count '^backend ' 3
check "--vd-status: nothing chosen" has_line 'chosen: '
check "--vd-status: the no-driver reason" has_match "^  $no_driver"

# --- list: no backend ------------------------------------------------------
vd --vd-list
check "--vd-list exits with 2" test "$rc" -eq 2
check "--vd-list says why there is no backend" has_match "^no backend: $no_driver"

# --- create: a mode without a refresh rate ------------------------------------
vd --vd-create 2560x1440
check "--vd-create 2560x1440 exits with 1" test "$rc" -eq 1
check "--vd-create 2560x1440 prints the bad-mode line" has_line "bad mode '2560x1440' (want WxH@Hz)"

# An option's value is never the positional mode: the default mode is asked
# for, and there is no driver to ask.
vd --vd-create --backend parsec-vdd
check "--vd-create --backend parsec-vdd exits with 2" test "$rc" -eq 2
check "--vd-create --backend parsec-vdd does not read the id as the mode" \
    lacks_line "bad mode 'parsec-vdd' (want WxH@Hz)"
check "--vd-create --backend parsec-vdd says why there is no backend" has_match "^no backend: $no_driver"

vd --vd-create --backend parsec-vdd 60
check "--vd-create --backend parsec-vdd 60 exits with 1" test "$rc" -eq 1
check "--vd-create --backend parsec-vdd 60 prints the bad-mode line" has_line "bad mode '60' (want WxH@Hz)"

# --- destroy without an index ------------------------------------------------
vd --vd-destroy
check "--vd-destroy without an index exits with 1" test "$rc" -eq 1
check "--vd-destroy without an index prints the usage" has_line 'usage: --vd-destroy <index>'

# The backend's id is no index (slot 0 may be another program's monitor).
vd --vd-destroy --backend parsec-vdd
check "--vd-destroy --backend parsec-vdd exits with 1" test "$rc" -eq 1
check "--vd-destroy --backend parsec-vdd prints the usage" has_line 'usage: --vd-destroy <index>'
check "--vd-destroy --backend parsec-vdd prints nothing else" line_count '.' 1

# --- install: Wine has no software devices --------------------------------------
vd --vd-install
check "--vd-install fails with 2" test "$rc" -eq 2
check "--vd-install reports the failure" has_match '^install: .+'
check "--vd-install does not report success" lacks_line 'install: ok'

# --- probe: no virtual display, then Wine's own display -------------------------
vd --vd-probe 0
check "--vd-probe 0 exits with 1" test "$rc" -eq 1
check "--vd-probe 0 finds no virtual display" \
    has_line 'no virtual display found; pass --display \\.\DISPLAYn'

vd --vd-probe 1 --display '\\.\DISPLAY1'
check "--vd-probe on \\\\.\\DISPLAY1 exits with 2" test "$rc" -eq 2
check "--vd-probe on \\\\.\\DISPLAY1 names the display and time" has_line 'probing \\.\DISPLAY1 for 1 s'
check "--vd-probe on \\\\.\\DISPLAY1 stops at the duplication" has_line 'DuplicateOutput failed 0x80004001'

# The seconds after the display's option: probes for 5 s, on a display Wine's
# DXGI does not have.
vd --vd-probe --display '\\.\DISPLAY2' 5
check "--vd-probe --display \\\\.\\DISPLAY2 5 exits with 2" test "$rc" -eq 2
check "--vd-probe --display \\\\.\\DISPLAY2 5 probes for 5 s" has_line 'probing \\.\DISPLAY2 for 5 s'
check "--vd-probe --display \\\\.\\DISPLAY2 5 finds no such output" \
    has_line 'output \\.\DISPLAY2 not found in DXGI'

e2e_finish "$work/all.out"
