#!/bin/sh
# Starts the real program under Xvfb, looks at its window, presses Escape
# and Enter (neither may close it), then asks it to close like the window
# manager would and checks that the settings were saved.
set -eu
exe=$1
out=$2
mkdir -p "$out"
export XDG_CONFIG_HOME="$out/config"
export XDG_DATA_HOME="$out/data"
rm -rf "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"

. "$(dirname "$0")/xvfb.sh"
start_xvfb

(cd "$out" && exec "$exe") &
app=$!
wait_window '^DoruzorO$'

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
wait_app_end "did not close"
[ "$rc" -eq 0 ] || { echo "program failed on close"; exit 1; }
[ -f "$XDG_CONFIG_HOME/koruhaus/doruzoro.ini" ] || { echo "settings not saved"; exit 1; }
echo "1 passed, 0 failed"
