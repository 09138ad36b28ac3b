#!/bin/sh
# Load on the real doruzoro-server over 127.0.0.1 with wrk: result pages only,
# submissions only, and nine pages to one submission, at 16, 64, 256 and 512
# connections. Prints requests/s and the 99th percentile latency per point.
#   bench/server/load.sh [BUILD_DIR] [SECONDS]   (defaults: build/default, 5)
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

"$SERVER" --port 0 --db "$TMP/ranking.db" --behind-proxy --submit-limit 1000000000 \
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

printf '%-8s %6s %12s %10s %8s\n' load conns "req/s" p99 errors
for script in pages submit mix; do
    for c in $CONNS; do
        threads=2
        [ "$c" -ge "$threads" ] || threads=$c
        out=$(wrk -t"$threads" -c"$c" -d"${SECS}s" --timeout 5s --latency \
                  -s "$HERE/load/$script.lua" "$URL" 2>&1 || true)
        rps=$(echo "$out" | awk '/^Requests\/sec:/ {print $2}')
        p99=$(echo "$out" | awk '$1 == "99%" {print $2}')
        errs=$(echo "$out" | awk '/Socket errors|Non-2xx/ {s = s $0 "; "} END {print (s == "" ? "0" : "see log")}')
        printf '%-8s %6s %12s %10s %8s\n' "$script" "$c" "${rps:-?}" "${p99:-?}" "$errs"
        [ "$errs" = "0" ] || echo "$out" | grep -E 'Socket errors|Non-2xx' | sed 's/^/         /'
    done
done
