#!/bin/sh
# A throw-away PostgreSQL 15 for shell tests, on a free loopback port.
#   pgcluster.sh start DIR   creates DIR (must not exist), starts the server,
#                            creates the database "doruzoro", prints its URI
#   pgcluster.sh stop DIR    stops the server and removes DIR
#   pgcluster.sh kill DIR    kills the server's processes at once (-9), as a crash
#   pgcluster.sh restart DIR starts it again on the same port
# Exits 77 (skipped) when PostgreSQL 15 is not installed; 1 under CI, where
# a test that needs it must fail without it.
set -eu
BIN=/usr/lib/postgresql/15/bin
. "$(dirname "$0")/skip.sh"
[ -x "$BIN/initdb" ] || skip "PostgreSQL 15 is not installed" >&2
cmd=${1:?start, stop, kill or restart}
dir=${2:?folder}

as_pg() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

pg_start() {
    port=$(cat "$dir/port")
    as_pg "$BIN/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
        -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=on -c max_connections=200" \
        start >>"$dir/log" 2>&1
}

case $cmd in
start)
    mkdir -m 700 "$dir"
    [ "$(id -u)" = 0 ] && chown postgres: "$dir"
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])' >"$dir/port"
    as_pg "$BIN/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C --no-sync >"$dir/log" 2>&1
    pg_start
    as_pg "$BIN/createdb" -h 127.0.0.1 -p "$(cat "$dir/port")" -U postgres doruzoro >>"$dir/log" 2>&1
    echo "postgresql://postgres@127.0.0.1:$(cat "$dir/port")/doruzoro"
    ;;
stop)
    as_pg "$BIN/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
    ;;
kill)
    pid=$(head -n 1 "$dir/data/postmaster.pid")
    kids=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null || true)
    kill -9 "$pid" $kids 2>/dev/null || true
    for _ in $(seq 100); do
        grep -q '^State:.*Z' "/proc/$pid/status" 2>/dev/null && break
        [ -e "/proc/$pid" ] || break
        sleep 0.05
    done
    # As after a crash of the machine: the dead server's pid file names no
    # server (here a zombie may keep its number where nothing reaps it).
    rm -f "$dir/data/postmaster.pid" "$dir"/.s.PGSQL.*
    ;;
restart)
    pg_start
    ;;
*)
    echo "unknown command $cmd" >&2
    exit 2
    ;;
esac
