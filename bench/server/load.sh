#!/bin/sh
# Load on the real doruzoro-server over 127.0.0.1 with wrk: result pages only,
# submissions only, and nine pages to one submission, at 16, 64, 256 and 512
# connections. Prints requests/s and the 99th percentile latency per point.
#   bench/server/load.sh [BUILD_DIR] [SECONDS]   (defaults: build/default, 5)
# LOAD_DB: the database (default: a new SQLite file; a postgresql:// URI or a
# filled file for a big table). LOAD_DATA: the game's data folder: the server
# then re-plays replays, and the runs "verify" (every submission names a
# whole ten-stage game's replay, re-played in full) and "vmix" (nine pages to
# one such submission) are added. LOAD_RUNS: which runs (default: all).
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build/default}
SECS=${2:-5}
SERVER="$BUILD/server/doruzoro-server"
[ -x "$SERVER" ] || { echo "load: $SERVER not built" >&2; exit 1; }
command -v wrk >/dev/null 2>&1 || { echo "load: wrk not installed, skipped"; exit 0; }
CONNS=${LOAD_CONNECTIONS:-"16 64 256 512"}

TMP=$(mktemp -d)
PID=""
cleanup() {
    [ -z "$PID" ] || kill "$PID" 2>/dev/null || true
    [ -z "$PID" ] || wait "$PID" 2>/dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT INT TERM
# The open-files limit bounds the connections: raise it as far as allowed.
ulimit -n 8192 2>/dev/null || true

DB=${LOAD_DB:-$TMP/ranking.db}
RUNS=${LOAD_RUNS:-"pages submit mix"}
set --
if [ -n "${LOAD_DATA:-}" ]; then
    set -- --data "$LOAD_DATA"
    RUNS=${LOAD_RUNS:-"pages submit mix verify vmix"}
fi
"$SERVER" --port 0 --db "$DB" --behind-proxy --submit-limit 1000000000 "$@" \
    2>"$TMP/server.log" &
PID=$!
PORT=""
for _ in $(seq 100); do
    PORT=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$TMP/server.log" | head -n 1)
    [ -n "$PORT" ] && break
    sleep 0.05
done
[ -n "$PORT" ] || { echo "load: the server did not start" >&2; cat "$TMP/server.log" >&2; exit 1; }
URL="http://127.0.0.1:$PORT"
# A few records, so that the pages have rows.
for i in $(seq 20); do
    wget -q -O /dev/null "$URL/game/quibbix/GameSet.asp?aria=Japan&name=seed$i&mode=0&level=1&score=$i" \
        2>/dev/null || curl -s -o /dev/null "$URL/game/quibbix/GameSet.asp?aria=Japan&name=seed$i&mode=0&level=1&score=$i"
done

# The whole game's replay, uploaded once; each "verify" submission claims
# one point more than it reached, so it is re-played in full every time and
# never claimed.
REPLAY_ARGS=""
if [ -n "${LOAD_DATA:-}" ]; then
    score=$("$BUILD/bench/server/check_bench" --write-replay "$TMP/game.dzr")
    curl -s -o /dev/null --data-binary @"$TMP/game.dzr" "$URL/game/quibbix/Replay.asp"
    REPLAY_ARGS="$(sha256sum "$TMP/game.dzr" | cut -c1-64) $((score + 1))"
fi

printf '%-8s %6s %12s %10s %8s\n' load conns "req/s" p99 errors
for script in $RUNS; do
    for c in $CONNS; do
        threads=2
        [ "$c" -ge "$threads" ] || threads=$c
        out=$(wrk -t"$threads" -c"$c" -d"${SECS}s" --timeout 5s --latency \
                  -s "$HERE/load/$script.lua" "$URL" -- $REPLAY_ARGS 2>&1 || true)
        rps=$(echo "$out" | awk '/^Requests\/sec:/ {print $2}')
        p99=$(echo "$out" | awk '$1 == "99%" {print $2}')
        errs=$(echo "$out" | awk '/Socket errors|Non-2xx/ {s = s $0 "; "} END {print (s == "" ? "0" : "see log")}')
        printf '%-8s %6s %12s %10s %8s\n' "$script" "$c" "${rps:-?}" "${p99:-?}" "$errs"
        [ "$errs" = "0" ] || echo "$out" | grep -E 'Socket errors|Non-2xx' | sed 's/^/         /'
    done
done
