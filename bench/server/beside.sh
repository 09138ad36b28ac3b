#!/bin/sh
# The real server under wrk (load-engines.sh: a million records, SQLite and
# PostgreSQL) from this tree beside another revision, in one run on the same
# machine: REV (by default the last one whose loops waited on the database
# and whose PostgreSQL batches were counted row by row) is exported into
# build/bench-REV and built there as the default preset builds; then both
# servers take the same load in turn, two rounds. Each side keeps its own
# filled tables in its build folder.
#   bench/server/beside.sh [REV] [SECONDS]
# LOAD_RUNS and LOAD_CONNECTIONS as for load.sh (defaults: "submit mix",
# "64 256"); LOAD_DATA (the game's data folder) adds the runs with replays
# re-played.
set -eu
cd "$(dirname "$0")/../.."
ROOT=$(pwd)
REV=${1:-52866e7}
SECS=${2:-5}
OLD="$ROOT/build/bench-$REV"
NEW="$ROOT/build/default"
TARGETS="doruzoro-server server_bench check_bench"

if [ ! -x "$OLD/build/server/doruzoro-server" ] || [ ! -x "$OLD/build/bench/server/check_bench" ]; then
    rm -rf "$OLD/src"
    mkdir -p "$OLD/src"
    git archive "$REV" | tar -x -C "$OLD/src"
    cmake -S "$OLD/src" -B "$OLD/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DDORUZORO_TESTS=OFF >/dev/null
    cmake --build "$OLD/build" --target $TARGETS
fi
cmake --build --preset default --target $TARGETS

export LOAD_RUNS="${LOAD_RUNS:-submit mix}"
export LOAD_CONNECTIONS="${LOAD_CONNECTIONS:-64 256}"
for round in 1 2; do
    for side in "$REV:$OLD/build" "this tree:$NEW"; do
        echo "=== round $round, ${side%%:*}"
        sh "$ROOT/bench/server/load-engines.sh" "${side#*:}" "$SECS"
    done
done
