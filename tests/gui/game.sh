#!/bin/sh
# Starts the real program under Xvfb from the generated data folder, opens
# the game from the menu (Down, then Space), waits until the first stage is
# in play, raises the barrier and takes a screenshot of the whole screen.
# The window's part of it must not be blank and must show the barrier band;
# then Z is pressed again on a Cyrillic layout and must raise it again.
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
use_data_and_output "$data" "$out"
start_xvfb

(cd "$data" && exec "$exe") &
app=$!
wait_window '^DoruzorO$'
sleep 1

# "Game" is the menu's second entry; the menu acts on released keys.
xdotool windowfocus --sync "$win" 2>/dev/null || true
xdotool key Down 2>/dev/null
sleep 0.3
xdotool key space 2>/dev/null

# The stage announcement holds the program for 4 s and the intro ends 8 s
# after it began; then the first UFO flies.
sleep 10
kill -0 "$app" 2>/dev/null || { echo "the program ended"; exit 1; }
xdotool key z 2>/dev/null
sleep 0.5
shot="$out/game.png"
import -window root "$shot"

eval "$(xdotool getwindowgeometry --shell "$win")"
echo "window ${WIDTH}x${HEIGHT} at ${X},${Y}; screenshot $shot"
crop="${WIDTH}x${HEIGHT}+${X}+${Y}"
colours=$(convert "$shot" -crop "$crop" +repage -format '%k' info:)
[ "$colours" -gt 1 ] || { echo "the window is blank"; exit 1; }
# The barrier band is pink, (255, 200, 200).
barrier_pixels() {
    p=$(convert "$1" -crop "$crop" +repage -fill black +opaque 'rgb(255,200,200)' \
        -fill white -opaque 'rgb(255,200,200)' -format '%[fx:mean*w*h]' info:)
    echo "${p%%.*}"
}
pink=$(barrier_pixels "$shot")
[ "$pink" -gt 1000 ] || { echo "no barrier band in the window ($pink pink pixels)"; exit 1; }
echo "$colours colours, $pink barrier pixels"

# On a Cyrillic layout the Z key gives a Cyrillic letter; it must still
# raise the barrier once the first one is down (it lasts 3 s).
if command -v setxkbmap >/dev/null; then
    sleep 3.5
    import -window root "$out/after.png"
    [ "$(barrier_pixels "$out/after.png")" -lt 100 ] || { echo "the barrier did not go down"; exit 1; }
    setxkbmap -layout ru,us
    sleep 0.3
    xdotool key Cyrillic_ya 2>/dev/null
    sleep 0.5
    import -window root "$out/game-ru.png"
    pink=$(barrier_pixels "$out/game-ru.png")
    setxkbmap -layout us
    [ "$pink" -gt 1000 ] || { echo "Z on a Cyrillic layout raised no barrier ($pink pink pixels)"; exit 1; }
    echo "Z on a Cyrillic layout raises the barrier"
fi

kill -TERM "$app"
wait_app_end "did not close"
echo "1 passed, 0 failed"
