#!/bin/sh
# The real program on a copy of the data whose "Game" voice is no sound file.
# Choosing "Game" leaves the choice and then plays the voice, whose message
# box runs its own loop inside the menu's key handler while the timer ticks.
# The game must open only after the box is closed, and the program must live
# on (under AddressSanitizer a menu freed under its handler ends it).
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
use_data_and_output "$data" "$out"
start_xvfb

# A symbolic copy of the data; only the voice is replaced.
data_with_broken_sounds "$data" sound/menu/game.kwv

(cd "$out/data" && exec "$exe") 2>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
main=$win
sleep 1

# White pixels of the main window (the menu's entries), screenshot in $1;
# ends the test when the program is gone.
white_pixels() {
    kill -0 "$app" 2>/dev/null || fail "the program ended"
    timeout 10 import -window "$main" "$1" 2>/dev/null || fail "no screenshot of the window"
    whites=$(convert "$1" -fill black +opaque 'rgb(255,255,255)' -fill white \
        -opaque 'rgb(255,255,255)' -format '%[fx:round(mean*w*h)]' info:)
}
white_pixels "$out/menu.png"
menu_whites=$whites

# Presses a key in the main window and waits for the sound reader's box.
press_for_box() {
    xdotool windowfocus --sync "$main" 2>/dev/null || true
    xdotool key --window "$main" "$1" 2>/dev/null
    wait_window '^ lol $'
    box=$win
}
close_box() {
    xdotool windowfocus --sync "$box" 2>/dev/null || true
    xdotool key --window "$box" Return 2>/dev/null
    i=0
    while xdotool search --onlyvisible --name '^ lol $' >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 50 ] && fail "the box did not close"
        sleep 0.1
    done
}

press_for_box Down
close_box
press_for_box space
# Twenty ticks pass while the box waits.
sleep 2
white_pixels "$out/during-box.png"
[ "$whites" -gt $((menu_whites / 2)) ] || fail "the menu was replaced while its box was open"
close_box

# Now the choice is acted on: the game opens.
i=0
while :; do
    sleep 0.5
    white_pixels "$out/game.png"
    [ "$whites" -lt $((menu_whites / 4)) ] && break
    i=$((i + 1)); [ $i -gt 30 ] && fail "the game did not open after the box closed"
done
kill -TERM "$app"
wait_app_end "did not close"
[ "$rc" -eq 0 ] || fail "the program failed (exit $rc)"
! grep -q 'AddressSanitizer' "$out/stderr.txt" || fail "memory error"
echo "1 passed, 0 failed"
