#!/bin/sh
# Builds every libFuzzer target (names ending in _fuzz) with clang and runs
# each for FUZZ_SECONDS seconds (30 by default), two at a time. A target's
# corpus is seeded by a program named <target>_seeds when one exists. Exits
# non-zero when a fuzzer fails.
set -eu
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="$ROOT/build/fuzz"
SECONDS_EACH=${FUZZ_SECONDS:-30}

if ! command -v clang >/dev/null 2>&1 || ! command -v clang++ >/dev/null 2>&1; then
    echo "run-fuzzers: clang not found, fuzzing skipped"
    # Under CI a run that fuzzes nothing must not pass.
    [ "${CI:-}" = true ] && exit 1
    exit 0
fi

SAN="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDORUZORO_FUZZ=ON -DDORUZORO_BENCH=OFF \
    -DCMAKE_C_FLAGS="$SAN" -DCMAKE_CXX_FLAGS="$SAN" \
    -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null

TARGETS=$(ninja -C "$BUILD" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_fuzz\): .*/\1/p' | grep -v '^cmake_' | sort -u)
if [ -z "$TARGETS" ]; then
    echo "run-fuzzers: no fuzz targets"
    exit 0
fi
SEEDS=$(ninja -C "$BUILD" -t targets all | sed -n 's/^\([A-Za-z0-9_]*_fuzz_seeds\): .*/\1/p' | grep -v '^cmake_' | sort -u)
# shellcheck disable=SC2086
cmake --build "$BUILD" -j2 --target $TARGETS $SEEDS

# The font and type systems keep caches for the life of a process; the
# leak checker is told so, as in the asan test preset.
export LSAN_OPTIONS="suppressions=$ROOT/tests/lsan.supp:print_suppressions=0"
# Two at a time, one a core; each writes its own log, shown when it fails.
run_one() {
    t=$1
    exe=$(find "$BUILD" -type f -name "$t" -perm -u+x | head -n 1)
    [ -n "$exe" ] || { echo "run-fuzzers: $t not built"; return 1; }
    corpus="$BUILD/corpus/$t"
    mkdir -p "$corpus"
    seeder=$(find "$BUILD" -type f -name "${t}_seeds" -perm -u+x | head -n 1)
    [ -z "$seeder" ] || "$seeder" "$corpus" >"$BUILD/$t.log" 2>&1
    echo "run-fuzzers: $t for ${SECONDS_EACH}s"
    if ! (cd "$BUILD" && "$exe" -max_total_time="$SECONDS_EACH" -timeout=10 \
              -rss_limit_mb=2048 "$corpus") >>"$BUILD/$t.log" 2>&1; then
        tail -n 40 "$BUILD/$t.log"
        echo "run-fuzzers: $t FAILED"
        return 1
    fi
    tail -n 1 "$BUILD/$t.log"
}
status=0
set -- $TARGETS
while [ $# -gt 0 ]; do
    run_one "$1" &
    first=$!
    second=""
    if [ $# -gt 1 ]; then
        run_one "$2" &
        second=$!
        shift
    fi
    shift
    wait "$first" || status=1
    [ -z "$second" ] || wait "$second" || status=1
done
exit $status
