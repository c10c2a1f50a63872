# Sourced by the two-monitor scripts after common.bash and e2e_init: the test
# tool, the monitor count (a script run outside the two-monitor tier stops
# here), window rectangles by title, the program's settings folder, its start
# and the keyboard focus that Wine needs before it hands a hotkey over.
. "$here/../../scripts/lib-xorg.sh"

qv() { wine "$work/qvtool.exe" "$@" 2>/dev/null | tr -d '\r'; }
monitor_count() { qv monitors | grep -c '^\\\\.\\DISPLAY'; }
[ "$(monitor_count)" = 2 ] || e2e_abort "two monitors (Wine sees $(monitor_count); run by the two-monitor tier)"

rect_of() { qv rect "$1" | cut -d' ' -f2-; }
is_at() { [ "$(rect_of "$1")" = "$2" ]; }
logged() { log_messages | grep -qx "$1"; }

# The program's settings folder in the prefix, created: a script writes its
# config.json there before the start.
config_folder() {
    local dir
    dir=$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
    dir=$(winepath -u "$dir\\Quorvane" 2>/dev/null)
    mkdir -p "$dir"
    echo "$dir"
}

# Starts the program in the background; $work/rc holds its exit code once it ends.
start_program() {
    (
        wine "$exe" >"$work/out.txt" 2>&1
        echo $? >"$work/rc"
    ) &
}

# Wine hands hotkeys over only while one of its windows has the X focus; the
# foreground window decides the target of tiling and snapping, and the X
# focus alone does not always move Wine's foreground, so both are set.
focus_on() {
    local id
    id=$(xdotool search --name "^$1\$" 2>/dev/null | head -n 1)
    [ -n "$id" ] || return 1
    xdotool windowfocus --sync "$id" 2>/dev/null
    [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ] || return 1
    wine "$work/qvtool.exe" front "$1" >/dev/null 2>&1
}
