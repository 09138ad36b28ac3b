#!/bin/sh
# Starts the real program under Xvfb, looks at its window, presses Escape
# and Enter (neither may close it), then asks it to close like the window
# manager would and checks that the settings were saved.
set -eu
exe=$1
out=$2
mkdir -p "$out"
export XDG_CONFIG_HOME="$out/config"
rm -rf "$XDG_CONFIG_HOME"

display=:$((90 + $$ % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY="$display"

i=0
until xdpyinfo >/dev/null 2>&1; do
    i=$((i + 1)); [ $i -gt 50 ] && { echo "Xvfb did not start"; exit 1; }
    sleep 0.1
done

(cd "$out" && exec "$exe") &
app=$!

win=""
i=0
while [ -z "$win" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "no window"; exit 1; }
    sleep 0.1
    win=$(xdotool search --onlyvisible --name '^DoruzorO$' 2>/dev/null | head -1 || true)
done

info=$(xwininfo -id "$win")
echo "$info" | grep -q 'Width: 732' || { echo "wrong width"; echo "$info"; exit 1; }
echo "$info" | grep -q 'Height: 570' || { echo "wrong height"; echo "$info"; exit 1; }
xprop -id "$win" WM_NAME | grep -q '"DoruzorO"' || { echo "wrong caption"; exit 1; }

xdotool key --window "$win" Escape Return Escape Return 2>/dev/null
sleep 0.5
kill -0 "$app" 2>/dev/null || { echo "Escape or Enter closed the window"; exit 1; }
import -window "$win" "$out/window.png" 2>/dev/null || true

# The program ends on a close request and saves the settings first.
kill -TERM "$app"
i=0
while kill -0 "$app" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 100 ] && { echo "did not close"; exit 1; }
    sleep 0.1
done
wait "$app" || { echo "program failed on close"; exit 1; }
app=""
[ -f "$XDG_CONFIG_HOME/koruhaus/doruzoro.ini" ] || { echo "settings not saved"; exit 1; }
echo "1 passed, 0 failed"
