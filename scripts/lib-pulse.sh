# Sourced by scripts/test and the audio end-to-end script: a private
# PulseAudio daemon with one null sink, so Wine has playback and capture
# endpoints on a machine without sound hardware.

qv_pulse_start() { # folder for the daemon's runtime files, log file
  # Starts the daemon; on success sets qv_pulse_env to the variables a
  # client needs (XDG_RUNTIME_DIR and PULSE_SERVER) and returns 0.
  local dir=$1 log=$2
  qv_pulse_env=()
  command -v pulseaudio >/dev/null || { echo "pulseaudio is not installed" >"$log"; return 1; }
  mkdir -p "$dir" && chmod 700 "$dir" || return 1
  XDG_RUNTIME_DIR="$dir" pulseaudio -D -n --exit-idle-time=-1 \
    --load="module-null-sink sink_name=qvnull" --load=module-native-protocol-unix >"$log" 2>&1 || return 1
  qv_pulse_env=(XDG_RUNTIME_DIR="$dir" PULSE_SERVER="unix:$dir/pulse/native")
}

qv_pulse_stop() {
  [ "${#qv_pulse_env[@]}" -gt 0 ] && env "${qv_pulse_env[@]}" pulseaudio --kill 2>/dev/null
  qv_pulse_env=()
}
