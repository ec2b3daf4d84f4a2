#!/usr/bin/env bash
# A twelve-block download played by tolbe-cli through a PulseAudio null sink of its own, recorded from
# the sink's monitor as a cable would carry it, and checked with verify --strict: every packet read,
# every preamble whole, every pause within 1 ms, and the slot's bytes as the encoder made them.
# Usage: pulse_download_test.sh TOLBE_CLI SOURCE_DIR
set -euo pipefail
cli=$1
source "$2/scripts/private-pulse.sh"
work=$(mktemp -d /tmp/tolbe-pulse-test.XXXXXX)
cleanup() {
  [ -n "${reader:-}" ] && { kill "$reader" 2>/dev/null || true; wait "$reader" 2>/dev/null || true; }
  stop_private_pulse
  rm -rf "$work"
}
trap cleanup EXIT

"$cli" db sample --out "$work/codes.db3" --code-sets 80 --seed 3 >/dev/null
# The first code set that fills all twelve blocks of a slot, else the largest one seen.
best=; best_blocks=0
while IFS=$'\t' read -r source _; do
  blocks=$("$cli" encode --db "$work/codes.db3" --slot AUX --source-id "$source" --seed 1 | head -1)
  if [ "$blocks" -gt "$best_blocks" ]; then best=$source; best_blocks=$blocks; fi
  [ "$blocks" -eq 12 ] && break
done < <("$cli" search --db "$work/codes.db3" --device TV | tail -n +2 | head -15)
[ -n "$best" ] || { echo "no code set to download" >&2; exit 1; }
echo "code source $best: $best_blocks blocks"

start_private_pulse
parec --latency-msec=10 -d tolbe_null.monitor --raw --format=s16le --rate=44100 --channels=2 >"$work/monitor.raw" &
reader=$!
sleep 0.3
"$cli" download --db "$work/codes.db3" --slot AUX --source-id "$best" --seed 1 --pcm-device pulse
sleep 0.3
kill "$reader"; wait "$reader" 2>/dev/null || true; reader=

sox -q -t raw -r 44100 -e signed -b 16 -c 2 "$work/monitor.raw" "$work/monitor.wav"
"$cli" verify --strict "$work/monitor.wav" | tee "$work/verify.txt"
grep -q "^Blocks: $best_blocks found, the header announced $best_blocks$" "$work/verify.txt"

expected=$("$cli" encode --db "$work/codes.db3" --slot AUX --source-id "$best" --seed 1 | tail -n +2 | tr -d '\n')
heard=$("$cli" verify --json "$work/monitor.wav" | grep -o '"slot_bytes":"[0-9A-F]*"' | cut -d'"' -f4)
[ "$heard" = "$expected" ] || { echo "the slot's bytes differ from the encoder's" >&2; exit 1; }
echo "pulse download test: OK"
