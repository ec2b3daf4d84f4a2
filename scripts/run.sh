#!/usr/bin/env bash
# Installs what is missing, builds Tolbe (the program and the sample database, in the build folder
# that scripts/test.sh shares) and starts it on the bundled sample database.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
source scripts/build-config.sh
echo "run.sh: building the program in $tolbe_build/" >&2
tolbe_configure
cmake --build "$tolbe_build" -j"$(nproc)" --target tolbe sample_database
echo "run.sh: starting $tolbe_build/program/tolbe" >&2
exec "./$tolbe_build/program/tolbe" "$@"
