#!/bin/sh
# The real program records a game played with typed keys under Xvfb; the
# replay it saved verifies to the score in its name; --replay plays it in the
# window with its sounds until Escape; a damaged replay is refused with a
# message; --no-record leaves no file.
set -eu
exe=$1
verify=$2
data=$3
out=$4
. "$(dirname "$0")/xvfb.sh"
command -v python3 >/dev/null || skip "no python3"
use_data_and_output "$data" "$out"
start_xvfb
replays="$XDG_DATA_HOME/koruhaus/doruzoro/replays"
fail() {
    echo "FAIL: $*"
    exit 1
}

# "Game" is the menu's second entry. The first UFO flies about 10 s later;
# the laser is fired every 2.2 s (it recharges in 2) while it sweeps.
play_a_game() {
    (cd "$data" && exec "$exe" "$@") 2>>"$out/stderr.txt" &
    app=$!
    wait_window '^DoruzorO$'
    type_into_window Down space
    sleep 10
    for i in 1 2 3 4 5 6 7 8 9 10 11; do
        xdotool key space 2>/dev/null
        sleep 2.2
    done
    xdotool key Escape 2>/dev/null
    sleep 1
    kill -TERM "$app"
    wait_app_end "did not close"
}

play_a_game
set -- "$replays"/*.dzr
[ $# -eq 1 ] && [ -f "$1" ] || fail "one replay expected in $replays, found: $*"
file=$1
name=$(basename "$file")
score=${name##*_game_}
score=${score%.dzr}
echo "recorded $name"
"$verify" --data "$data" "$file" >"$out/verify.txt" || fail "the replay did not verify: $(cat "$out/verify.txt")"
grep -qx "score: $score" "$out/verify.txt" || fail "verified to another score: $(cat "$out/verify.txt")"
grep -qx "result: in step" "$out/verify.txt" || fail "not in step"
echo "verified in step to score $score"

# Played back: the window shows the game and the card hears it; Escape leaves.
raw="$out/card.raw"
rm -f "$raw"
(cd "$data" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" exec "$exe" --replay "$file") \
    2>>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
sleep 12
kill -0 "$app" 2>/dev/null || fail "the replay ended early"
import -window root "$out/replay.png"
type_into_window Escape
wait_app_end "Escape did not leave the replay"
[ "$rc" -eq 0 ] || fail "the replay ended with status $rc"
python3 - "$raw" <<'PY' || fail "the replay was not heard"
import array, math, sys
data = array.array("f", open(sys.argv[1], "rb").read())
peak = max((abs(x) for x in data), default=0.0)
print("replay heard: %.1f s, peak %.2f" % (len(data) / 2 / 48000, peak))
sys.exit(0 if 0.01 < peak <= 1.0 else 1)
PY

# A damaged replay is refused in a message box the player can read.
head -c 60 "$file" >"$out/damaged.dzr"
(cd "$data" && exec "$exe" --replay "$out/damaged.dzr") 2>"$out/refused.txt" &
app=$!
wait_window '^DoruzorO$'
type_into_window Return
wait_app_end "the refusal did not close"
[ "$rc" -eq 1 ] || fail "a damaged replay ended with status $rc"
grep -q "cannot be played: the replay is cut short" "$out/refused.txt" ||
    fail "no reason given: $(cat "$out/refused.txt")"
echo "damaged replay refused: $(cat "$out/refused.txt")"

# --no-record: the game is played and nothing new is saved.
(cd "$data" && exec "$exe" --no-record) 2>>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
type_into_window Down space
sleep 3
type_into_window Escape
sleep 0.5
kill -TERM "$app"
wait_app_end "did not close"
set -- "$replays"/*.dzr
[ $# -eq 1 ] || fail "--no-record saved a replay"
echo "1 passed, 0 failed"
