#!/usr/bin/env bash
# Installs what is missing, builds Tolbe and starts it on the bundled sample database.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOLBE_BUILD_TESTS=OFF -DTOLBE_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
exec ./build/program/tolbe "$@"
