#!/bin/sh
# Starts the real program under Xvfb from the generated data folder and
# drives the menu with key presses sent to its window: the yellow entry must
# follow Down and Up and stop at both ends, "Game" must open the game scene,
# and "End" must end the program with the settings saved.
set -eu
exe=$1
data=$2
out=$3
mkdir -p "$out"
export XDG_CONFIG_HOME="$out/config"

if [ ! -d "$data/image" ] || [ ! -d "$data/sound" ]; then
    echo "SKIP: no generated pictures and sounds in $data (build the data first)"
    exit 77
fi

display=:$((290 + $$ % 100))
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

fail() {
    echo "FAIL: $*"
    exit 1
}

start_program() {
    rm -rf "$XDG_CONFIG_HOME"
    (cd "$data" && exec "$exe") &
    app=$!
    win=""
    i=0
    while [ -z "$win" ]; do
        i=$((i + 1)); [ $i -gt 100 ] && fail "no window"
        sleep 0.1
        win=$(xdotool search --onlyvisible --name '^DoruzorO$' 2>/dev/null | head -1 || true)
    done
    # The title is spoken after a half-second pause; the menu is drawn then.
    sleep 1
    xdotool windowfocus --sync "$win" 2>/dev/null || true
}

# Prints the top edge of the yellow text in the window, or "none".
shot=0
yellow_top() {
    shot=$((shot + 1))
    file="$out/menu-$shot.png"
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

wait_end() {
    i=0
    while kill -0 "$app" 2>/dev/null; do
        i=$((i + 1)); [ $i -gt 50 ] && fail "$1"
        sleep 0.1
    done
    wait "$app" || fail "the program failed on ending"
    app=""
}

# --- The cursor ---
start_program
first=$(yellow_top)
[ "$first" != none ] || fail "no yellow entry in the menu"
whites=$(white_pixels "$out/menu-1.png")
[ "$whites" -gt 2000 ] || fail "the other entries are not drawn ($whites white pixels)"
echo "menu drawn: yellow entry at y=$first, $whites white pixels; screenshot $out/menu-1.png"

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
wait_end "End did not end the program"
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
wait_end "did not close"
echo "1 passed, 0 failed"
