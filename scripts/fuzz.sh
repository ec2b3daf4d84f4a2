#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and
# runs each for SECONDS (default 60), one after the other, starting from the seed corpus in
# tests/fuzz/corpus/. Exits non-zero when any target finds a crash, a broken property, a leak, a
# timeout or runs out of memory; the input is kept in build-fuzz/findings/<target>/. Keep such an
# input as tests/fuzz/regressions/<target>/<name> once fixed: CTest replays those.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: scripts/fuzz.sh [SECONDS]  (per target, default 60)" >&2
  exit 2
fi

# clang and its runtime (libFuzzer) come with the project's dependencies.
bash scripts/install-deps.sh
if ! command -v clang++ >/dev/null 2>&1; then
  echo "fuzz: clang++ is still missing after scripts/install-deps.sh" >&2
  exit 1
fi

targets=(ini_file update_descriptor wav_signal key_order sql_import_check)
build=build-fuzz
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DTOLBE_FUZZ=ON -DTOLBE_BUILD_GUI=OFF -DTOLBE_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
passed=0
failed=0
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  log="$build/fuzz_$t.log"
  # Inputs up to 64 KB: a WAV file needs room for a few packets of signal.
  max_len=4096
  [ "$t" = wav_signal ] && max_len=65536
  status=0
  "$build/fuzz/fuzz_$t" "$work" "tests/fuzz/corpus/$t" -max_total_time="$seconds" -timeout=10 \
    -rss_limit_mb=2560 -max_len="$max_len" -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1 ||
    status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if [ "$status" -eq 0 ]; then
    echo "fuzz_$t: ${runs:-?} runs in ${seconds} s, no finding"
    passed=$((passed + 1))
  else
    echo "fuzz_$t: FINDING after ${runs:-?} runs (exit $status); input in $findings/, log $log"
    grep -m 20 -E 'ERROR|SUMMARY|property broken|runtime error|Test unit written' "$log" || true
    failed=$((failed + 1))
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
