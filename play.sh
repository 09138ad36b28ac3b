#!/bin/sh
# Installs what is missing, builds, makes the game data and starts the game
# from the data folder of the build.
set -eu
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
root=$PWD
data="$root/build/default/data"
server_pid=""
if [ -x build/default/server/doruzoro-server ]; then
    build/default/server/doruzoro-server --address 127.0.0.1 --port 8047 \
        --db "$PWD/build/default/ranking.db" --data "$data" 2>>build/default/server.log &
    server_pid=$!
fi
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true' EXIT INT TERM
cd "$data"
"$root/build/default/app/doruzoro"
