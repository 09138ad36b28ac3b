#!/bin/sh
# Builds the default and the asan presets and runs every test in both.
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh
for preset in default asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done
