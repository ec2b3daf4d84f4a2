#!/usr/bin/env bash
# Builds the large benchmark database (200,000 code sets over 20,000 code sources of about
# 40 codes each, some 800,000 M_CodeLink rows) at <build folder>/bench-data/large.db3, where the
# benchmarks look for it when they run from the build folder.
# Usage: bench/make_large_db.sh [build folder]   (default: build)
set -euo pipefail
build=${1:-build}
cli="$build/program/tolbe-cli"
if [ ! -x "$cli" ]; then
  echo "make_large_db: $cli not found; build the tolbe-cli target first" >&2
  exit 1
fi
mkdir -p "$build/bench-data"
"$cli" db sample --out "$build/bench-data/large.db3" --force \
  --code-sets 200000 --sources 20000 --codes-per-source 40 --seed 7
