# Sourced by scripts/test and the two-monitor tests: a private X server with
# two 1920x1080 monitors side by side, made by Xorg's dummy video driver.
#
#   qv_start_xorg          starts it on a free display number; exports DISPLAY,
#                          sets QV_XORG_PID; returns non-zero when it cannot
#   qv_stop_xorg           stops it again and removes its files
#   qv_xorg_second_off     turns the right monitor (DUMMY1) off
#   qv_xorg_second_on      turns it on again, right of the first
#
# What Wine (8, X11 driver) makes of it, measured on this set-up:
#   * Two outputs DUMMY0 (left, 0,0-1920,1080) and DUMMY1 (right,
#     1920,0-3840,1080) become \\.\DISPLAY1 (primary) and \\.\DISPLAY2 with
#     those rectangles. The dummy driver offers DUMMY0..DUMMY15 but connects
#     only DUMMY0; DUMMY1 is given its mode with "xrandr --addmode" first.
#   * Turning an output off or on with xrandr changes Wine's monitor list
#     (the next EnumDisplayMonitors and QueryDisplayConfig see it), but Wine
#     sends no WM_DISPLAYCHANGE and leaves windows where they were, even on
#     a monitor that is gone. Windows does both, so a test that turns an
#     output off plays Windows' part itself with the test tool:
#     "qvtool evacuate" (windows on no monitor move onto the primary one)
#     and "qvtool displaychange" (WM_DISPLAYCHANGE to every top-level window).
#   * A mode change through ChangeDisplaySettingsEx on \\.\DISPLAY2 (say to
#     1280x720, a mode the dummy output lists) is carried out: the X output
#     takes the mode, Wine reads it back and broadcasts WM_DISPLAYCHANGE
#     itself. Detaching it that way (a mode of size 0, committed) turns the
#     output off and is broadcast too, but windows on it stay where they were;
#     attaching it again (1920x1080 at 1920,0) turns the output back on.
#   * Wine's SetDisplayConfig reports success for topology changes
#     (SDC_TOPOLOGY_CLONE, _INTERNAL, _EXTEND) that it does not carry out, so
#     no test asserts that such a change happened.
#
# Xorg needs no root rights with the dummy driver: measured as root and as an
# unprivileged user. Only where the set-uid wrapper (Debian's
# xserver-xorg-legacy) is installed must /etc/X11/Xwrapper.config let a user
# outside the console start it ("allowed_users=anybody").

qv_xorg_conf() {
    # The dummy driver's configuration: one screen of 3840x1080 (room for the
    # two monitors), with a 1920x1080 mode the monitors can take. Sections and
    # options as xorg.conf(5) and dummy(4) of X.Org describe them; the Modeline
    # is the 1920x1080 60 Hz timing of VESA DMT (CEA-861 format 16).
    cat <<'EOF'
Section "ServerFlags"
    Option "AutoAddDevices" "false"
    Option "AutoEnableDevices" "false"
    Option "DontVTSwitch" "true"
EndSection

Section "Device"
    Identifier "qv-dummy"
    Driver "dummy"
    VideoRam 256000
EndSection

Section "Monitor"
    Identifier "qv-monitor"
    HorizSync 5.0-1000.0
    VertRefresh 5.0-200.0
    Modeline "1920x1080" 148.50 1920 2008 2052 2200 1080 1084 1089 1125 +hsync +vsync
EndSection

Section "Screen"
    Identifier "qv-screen"
    Device "qv-dummy"
    Monitor "qv-monitor"
    DefaultDepth 24
    SubSection "Display"
        Depth 24
        Modes "1920x1080"
        Virtual 3840 1080
    EndSubSection
EndSection
EOF
}

qv_start_xorg() {
    # Finds a free display number, starts Xorg with the dummy driver on it and
    # lays out the two monitors; sets DISPLAY, QV_XORG_PID and QV_XORG_DIR.
    command -v Xorg >/dev/null || { echo "Xorg is not installed (scripts/setup installs it)" >&2; return 1; }
    command -v xrandr >/dev/null || { echo "xrandr is not installed (scripts/setup installs it)" >&2; return 1; }
    QV_XORG_DIR=$(mktemp -d "${TMPDIR:-/tmp}/qv-xorg.XXXXXX")
    qv_xorg_conf >"$QV_XORG_DIR/xorg.conf"
    mkdir -p "$QV_XORG_DIR/conf.d"
    local n i
    for n in $(seq 150 200); do
        if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
            # -configdir names an empty folder so that the machine's own
            # xorg.conf.d snippets stay out.
            Xorg ":${n}" -noreset -nolisten tcp -config "$QV_XORG_DIR/xorg.conf" \
                -configdir "$QV_XORG_DIR/conf.d" -logfile "$QV_XORG_DIR/xorg.log" \
                >"$QV_XORG_DIR/stderr.log" 2>&1 &
            QV_XORG_PID=$!
            for i in $(seq 1 100); do
                if DISPLAY=":${n}" xrandr >/dev/null 2>&1; then
                    export DISPLAY=":${n}"
                    if qv_xorg_two_monitors; then return 0; fi
                    echo "Xorg started but the two monitors could not be laid out" >&2
                    qv_stop_xorg
                    return 1
                fi
                kill -0 "$QV_XORG_PID" 2>/dev/null || break
                sleep 0.1
            done
            kill "$QV_XORG_PID" 2>/dev/null
            wait "$QV_XORG_PID" 2>/dev/null
            QV_XORG_PID=""
            # Another server may have taken the number meanwhile; a server that
            # failed for its own reasons fails on every number.
            if ! grep -q "Server is already active" "$QV_XORG_DIR/xorg.log" "$QV_XORG_DIR/stderr.log" 2>/dev/null; then
                echo "could not start Xorg:" >&2
                tail -n 20 "$QV_XORG_DIR/stderr.log" >&2
                rm -rf "$QV_XORG_DIR"
                QV_XORG_DIR=""
                return 1
            fi
        fi
    done
    echo "could not start Xorg: no free display number" >&2
    rm -rf "$QV_XORG_DIR"
    QV_XORG_DIR=""
    return 1
}

# Whether the X server lists N monitors. The query also settles the layout
# for Wine: a Wine prefix booted right after the last "xrandr --output" saw
# only the first monitor until some client had asked for the monitor list.
qv_xorg_monitors_are() { [ "$(xrandr --listmonitors 2>/dev/null | sed -n 's/^Monitors: //p')" = "$1" ]; }

qv_xorg_two_monitors() {
    xrandr --output DUMMY0 --mode 1920x1080 --pos 0x0 &&
        { xrandr --addmode DUMMY1 1920x1080 2>/dev/null || true; } &&
        xrandr --output DUMMY1 --mode 1920x1080 --right-of DUMMY0 &&
        qv_xorg_monitors_are 2
}

qv_xorg_second_off() { xrandr --output DUMMY1 --off && qv_xorg_monitors_are 1; }

qv_xorg_second_on() { xrandr --output DUMMY1 --mode 1920x1080 --right-of DUMMY0 && qv_xorg_monitors_are 2; }

qv_stop_xorg() {
    if [ -n "${QV_XORG_PID:-}" ]; then
        kill "$QV_XORG_PID" 2>/dev/null
        wait "$QV_XORG_PID" 2>/dev/null
    fi
    QV_XORG_PID=""
    [ -n "${QV_XORG_DIR:-}" ] && rm -rf "$QV_XORG_DIR"
    QV_XORG_DIR=""
}
