# Sourced by scripts that play through a PulseAudio sound server of their own: a null sink named
# tolbe_null in a private runtime folder. After start_private_pulse, PULSE_SERVER and PULSE_SINK point
# every client at it and ALSA's "pulse" device plays into it; extra arguments are loaded as further
# modules. The caller stops it with stop_private_pulse (from its EXIT trap), which also removes the
# folder.

start_private_pulse() {
  command -v pulseaudio >/dev/null || { echo "pulseaudio missing (scripts/install-deps.sh)" >&2; return 1; }
  pulse_runtime=$(mktemp -d /tmp/tolbe-pulse.XXXXXX)
  local socket="$pulse_runtime/native"
  export XDG_RUNTIME_DIR="$pulse_runtime" PULSE_RUNTIME_PATH="$pulse_runtime" HOME="$pulse_runtime"
  local extra=()
  for m in "$@"; do extra+=(--load="$m"); done
  pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes \
    --log-target=file:"$pulse_runtime/log" \
    --load="module-null-sink sink_name=tolbe_null rate=44100 channels=2" \
    --load="module-native-protocol-unix socket=$socket auth-anonymous=1" "${extra[@]}" &
  pulse_server=$!
  export PULSE_SERVER="unix:$socket" PULSE_SINK=tolbe_null
  for _ in $(seq 50); do
    pactl info >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  echo "the sound server did not start" >&2
  cat "$pulse_runtime/log" >&2
  return 1
}

stop_private_pulse() {
  [ -n "${pulse_server:-}" ] && { kill "$pulse_server" 2>/dev/null || true; wait "$pulse_server" 2>/dev/null || true; }
  [ -n "${pulse_runtime:-}" ] && rm -rf "$pulse_runtime"
  pulse_server=
  pulse_runtime=
}
