#!/usr/bin/env bash
# Runs the download benchmark, including a real-time play-out through ALSA's pulse plugin into a
# PulseAudio null sink (a sound server of its own, started here and stopped at the end).
# Usage: bench/run_download_bench.sh [build folder] [extra benchmark arguments...]
set -euo pipefail

build=${1:-build}
shift || true
bench="$build/bench/bench_download"
[ -x "$bench" ] || { echo "run_download_bench: $bench not found; build the bench_download target" >&2; exit 1; }
command -v pulseaudio >/dev/null || { echo "run_download_bench: pulseaudio missing (scripts/install-deps.sh)" >&2; exit 1; }

runtime=$(mktemp -d /tmp/tolbe-pulse.XXXXXX)
socket="$runtime/native"
export XDG_RUNTIME_DIR="$runtime" PULSE_RUNTIME_PATH="$runtime" HOME="$runtime"

pulseaudio -n --daemonize=no --exit-idle-time=-1 --use-pid-file=no --disable-shm=yes --log-target=file:"$runtime/log" \
  --load="module-null-sink sink_name=tolbe_null rate=44100 channels=2" \
  --load="module-native-protocol-unix socket=$socket auth-anonymous=1" &
server=$!
cleanup() {
  kill "$server" 2>/dev/null || true
  wait "$server" 2>/dev/null || true
  rm -rf "$runtime"
}
trap cleanup EXIT

export PULSE_SERVER="unix:$socket" PULSE_SINK=tolbe_null
for _ in $(seq 50); do
  pactl info >/dev/null 2>&1 && break
  sleep 0.1
done
pactl info >/dev/null 2>&1 || { echo "run_download_bench: the sound server did not start" >&2; cat "$runtime/log" >&2; exit 1; }

# The null sink wakes up only as often as its clients ask; without a low-latency client it works in
# 2 s blocks and every drain waits for the next one. A low-latency reader of its monitor keeps it
# ticking as a real sound card does.
parec --latency-msec=10 -d tolbe_null.monitor --raw >/dev/null &
reader=$!
sleep 0.5

status=0
TOLBE_BENCH_PCM_DEVICE=pulse "$bench" "$@" || status=$?
kill "$reader" 2>/dev/null || true
wait "$reader" 2>/dev/null || true
exit "$status"
