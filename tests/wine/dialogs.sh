#!/bin/sh
# The dialogs' tests under Wine on a private Xvfb, with a ranking server of
# the build host on 127.0.0.1 for the record that the registration dialog
# makes: a game recorded by the Windows recorder, named and placed in the
# dialog by keys, sent through WinINet and played again by the server.
#   dialogs.sh DIALOGS_TEST.exe SERVER RECORDER.exe DATA OUT
set -eu
[ $# -eq 5 ] || { echo "usage: $0 DIALOGS_TEST.exe SERVER RECORDER.exe DATA OUT" >&2; exit 2; }
tests=$1 server_bin=$2 recorder=$3 data=$4 out=$5
here=$(cd "$(dirname "$0")" && pwd)
run=$here/wine-run.sh
. "$here/../gui/xvfb.sh"
for tool in Xvfb xdpyinfo; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x "$server_bin" ] || skip "no ranking server built for the host at $server_bin"
[ -d "$data/sound" ] || skip "no generated data in $data"
# A prefix of its own, made with the display: the desktop process that the
# prefix starts first keeps the display it was started with, so a prefix
# made without one never shows a window.
DORUZORO_WINE_DIR=$out/wine
export DORUZORO_WINE_DIR
[ -d "$DORUZORO_WINE_DIR/prefix" ] && "$here/wine-env.sh" stop "$DORUZORO_WINE_DIR"
rm -rf "$out"
mkdir -p "$out"
server=""
trap '[ -n "$server" ] && kill "$server" 2>/dev/null; "$here/wine-env.sh" stop "$DORUZORO_WINE_DIR"; stop_all' EXIT
start_xvfb
DORUZORO_WINE_DISPLAY=$DISPLAY
export DORUZORO_WINE_DISPLAY
"$here/wine-env.sh" prepare "$DORUZORO_WINE_DIR" >/dev/null

"$run" "$recorder" --data "Z:$data" 20261208 "Z:$out/game.dzr" | tr -d '\r' >"$out/claims.txt"
score=$(sed -n 's/^score: //p' "$out/claims.txt")
[ -n "$score" ] || { echo "FAIL: the recorder made no game"; cat "$out/claims.txt"; exit 1; }

"$server_bin" --address 127.0.0.1 --port 0 --db "$out/ranking.db" --data "$data" \
    2>"$out/server.log" &
server=$!
i=0
until grep -q '^listening on' "$out/server.log"; do
    i=$((i + 1))
    [ $i -gt 200 ] && { echo "FAIL: the server did not start"; cat "$out/server.log"; exit 1; }
    sleep 0.05
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$out/server.log")

rc=0
# The recorder plays a normal game: level 1.
DORUZORO_RANKING_HOST=127.0.0.1:$port DORUZORO_TEST_REPLAY=Z:$out/game.dzr \
    DORUZORO_TEST_SCORE=$score DORUZORO_TEST_LEVEL=1 "$run" "$tests" >"$out/tests.txt" 2>&1 || rc=$?
tr -d '\r' <"$out/tests.txt"
exit $rc
