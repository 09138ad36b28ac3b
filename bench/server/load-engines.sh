#!/bin/sh
# The load of load.sh on a ranking of a million records (scores spread over
# 0..1,000,000), SQLite and PostgreSQL side by side in one run. The tables
# are those server_bench fills and keeps in BUILD_DIR/bench/server/bench-data
# (it fills them when they are missing); the SQLite file is copied first, and
# the PostgreSQL cluster keeps the run's records. PG_SETTINGS: the database
# server's settings (-c name=value ...).
#   bench/server/load-engines.sh [BUILD_DIR] [SECONDS]
# With LOAD_DATA set (the game's data folder), load.sh adds its runs with
# replays re-played in the path.
set -eu
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
BUILD=${1:-$ROOT/build/default}
SECS=${2:-5}
DATA="$BUILD/bench/server/bench-data"
PG=/usr/lib/postgresql/15/bin
"$BUILD/bench/server/server_bench" --benchmark_filter='RankOf/.*/1M' >/dev/null
TMP=$(mktemp -d)
chmod 755 "$TMP"
cleanup() {
    [ -f "$TMP/pg.started" ] && runuser -u postgres -- "$PG/pg_ctl" -D "$DATA/pg-1000000/data" \
        -m fast -w stop >/dev/null 2>&1 || true
    rm -rf "$TMP"
}
trap cleanup EXIT INT TERM

echo "== SQLite, a million records"
cp "$DATA/sqlite-1000000.db" "$TMP/ranking.db"
LOAD_DB="$TMP/ranking.db" sh "$HERE/load.sh" "$BUILD" "$SECS"

# As server/deploy/README.md advises an operator: the tables and indexes of a
# million records (about 400 MB) held in the server's own buffers, not read
# again from the system's cache by every statement.
PG_SETTINGS=${PG_SETTINGS:-"-c shared_buffers=1GB"}
echo "== PostgreSQL, a million records ($PG_SETTINGS)"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
mkdir "$TMP/pg"
chown postgres: "$TMP/pg"
runuser -u postgres -- "$PG/pg_ctl" -D "$DATA/pg-1000000/data" -l "$TMP/pg/log" -w \
    -o "-p $port -k $TMP/pg -c listen_addresses=127.0.0.1 -c max_connections=200 $PG_SETTINGS" \
    start >/dev/null
touch "$TMP/pg.started"
LOAD_DB="postgresql://postgres@127.0.0.1:$port/doruzoro" sh "$HERE/load.sh" "$BUILD" "$SECS"
