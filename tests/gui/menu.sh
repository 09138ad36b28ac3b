#!/bin/sh
# Starts the real program under Xvfb from the generated data folder and
# drives the menu with key presses sent to its window: the yellow entry must
# follow Down and Up and stop at both ends, "Game" must open the game scene,
# and "End" must end the program with the settings saved.
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
use_data_and_output "$data" "$out"
start_xvfb

fail() {
    echo "FAIL: $*"
    exit 1
}

start_program() {
    rm -rf "$XDG_CONFIG_HOME"
    (cd "$data" && exec "$exe") &
    app=$!
    wait_window '^DoruzorO$'
    # The title is spoken after a half-second pause; the menu is drawn then.
    sleep 1
    xdotool windowfocus --sync "$win" 2>/dev/null || true
}

# Prints the top edge of the yellow text in the window, or "none"; the
# screenshot stays as menu.png.
yellow_top() {
    file="$out/menu.png"
    import -window "$win" "$file" 2>/dev/null
    # Yellow becomes white on black; the trimmed box then holds its bounds.
    box=$(convert "$file" -fill black +opaque 'rgb(255,255,0)' -fill white -opaque 'rgb(255,255,0)' \
        -format '%@' info: 2>/dev/null)
    case "$box" in
        0x0*|"") echo none ;;
        *) echo "$box" | sed 's/.*+//' ;;
    esac
}

white_pixels() {
    convert "$1" -fill black +opaque 'rgb(255,255,255)' -fill white -opaque 'rgb(255,255,255)' \
        -format '%[fx:round(mean*w*h)]' info:
}

press() {
    xdotool key --window "$win" "$@" 2>/dev/null
    sleep 0.4
}

# --- The cursor ---
start_program
first=$(yellow_top)
[ "$first" != none ] || fail "no yellow entry in the menu"
cp "$out/menu.png" "$out/menu-first.png"
whites=$(white_pixels "$out/menu-first.png")
[ "$whites" -gt 2000 ] || fail "the other entries are not drawn ($whites white pixels)"
echo "menu drawn: yellow entry at y=$first, $whites white pixels; screenshot $out/menu-first.png"

press Up
[ "$(yellow_top)" = "$first" ] || fail "Up on the first entry moved the cursor"
press Down
second=$(yellow_top)
[ "$second" != none ] && [ "$second" -gt "$first" ] || fail "Down did not move the cursor down ($first -> $second)"
press Up
[ "$(yellow_top)" = "$first" ] || fail "Up did not bring the cursor back"

# Seven entries: each Down moves the cursor further down until "End",
# and there it stays.
prev=$first
for n in 1 2 3 4 5 6; do
    press Down
    now=$(yellow_top)
    [ "$now" != none ] && [ "$now" -gt "$prev" ] || fail "Down number $n did not move the cursor ($prev -> $now)"
    prev=$now
done
press Down Down
[ "$(yellow_top)" = "$prev" ] || fail "the cursor did not stop on the last entry"
echo "the cursor moves and stops at both ends"

# --- "End" ---
press space
wait_app_end "End did not end the program"
[ "$rc" -eq 0 ] || fail "the program failed on ending"
[ -f "$XDG_CONFIG_HOME/koruhaus/doruzoro.ini" ] || fail "settings not saved on End"
echo "End ends the program with the settings saved"

# --- "Game" ---
start_program
press Down
press space
# The stage announcement holds the program for seconds before it repaints.
file="$out/game-open.png"
i=0
while :; do
    kill -0 "$app" 2>/dev/null || fail "the program ended instead of opening the game"
    import -window "$win" "$file" 2>/dev/null
    after=$(white_pixels "$file")
    [ "$after" -lt $((whites / 4)) ] && break
    i=$((i + 1)); [ $i -gt 30 ] && fail "the menu is still shown after choosing Game ($after white pixels)"
    sleep 0.5
done
echo "Game opens the game scene"
kill -TERM "$app"
wait_app_end "did not close"
echo "1 passed, 0 failed"
