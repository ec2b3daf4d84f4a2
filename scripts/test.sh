#!/usr/bin/env bash
# Installs what is missing, builds everything with warnings as errors (in build/, shared with
# scripts/run.sh) and runs every test; then builds and runs the whole suite again under
# AddressSanitizer and UndefinedBehaviorSanitizer (in build-asan/), and the tests labelled "tsan"
# (the update, its transfers, the remote's record) under ThreadSanitizer (in build-tsan/, only
# their targets). TOLBE_SKIP_SANITIZE=1 skips both sanitizer runs (quick local checks).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/build-config.sh
jobs=$(nproc)
export QT_QPA_PLATFORM=offscreen

echo "test.sh: plain build in $tolbe_build/" >&2
tolbe_configure
cmake --build "$tolbe_build" -j"$jobs"
echo "test.sh: plain tests in $tolbe_build/" >&2
ctest --test-dir "$tolbe_build" --output-on-failure -j"$jobs" --timeout 300

if [ "${TOLBE_SKIP_SANITIZE:-0}" != 1 ]; then
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
  export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  echo "test.sh: sanitizer build in build-asan/" >&2
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTOLBE_WERROR=ON -DTOLBE_SANITIZE=ON -DTOLBE_BUILD_BENCH=OFF
  cmake --build build-asan -j"$jobs"
  echo "test.sh: sanitizer tests in build-asan/" >&2
  ctest --test-dir build-asan --output-on-failure -j"$jobs" --timeout 600

  # A child forked by a test only takes a lock and waits: it may run after the fork.
  export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:die_after_fork=0
  echo "test.sh: thread sanitizer build in build-tsan/" >&2
  cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLBE_WERROR=ON -DTOLBE_TSAN=ON \
    -DTOLBE_BUILD_GUI=OFF -DTOLBE_BUILD_BENCH=OFF
  cmake --build build-tsan -j"$jobs" --target tsan_tests
  echo "test.sh: thread sanitizer tests in build-tsan/" >&2
  ctest --test-dir build-tsan --output-on-failure -j"$jobs" --timeout 600 -L tsan
fi
echo "test.sh: all tests passed" >&2
