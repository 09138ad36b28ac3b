#!/bin/sh
# The real program's pause. A copy of the data whose UFO hum is no sound
# file: its message box opens when the first UFO comes and takes the focus,
# which must not pause the game. Another program's window taking
# the focus pauses it (the notice is drawn over the field), coming back keeps
# it paused, and P (then the Pause key) resumes it, the field drawn again.
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
use_data_and_output "$data" "$out"
start_xvfb

data_with_broken_sounds "$data" sound/ufo1.kwv

(cd "$out/data" && exec "$exe") 2>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
main=$win
sleep 1

# Pixels of one colour in a band of the main window: $1 screenshot name,
# $2 colour, $3 top, $4 height. Sets $count.
count_in_band() {
    kill -0 "$app" 2>/dev/null || fail "the program ended"
    timeout 10 import -window "$main" "$out/$1.png" 2>/dev/null || fail "no screenshot"
    count=$(convert "$out/$1.png" -crop "732x$4+0+$3" +repage -fill black +opaque "$2" \
        -fill white -opaque "$2" -format '%[fx:round(mean*w*h)]' info:)
}
# The notice is white on a black band at 290..370; the banner "STAGE 1" is
# yellow at 200..260 during the stage's intro.
notice() { count_in_band "$1" 'rgb(255,255,255)' 290 80; }
banner() { count_in_band "$1" 'rgb(255,255,0)' 200 60; }
key() {
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool key --window "$main" "$1" 2>/dev/null
    sleep 0.5
}

key Down
key space
sleep 5
banner intro
[ "$count" -gt 200 ] || fail "the stage is not announced ($count)"
# The intro ends 8 s after the game opened: the first UFO comes, and its box.
wait_window '^ lol $'
box=$win
sleep 0.5
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key --window "$box" Return 2>/dev/null
i=0
while xdotool search --onlyvisible --name '^ lol $' >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "the box did not close"
    sleep 0.1
done
sleep 1
notice after-box
[ "$count" -lt 20 ] || fail "our own box paused the game ($count notice pixels)"
echo "ok:   our own box taking the focus does not pause the game"

xmessage -title Other "another program" &
other=$!
wait_window '^Other$'
xdotool windowfocus --sync "$win" 2>/dev/null || true
sleep 0.8
notice away
[ "$count" -gt 300 ] || fail "the game did not pause when another window took the focus ($count)"
echo "ok:   another program's window taking the focus pauses the game"

xdotool windowfocus --sync "$main" 2>/dev/null || true
sleep 0.8
notice back
[ "$count" -gt 300 ] || fail "the game went on when the focus came back"
echo "ok:   coming back keeps the game paused"

key p
notice resumed
[ "$count" -lt 20 ] || fail "P did not resume, or the field was not drawn again ($count)"
echo "ok:   P resumes and the field is drawn again"

key p
notice paused-again
[ "$count" -gt 300 ] || fail "P did not pause the game ($count)"
key Pause
notice resumed-again
[ "$count" -lt 20 ] || fail "the Pause key did not resume the game ($count)"
echo "ok:   P pauses, the Pause key resumes"

kill "$other" 2>/dev/null || true
kill -TERM "$app"
wait_app_end "did not close"
echo "1 passed, 0 failed"
