#!/bin/bash
# A game played with typed keys in the real program, sent through the
# registration dialog to three server instances behind nginx that share one
# PostgreSQL: the record is verified and ranked, its replay is offered on
# the result page and verifies to the same score; a hand-made record is
# stored unverified and never ranked above it.
# Usage: ranked.sh PROGRAM VERIFIER SERVER DATA SITE PGCLUSTER OUT.
# The program's ranking host is 127.0.0.1:8047, so nginx listens there.
set -u
exe=$1
verify=$2
server_bin=$3
data=$4
site=$5
pgcluster=$6
out=$7
export PATH="$PATH:/usr/sbin:/sbin"
. "$(dirname "$0")/xvfb.sh"
for tool in nginx openssl curl python3 xdotool; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done
python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 8047))' 2>/dev/null ||
    skip "127.0.0.1:8047 is taken (a ranking server of play.sh?)"
use_data_and_output "$data" "$out"

dir=$(mktemp -d)
chmod 755 "$dir"  # nginx workers and PostgreSQL run as other users when we are root
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    "$pgcluster" stop "$dir/pg" >/dev/null 2>&1
    cp "$dir"/*.log "$out/" 2>/dev/null
    rm -rf "$dir"
    stop_all
}
trap cleanup EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

uri=$("$pgcluster" start "$dir/pg")
rc=$?
[ $rc -eq 77 ] && skip "no PostgreSQL"
[ $rc -eq 0 ] || fail "PostgreSQL did not start"
ports=()
for i in 1 2 3; do
    "$server_bin" --address 127.0.0.1 --port 0 --db "$uri" --trusted-proxy 127.0.0.1 \
        --data "$data" 2>"$dir/server$i.log" &
    pids+=($!)
    for _ in $(seq 200); do
        grep -q '^listening on' "$dir/server$i.log" && break
        sleep 0.05
    done
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/server$i.log")
    [ -n "$port" ] || fail "instance $i did not start: $(cat "$dir/server$i.log")"
    ports+=("$port")
done

# The shipped site. The game's http is taken on 8047 and, as a player's
# program cannot trust this test's certificate, answered there too rather
# than redirected to https.
https=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
. "$(dirname "$0")/../server/nginx_site.sh"
nginx_site "$dir" "$site" 127.0.0.1:8047 "$https" "${ports[@]}" \
    's|return 301 https://$host$request_uri;|proxy_pass http://doruzoro_ranking;|'
nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" &
pids+=($!)
base="https://127.0.0.1:$https/game/quibbix"
for _ in $(seq 100); do
    curl -sk --max-time 5 -o /dev/null "$base/GameResult.asp?data=1" && break
    sleep 0.05
done

# ---- the game: "Game" is the menu's second entry. The laser is fired every
# 2.2 s (it recharges in 2) for half a minute, then the UFOs are let through
# until the fighters are lost; Space on the last screen then opens the
# registration dialog (pressed now and then, once the end is near).
start_xvfb
(cd "$data" && exec "$exe") 2>>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
type_into_window Down space
for _ in $(seq 14); do
    xdotool key space 2>/dev/null
    sleep 2.2
done
dialog=""
for i in $(seq 250); do
    sleep 2
    [ "$i" -gt 75 ] && [ $((i % 5)) -eq 0 ] && xdotool key space 2>/dev/null
    dialog=$(xdotool search --onlyvisible --name '^Do you register a record with a net\?$' 2>/dev/null | head -1)
    [ -n "$dialog" ] && break
done
[ -n "$dialog" ] || fail "the game did not offer its record"
win=$dialog
type_into_window ctrl+a text:"Ear Player" Return
# The reply comes in a message box over the game window.
for _ in $(seq 100); do
    [ "$(xdotool search --onlyvisible --name '^DoruzorO$' 2>/dev/null | wc -l)" -ge 2 ] && break
    sleep 0.1
done
sleep 0.5
xdotool key Return 2>/dev/null
sleep 0.5
kill -TERM "$app"
wait_app_end "the program did not close"

set -- "$XDG_DATA_HOME"/koruhaus/doruzoro/replays/*_game_*.dzr
[ -f "$1" ] || fail "no replay was saved"
score=${1##*_game_}
score=${score%.dzr}
echo "played a game of score $score"
[ "$score" -gt 0 ] || fail "the game ended without points"

# ---- what the ranking made of it
grep -h 'Replay.asp' "$dir"/server?.log | grep -q ' POST /game/quibbix/Replay.asp 200' ||
    fail "the replay was not uploaded: $(grep -h Replay "$dir"/server?.log)"
page=$(curl -sk --max-time 5 "$base/GameResult.asp?data=1")
echo "$page" >"$out/ranking.html"
python3 - "$score" "$out/ranking.html" <<'PY' || fail "not ranked as verified"
import re, sys
score, page = sys.argv[1], open(sys.argv[2]).read()
verified = page.split("Unverified records")[0]
sys.exit(0 if re.search(r"<td>1</td><td>Ear Player</td><td>[^<]*</td><td>%s</td>" % score, verified) else 1)
PY
echo "ranked first among verified records"

# A hand-made record: unverified, answered so, listed below.
reply=$(curl -s --max-time 5 "http://127.0.0.1:8047/game/quibbix/GameSet.asp?aria=Japan&name=Typed&mode=0&level=1&score=999999")
grep -q 'Registered (not verified: no replay came with it)' <<<"$reply" || fail "hand-made record answered: $reply"
sleep 2.2  # nginx keeps a page one second, counted in whole seconds
page=$(curl -sk --max-time 5 "$base/GameResult.asp?data=1")
echo "$page" >"$out/ranking2.html"
python3 - "$out/ranking2.html" <<'PY' || fail "the hand-made record is not below the verified one"
import sys
page = open(sys.argv[1]).read()
v = page.find("Ear Player"); u = page.find("Unverified records"); t = page.find("Typed")
raise SystemExit(0 if 0 <= v < u < t else 1)
PY
echo "hand-made record stored unverified, below"

# The replay offered on the page verifies to the same score.
link=$(grep -o 'Replay.asp?id=[0-9]*' <<<"$page" | head -1)
[ -n "$link" ] || fail "no replay offered on the result page"
curl -sk --max-time 5 -o "$out/downloaded.dzr" "$base/$link" || fail "download"
cmp -s "$out/downloaded.dzr" "$1" || fail "the downloaded replay is not the one played"
"$verify" --data "$data" "$out/downloaded.dzr" >"$out/verify.txt" || fail "does not verify"
grep -qx "score: $score" "$out/verify.txt" || fail "verified to another score"
echo "1 passed, 0 failed"
