#!/usr/bin/env bash
# Runs the download benchmark, including real-time play-outs of 1, 4 and 12 blocks through ALSA's
# pulse plugin into a PulseAudio null sink (a sound server of its own, started here and stopped at
# the end). wall_per_signal is the wall time of a download against the length of its stream.
# Usage: bench/run_download_bench.sh [build folder] [extra benchmark arguments...]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=${1:-build}
shift || true
bench="$build/bench/bench_download"
[ -x "$bench" ] || { echo "run_download_bench: $bench not found; build the bench_download target" >&2; exit 1; }
source "$here/../scripts/private-pulse.sh"

cleanup() {
  [ -n "${reader:-}" ] && { kill "$reader" 2>/dev/null || true; wait "$reader" 2>/dev/null || true; }
  stop_private_pulse
}
trap cleanup EXIT
start_private_pulse

# The null sink wakes up only as often as its clients ask; without a low-latency client it works in
# 2 s blocks and every drain waits for the next one. A low-latency reader of its monitor keeps it
# ticking as a real sound card does.
parec --latency-msec=10 -d tolbe_null.monitor --raw >/dev/null &
reader=$!
sleep 0.5

TOLBE_BENCH_PCM_DEVICE=pulse "$bench" "$@"
