#!/usr/bin/env bash
# Measures how long a second start of Tolbe takes to hand over to the running copy and end: the
# first copy runs on the sample database with folders of its own; then the program is started again
# RUNS times and each start is timed from launch to exit. No sound card is shown to either copy.
# Usage: bench/run_second_copy_bench.sh [build folder] [runs]   (QT_QPA_PLATFORM defaults to offscreen)
set -euo pipefail

build=${1:-build}
runs=${2:-20}
program="$build/program/tolbe"
[ -x "$program" ] || { echo "run_second_copy_bench: $program not found; build the tolbe target" >&2; exit 1; }

root=$(mktemp -d "${TMPDIR:-/tmp}/tolbe-copies.XXXXXX")
mkdir -m 700 "$root/run"
mkdir "$root/state" "$root/config" "$root/home"
: >"$root/no-sound-card.conf"
export XDG_RUNTIME_DIR="$root/run" XDG_STATE_HOME="$root/state" XDG_CONFIG_HOME="$root/config" HOME="$root/home"
export TOLBE_PROGRAM_DIR="$build/program" ALSA_CONFIG_PATH="$root/no-sound-card.conf"
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

"$program" 2>"$root/first.log" &
first=$!
cleanup() {
  kill -TERM "$first" 2>/dev/null || true
  wait "$first" 2>/dev/null || true
  rm -rf "$root"
}
trap cleanup EXIT

for _ in $(seq 300); do
  [ -S "$root/run/Tolbe/instance" ] && break
  sleep 0.1
done
[ -S "$root/run/Tolbe/instance" ] || { echo "run_second_copy_bench: the first copy did not start" >&2; cat "$root/first.log" >&2; exit 1; }

times=()
for _ in $(seq "$runs"); do
  t0=$(date +%s%N)
  "$program" 2>/dev/null || { echo "run_second_copy_bench: a second start failed" >&2; exit 1; }
  t1=$(date +%s%N)
  times+=($(((t1 - t0) / 1000000)))
done
kill -0 "$first" 2>/dev/null || { echo "run_second_copy_bench: the first copy ended" >&2; exit 1; }

sorted=$(printf '%s\n' "${times[@]}" | sort -n)
min=$(echo "$sorted" | head -1)
max=$(echo "$sorted" | tail -1)
median=$(echo "$sorted" | sed -n "$(((runs + 1) / 2))p")
echo "second start, launch to exit over $runs runs ($QT_QPA_PLATFORM): min ${min} ms, median ${median} ms, max ${max} ms"
