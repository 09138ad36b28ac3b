#!/bin/sh
# Builds the default and the asan presets and runs every test in both, after
# a bounded fuzzing run of each fuzz target (when clang is there); then
# builds the Debian packages and tries them on this machine (as root).
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh --test
if [ -x scripts/run-fuzzers.sh ]; then
    ./scripts/run-fuzzers.sh > build-fuzz.log 2>&1 || {
        tail -n 60 build-fuzz.log
        exit 1
    }
    grep '^run-fuzzers:' build-fuzz.log || true
fi
for preset in default asan; do
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = default ]; then
        # The end-to-end game plays for minutes, mostly waiting: beside the rest.
        ctest --preset default -R '^gui\.Ranked$' >build/default/ranked.log 2>&1 &
        ranked=$!
        ctest --preset default -E '^gui\.Ranked$'
        wait "$ranked" || { cat build/default/ranked.log; exit 1; }
        grep -E 'gui\.Ranked|tests passed' build/default/ranked.log
    else
        ctest --preset "$preset"
    fi
done
# The Windows build, its unit suites under Wine and the replays across
# systems, the zip and the installer (wine.Installer installs them).
cmake --preset windows >/dev/null
cmake --build --preset windows
./scripts/build-windows.sh
ctest --preset windows
./scripts/package-test.sh
