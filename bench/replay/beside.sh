#!/bin/sh
# The replay and check benchmarks of this tree beside those of another
# revision, in one run on the same machine: REV (by default the last one
# whose re-run still built sound players and looked for sound files) is
# exported into build/bench-REV and built there as the default preset
# builds; then each benchmark runs from both programs in turn, three rounds.
#   bench/replay/beside.sh [REV] [FILTER]
set -eu
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
REV=${1:-db9a4d5}
FILTER=${2:-BM_VerifyFullGame|BM_ReadFullGame|BM_VerifyReplayAlone|BM_CheckNow|BM_CheckQueued}
OLD="$ROOT/build/bench-$REV"
NEW="$ROOT/build/default"

if [ ! -x "$OLD/build/bench/server/check_bench" ]; then
    rm -rf "$OLD/src"
    mkdir -p "$OLD/src"
    git archive "$REV" | tar -x -C "$OLD/src"
    cmake -S "$OLD/src" -B "$OLD/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DDORUZORO_TESTS=OFF >/dev/null
    cmake --build "$OLD/build" --target replay_bench check_bench
fi
cmake --build --preset default --target replay_bench check_bench

for round in 1 2 3; do
    for bench in replay/replay_bench server/check_bench; do
        for side in "$REV:$OLD/build" "this tree:$NEW"; do
            echo "== round $round, ${side%%:*}: $bench"
            "${side#*:}/bench/$bench" --benchmark_filter="$FILTER" 2>/dev/null |
                grep '^BM_' || true
        done
    done
done
