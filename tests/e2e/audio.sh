#!/usr/bin/env bash
# End-to-end checks of the audio controls on the real quorvane.exe under Wine,
# with a PulseAudio null sink (so Wine has playback and capture endpoints) and
# the imitation WebView2 runtime, which writes every script the program runs
# to a file:
#   the flyout's state lists the speakers and microphones with one default
#   each, and names the app that was in front when it opened;
#   its levels follow "setvol" (clamped, with no state push) and "setmute"
#   for both flows;
#   "setaud" fails with the switch's error notice (Wine has no policy class);
#   "fixapp" removes the front app's override from the registry, with its notice;
#   the settings page lists the three device groups, and a "device" message
#   is refused with a notice on the page and the rows pushed again.
#
# usage: tests/e2e/audio.sh path/to/quorvane.exe
# Needs an X display in $DISPLAY (for example under xvfb-run) and PulseAudio.
# Uses a fresh Wine prefix of its own, removed at the end.
set -u

e2e_needs_xdotool=1
. "$(dirname "$0")/common.bash"
. "$(dirname "$0")/../../scripts/lib-pulse.sh"
e2e_init "${1:-}" "traytool.c:-lcomctl32 -lgdi32"

qv_pulse_start "$work/pulse" "$work/pulse.log" || e2e_abort "PulseAudio ($(tail -n 3 "$work/pulse.log"))"
trap 'qv_pulse_stop; e2e_cleanup' EXIT
export "${qv_pulse_env[@]}"

runtime="$(dirname "$exe")/imitation-webview2"
[ -f "$runtime/EBWebView/x64/EmbeddedBrowserWebView.dll" ] || e2e_abort "imitation runtime (not built next to the exe)"
wine reg add 'HKCU\Software\Microsoft\EdgeUpdate\ClientState\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}' \
    /v EBWebView /t REG_SZ /d "$(winepath -w "$runtime" | tr -d '\r')" /f /reg:32 >/dev/null 2>&1 ||
    e2e_abort "register the imitation runtime"
scripts="$work/scripts.txt"
QV_IMITATION_WEBVIEW2_SCRIPTS=$(winepath -w "$scripts" | tr -d '\r')
export QV_IMITATION_WEBVIEW2_SCRIPTS

tool() { wine "$work/traytool.exe" "$@" 2>/dev/null | tr -d '\r'; }
qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
flyout_state() { qv flyout | sed -n 1p | cut -d' ' -f1; }
flyout_visible() { [ "$(flyout_state)" = visible ]; }
flyout_hidden() { [ "$(flyout_state)" = hidden ]; }

# Whether a Python expression holds for the argument of the last script that
# starts with PREFIX (a JSON document, as `d`); with -p, prints the value.
last_doc() { # [-p] PREFIX EXPRESSION
    local print=0
    [ "$1" = -p ] && { print=1; shift; }
    python3 - "$scripts" "$1" "$2" "$print" <<'PY'
import json, sys
path, prefix, expression, show = sys.argv[1:]
last = None
try:
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith(prefix):
                last = line
except FileNotFoundError:
    sys.exit(1)
if last is None:
    sys.exit(1)
text = last[len(prefix):].rstrip("\n")
try:
    d = json.loads(text[:-1])  # the closing parenthesis of the call
    value = eval(expression, {}, {"d": d})
except Exception:
    sys.exit(1)
if show == "1":
    print(value)
sys.exit(0 if value or show == "1" else 1)
PY
}
state() { last_doc "window.qvState(" "$1"; }
levels() { last_doc "window.qvLevels&&window.qvLevels(" "$1"; }
settings() { last_doc "window.qvInit(" "$1"; }

balloon_says() { # text
    [ "$(tool balloon | sed -n 3p)" = "$1" ]
}

(
    wine "$exe" >"$work/out.txt" 2>&1
    echo $? >"$work/rc"
) &

