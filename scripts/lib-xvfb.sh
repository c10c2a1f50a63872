# Sourced by scripts/run and scripts/test: a private Xvfb display and a fresh Wine prefix.

qv_start_xvfb() {
  # Finds a free display number and starts Xvfb on it; sets DISPLAY and QV_XVFB_PID.
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
      Xvfb ":${n}" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
      QV_XVFB_PID=$!
      export DISPLAY=":${n}"
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X${n}" ] && return 0
        sleep 0.1
      done
      kill "$QV_XVFB_PID" 2>/dev/null || true
    fi
  done
  echo "could not start Xvfb" >&2
  return 1
}

qv_stop_xvfb() {
  [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null || true
  QV_XVFB_PID=""
}

qv_new_prefix() {
  # Creates and boots a private 64-bit Wine prefix; prints its path.
  local prefix
  prefix=$(mktemp -d "${TMPDIR:-/tmp}/qv-wine.XXXXXX")
  WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    wineboot -i >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wineserver -w 2>/dev/null || true
  echo "$prefix"
}
