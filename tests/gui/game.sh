#!/bin/sh
# Starts the real program under Xvfb from the generated data folder, opens
# the game from the menu (Down, then Space), waits until the first stage is
# in play, raises the barrier and takes a screenshot of the whole screen.
# The window's part of it must not be blank and must show the barrier band.
set -eu
exe=$1
data=$2
out=$3
mkdir -p "$out"
export XDG_CONFIG_HOME="$out/config"
rm -rf "$XDG_CONFIG_HOME"

if [ ! -d "$data/image" ] || [ ! -d "$data/sound" ]; then
    echo "SKIP: no generated pictures and sounds in $data (build the data first)"
    exit 77
fi

. "$(dirname "$0")/xvfb.sh"
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
pink=$(convert "$shot" -crop "$crop" +repage -fill black +opaque 'rgb(255,200,200)' \
    -fill white -opaque 'rgb(255,200,200)' -format '%[fx:mean*w*h]' info:)
pink=${pink%%.*}
[ "$pink" -gt 1000 ] || { echo "no barrier band in the window ($pink pink pixels)"; exit 1; }
echo "$colours colours, $pink barrier pixels"

kill -TERM "$app"
wait_app_end "did not close"
echo "1 passed, 0 failed"