# --- the flyout's speakers and microphones ------------------------------------
check "the welcome opens the web flyout" wait_for -t 60 flyout_visible
one_default() { # spk or mic
    state "len(d['$1']) >= 1 and sum(1 for c in d['$1'] if c['def']) == 1 and all(c['id'] and c['name'] for c in d['$1'])"
}
check "the state lists the speakers with names and one default" wait_for -t 20 one_default spk
check "and the microphones likewise" one_default mic
echo "  speakers: $(last_doc -p "window.qvState(" "[c['name'] for c in d['spk']]")"
echo "  microphones: $(last_doc -p "window.qvState(" "[c['name'] for c in d['mic']]")"
levels_sent() { levels "True"; }
check "the levels document is sent" wait_for -t 10 levels_sent

# --- volume and mute ---------------------------------------------------------------
volume_is() { levels "abs(d['$1']['vol'] - $2) < 0.01"; }
muted_is() { levels "d['$1']['mute'] == $2"; }
# A volume step re-renders nothing: the levels carry the volume back.
state_pushes() { grep -c '^window.qvState(' "$scripts"; }
pushes=$(state_pushes)
if levels "d['spk']['ok'] and d['mic']['ok']"; then
    qv page '{"type":"setvol","cap":false,"vol":0.25}' >/dev/null
    check "setvol 0.25 shows in the speakers' levels" wait_for -t 10 volume_is spk 0.25
    qv page '{"type":"setvol","cap":true,"vol":0.6}' >/dev/null
    check "setvol 0.6 with cap shows in the microphone's levels" wait_for -t 10 volume_is mic 0.6
    check "and leaves the speakers at 0.25" volume_is spk 0.25
    qv page '{"type":"setvol","cap":false,"vol":1.7}' >/dev/null
    check "setvol 1.7 is full volume" wait_for -t 10 volume_is spk 1.0
    qv page '{"type":"setvol","cap":true,"vol":-0.2}' >/dev/null
    check "setvol -0.2 is silence" wait_for -t 10 volume_is mic 0.0
    check "and the four volume steps pushed no state" test "$(state_pushes)" = "$pushes"
    qv page '{"type":"setmute","cap":false,"on":true}' >/dev/null
    check "setmute mutes the speakers" wait_for -t 10 muted_is spk True
    check "and not the microphone" muted_is mic False
    qv page '{"type":"setmute","cap":false,"on":false}' >/dev/null
    check "and setmute off unmutes them" wait_for -t 10 muted_is spk False
else
    # Wine 8 activates an endpoint's volume control but no peak meter, so the
    # default endpoints have no controls: the levels say so and volume and
    # mute requests change nothing.
    echo "SKIP volume, mute and peak: Wine activates no peak meter for an endpoint"
    zero="{'ok': False, 'vol': 0.0, 'mute': False, 'peak': 0.0}"
    check "without controls both levels are all zero" levels "d == {'spk': $zero, 'mic': $zero}"
    ticks=$(grep -c '^window.qvLevels&&' "$scripts")
    qv page '{"type":"setvol","cap":false,"vol":0.25}' >/dev/null
    check "a volume step pushes no state" test "$(state_pushes)" = "$pushes"
    qv page '{"type":"setmute","cap":true,"on":true}' >/dev/null
    more_ticks() { [ "$(grep -c '^window.qvLevels&&' "$scripts")" -gt $((ticks + 2)) ]; }
    check "setvol and setmute leave them so, and the levels go on" wait_for -t 10 more_ticks
    check "(still all zero)" levels "d == {'spk': $zero, 'mic': $zero}"
fi

# --- the default switch --------------------------------------------------------
other=$(last_doc -p "window.qvState(" "next((c['id'] for c in d['spk'] if not c['def']), d['spk'][0]['id'])")
qv page "{\"type\":\"setaud\",\"cap\":false,\"id\":\"$other\"}" >/dev/null
switch_refused() { log_messages | grep -qxF "WRN setDefaultAudio failed hr=0x00000000 id=$other"; }
check "setaud is refused without a policy class, in the log" wait_for -t 10 switch_refused
check "and with the switch's error notice" wait_for -t 10 balloon_says "Windows refused the device switch (0x00000000)."
check "the default stays where it was" state "not any(c['def'] for c in d['spk'] if c['id'] == '$other') or len(d['spk']) == 1"
qv page '{"type":"close"}' >/dev/null
check "the page's close message hides the flyout" wait_for -t 10 flyout_hidden

# --- resetting the front app ------------------------------------------------------
# A window of qvtool.exe is in front when the icon is clicked; an override
# made for it is removed, and one of another program stays.
overrides='HKCU\Software\Microsoft\Internet Explorer\LowRegistry\Audio\PolicyConfig\PropertyStore'
wine reg add "$overrides\\{0.0.0.00000000}.{e2e-1}" /ve /d 'x|\Device\HarddiskVolume3\Tools\QVTOOL.exe%b{0}' /f >/dev/null 2>&1
wine reg add "$overrides\\{0.0.0.00000000}.{e2e-2}" /ve /d 'x|\Device\HarddiskVolume3\Tools\player.exe%b{0}' /f >/dev/null 2>&1
override_exists() { wine reg query "$overrides\\{0.0.0.00000000}.{$1}" >/dev/null 2>&1; }
override_gone() { ! override_exists "$1"; }
check "two overrides planted" override_exists e2e-1
check "(the second)" override_exists e2e-2

e2e_focus_window
# Under Wine a real click on the icon would first bring the shell's tray
# window to the front; the shell's message is posted instead.
qv iconclick
check "a click on the icon shows the flyout" wait_for -t 10 flyout_visible
check "the state names qvtool.exe as the app in front" wait_for -t 10 state "d['fgApp'] == 'qvtool.exe' and d['fgWin']"
qv page '{"type":"fixapp"}' >/dev/null
check "fixapp hides the flyout" wait_for -t 10 flyout_hidden
check "and says the app uses the default again" \
    wait_for -t 10 balloon_says "qvtool.exe will use the system default again. If it's mid-call, restart the call for it to take effect."
cleared() { log_messages | grep -q '^INF Cleared 1 audio override(s) for .*qvtool\.exe$'; }
check "the log counts one override cleared" cleared
check "qvtool's override is gone" override_gone e2e-1
check "the player's override stays" override_exists e2e-2
qv hide QvtoolFocus >/dev/null

# --- the settings page's device groups ------------------------------------------------
settings_open() { qv win QuorvaneGlassSettings | grep -q '^visible'; }
settings_gone() { ! wine "$work/qvtool.exe" win QuorvaneGlassSettings >/dev/null 2>&1; }
read -r icon_x icon_y < <(tool icon)
xdotool mousemove "$icon_x" "$icon_y" click 1
check "the flyout opens again" wait_for -t 10 flyout_visible
qv page '{"type":"open","what":"settings"}' >/dev/null
check "the flyout's settings button opens the web settings window" wait_for -t 10 settings_open
# Only devices with an instance id are listed; Wine's endpoints have none.
groups_listed() {
    settings "d['cams'] == [] and isinstance(d['spkDevs'], list) and isinstance(d['micDevs'], list) and all(x['name'] and x['id'] and x['on'] and x['present'] for x in d['spkDevs'] + d['micDevs'])"
}
check "the settings page gets the three device groups" wait_for -t 10 groups_listed
echo "  speakers: $(last_doc -p "window.qvInit(" "d['spkDevs']"), microphones: $(last_doc -p "window.qvInit(" "d['micDevs']")"
pushes() { grep -c '^window.qvInit(' "$scripts"; }
last_notice() { grep '^window.qvNotice&&' "$scripts" | tail -n 1; }
pushed_since() { [ "$(pushes)" -gt "$1" ]; }
notice_is() { [ "$(last_notice)" = "window.qvNotice&&window.qvNotice(\"$1\")" ]; }
device_message() { # id, on, expected notice
    local before
    before=$(pushes)
    qv page "{\"type\":\"device\",\"id\":\"$1\",\"on\":$2}" QuorvaneGlassSettings >/dev/null
    wait_for -t 10 pushed_since "$before" && wait_for -t 10 notice_is "$3"
}
# Wine runs the program elevated, and its device list has no such device.
gone="That device is no longer attached."
log_messages | grep -q 'starting (elevated=0)' && gone="Disabling a device needs administrator rights."
check "turning off a device that is gone: the rows again and \"$gone\"" \
    device_message 'ROOT\\QUORVANE_NO_SUCH_DEVICE\\0000' false "$gone"
check "a device message without an id: the rows again and \"No device selected.\"" device_message '' true "No device selected."
qv page '{"type":"action","name":"close"}' QuorvaneGlassSettings >/dev/null
check "the settings window closes" wait_for -t 10 settings_gone

check "no error in the log" bash -c "! grep -q ' ERR ' '$(log_file)'"
qv page '{"type":"exit"}' >/dev/null
check "the page's exit message ends the program" wait_for -t 20 test -e "$work/rc"
check "exit code 0" test "$(cat "$work/rc" 2>/dev/null)" = 0
# The flyout's levels kept the speakers' and microphone's controls open; they
# are released before the COM apartment is left, so the exit leaves no dump.
check "the exit is logged after the controls were used" bash -c "tr -d '\r' <'$(log_file)' | grep -q ' INF Quorvane exiting$'"
check "and leaves no crash dump" bash -c "! find '$(dirname "$(log_file)")' -name '*.dmp' | grep -q ."

if [ "$failed" -ne 0 ]; then
    echo "--- the last documents the pages were sent:" >&2
    for prefix in 'window.qvState(' 'window.qvLevels&&' 'window.qvInit('; do
        grep -F "$prefix" "$scripts" | tail -n 1 >&2
    done
fi
e2e_finish "$work/out.txt"
