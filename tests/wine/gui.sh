#!/bin/sh
# The real Windows program under Wine on a private Xvfb, with a private
# PulseAudio whose null sink is recorded:
# - the window shows at the game's client size, captioned, with the close box
#   alone, in the task bar, with its icon, DPI aware, and draws the menu;
# - the menu speaks (the sink's recording is not silent);
# - a game typed with xdotool is recorded, and its replay verifies with the
#   Linux verifier to the score the program gave it;
# - the settings land in the registry when the menu's End is chosen, and
#   come back on the next start;
# - at a 150 % display scale the client area keeps its 732x570 pixels.
# Before all that, window_test.exe checks the window, the toolkit's loop and
# the question box from inside, on the same display.
#   gui.sh PROGRAM.exe WINDOW_PROBE.exe WINDOW_TEST.exe LINUX_VERIFY DATA OUT
set -eu
exe=$1
probe=$2
window_test=$3
verify=$4
data=$5
out=$6
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../gui/xvfb.sh"

for tool in Xvfb xdotool xprop wine wineserver pulseaudio parec sox import convert; do
    command -v "$tool" >/dev/null || skip "no $tool"
done
[ -x "$verify" ] || skip "no Linux verifier at $verify (the host tools are built with the windows preset)"
[ -d "$data/image" ] && [ -d "$data/sound" ] || skip "no generated data in $data"
rm -rf "$out"
mkdir -p "$out"
start_xvfb

# A prefix of the test's own: its desktop process must start on this display.
wine_dir=$out/wine
export DORUZORO_WINE_DISPLAY=$DISPLAY DORUZORO_WINE_DIR=$wine_dir
run="$here/wine-run.sh"
env_sh="$here/wine-env.sh"
recorder=""
stop_test() {
    [ -n "$recorder" ] && kill "$recorder" 2>/dev/null || true
    "$env_sh" stop "$wine_dir" 2>/dev/null || true
    "$env_sh" pulse-stop "$wine_dir" 2>/dev/null || true
    stop_all
}
trap stop_test EXIT
"$env_sh" prepare "$wine_dir" >"$out/prepare.txt"
sink=$("$env_sh" pulse "$wine_dir")
pulse="unix:$wine_dir/pulse/native"
WINE_ENV_LIB=1
. "$env_sh"
wine_env_vars "$wine_dir"

# ---- the window's parts, from inside ----
"$run" "$window_test" >"$out/window_test.txt" 2>&1 ||
    fail "window_test: $(tr -d '\r' <"$out/window_test.txt" | grep -E 'Failure|FAILED|Expected|Which is|SKIP|rror' | head -20)"
tr -d '\r' <"$out/window_test.txt" | grep -E '^\[  PASSED|tests ran' || true

reg_key='HKCU\Software\koruhaus\doruzoro'
reg_value() {
    "$WINELOADER" reg query "$reg_key" /v "$1" 2>/dev/null | tr -d '\r' |
        awk -v name="$1" '$1 == name { print $3 }'
}

start_program() {
    (cd "$data" && exec "$run" "$exe") >>"$out/stderr.txt" 2>&1 &
    app=$!
    # Wine takes a while to start a program the first time.
    win=""
    i=0
    while [ -z "$win" ]; do
        i=$((i + 1))
        [ $i -gt 300 ] && fail "no window named DoruzorO"
        sleep 0.1
        win=$(xdotool search --onlyvisible --name '^DoruzorO$' 2>/dev/null | head -1 || true)
    done
}

# The menu's End is its seventh entry; the cursor stops at the last one.
end_from_menu() {
    type_into_window Down Down Down Down Down Down space
    i=0
    while kill -0 "$app" 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 200 ] && fail "End did not close the program"
        sleep 0.1
    done
    wait "$app" || true
    app=""
}

# Settings the player had before: they must survive the run unchanged.
"$WINELOADER" reg add "$reg_key" /v name /t REG_SZ /d Tester /f >/dev/null 2>&1
"$WINELOADER" reg add "$reg_key" /v aria /t REG_SZ /d Japan /f >/dev/null 2>&1

PULSE_SERVER=$pulse parec -d "$sink" --raw --format=s16le --rate=44100 --channels=2 \
    >"$out/menu.raw" 2>"$out/parec.txt" &
recorder=$!
start_program
sleep 4
kill "$recorder" 2>/dev/null || true
wait "$recorder" 2>/dev/null || true
recorder=""

# ---- the window ----
"$run" "$probe" DoruzorO | tr -d '\r' >"$out/probe.txt" || fail "the probe found no window: $(cat "$out/probe.txt")"
cat "$out/probe.txt"
expect() {
    grep -qx "$1" "$out/probe.txt" || fail "the window is not as it should be: wanted \"$1\""
}
expect "client: 732x570"
expect "close box: yes"
expect "minimise box: no"
expect "maximise box: no"
expect "resizable: no"
expect "task bar: yes"
# 0 is unaware (stretched by the system); -1 a system without the call.
grep -qxE "dpi awareness: (-1|1|2)" "$out/probe.txt" || fail "the program is not DPI aware"
eval "$(xdotool getwindowgeometry --shell "$win")"
outer=$(sed -n 's/^window: //p' "$out/probe.txt")
[ "${WIDTH}x${HEIGHT}" = "$outer" ] ||
    fail "the X window is ${WIDTH}x${HEIGHT}, the system's window $outer"
echo "X window ${WIDTH}x${HEIGHT} at $X,$Y"
# The icon as the desktop gets it, in the sizes the program has.
icons=$(xprop -id "$win" _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\n' ' ')
case $icons in
    *"Icon (16 x 16)"*"Icon (32 x 32)"* | *"Icon (32 x 32)"*"Icon (16 x 16)"*) echo "icons: $icons" ;;
    *) fail "the window has not the program's icon: $icons" ;;
esac
origin=$(sed -n 's/^client origin: //p' "$out/probe.txt")
import -window root "$out/menu.png"
colours=$(convert "$out/menu.png" -crop "732x570+${origin%,*}+${origin#*,}" +repage -format '%k' info:)
[ "$colours" -gt 1 ] || fail "the client area is blank"
# The menu's entries are white and its cursor yellow on black.
yellow=$(convert "$out/menu.png" -crop "732x570+${origin%,*}+${origin#*,}" +repage \
    -fill black +opaque yellow -fill white -opaque yellow -format '%[fx:int(mean*w*h)]' info:)
[ "$yellow" -gt 500 ] || fail "no menu cursor in the client area ($yellow yellow pixels)"
echo "client area: $colours colours, $yellow pixels of the cursor"

# ---- the menu speaks ----
stats=$(sox -t raw -r 44100 -e signed -b 16 -c 2 "$out/menu.raw" -n stat 2>&1) ||
    fail "sox could not read the recording: $stats"
length=$(echo "$stats" | awk '/^Length/ { print $3 }')
rms=$(echo "$stats" | awk '/^RMS +amplitude/ { print $3 }')
echo "menu recorded: $length s, RMS $rms"
awk -v r="$rms" 'BEGIN { exit !(r > 0.003) }' || fail "the menu was silent (RMS $rms)"

# ---- a game, recorded and verified ----
# Two steps down of the volume (PageDown), kept at once.
type_into_window Next Next
# "Game" is the menu's second entry. The first UFO flies about 10 s later;
# the laser is fired every 2.2 s while it sweeps.
type_into_window Down space
sleep 10
kill -0 "$app" 2>/dev/null || fail "the program ended in the game"
for i in 1 2 3 4 5 6 7 8 9 10 11; do
    xdotool key space
    sleep 2.2
done
xdotool key Escape
sleep 1.5
end_from_menu

replays=$(find "$WINEPREFIX/drive_c/users" -path '*/koruhaus/doruzoro/replays/*.dzr' 2>/dev/null)
[ "$(echo "$replays" | grep -c .)" -eq 1 ] || fail "one replay expected, found: $replays"
name=$(basename "$replays")
score=${name##*_game_}
score=${score%.dzr}
"$verify" --data "$data" "$replays" >"$out/verify.txt" ||
    fail "the replay did not verify on Linux: $(cat "$out/verify.txt")"
grep -qx "result: in step" "$out/verify.txt" || fail "not in step: $(cat "$out/verify.txt")"
grep -qx "score: $score" "$out/verify.txt" || fail "verified to another score than $score: $(cat "$out/verify.txt")"
echo "recorded $name; the Linux verifier re-ran it in step to score $score"

# ---- the settings ----
[ "$(reg_value volume)" = 8 ] || fail "volume in the registry: $(reg_value volume), not 8"
[ "$(reg_value name)" = Tester ] && [ "$(reg_value aria)" = Japan ] ||
    fail "name and area not kept: $(reg_value name) / $(reg_value aria)"
# Started again, one step down more: 7 only if 8 came back. Escape and Alt
# (the window's menu elsewhere) leave the window as it is.
start_program
sleep 2
type_into_window Next Escape Alt_L F10
sleep 1
kill -0 "$app" 2>/dev/null || fail "Escape or Alt closed the window"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "${WIDTH}x${HEIGHT}" = "$outer" ] || fail "the window changed to ${WIDTH}x${HEIGHT}"
end_from_menu
[ "$(reg_value volume)" = 7 ] || fail "the volume did not come back: $(reg_value volume), not 7"
[ "$(reg_value name)" = Tester ] || fail "the name did not come back"
echo "settings kept in $reg_key and read at the next start"

# ---- at 150 % ----
# The frame follows the system's scale and the picture keeps its pixels:
# the program is DPI aware, so the system neither stretches it nor changes
# the client size that replays record.
"$WINELOADER" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
"$env_sh" stop "$wine_dir"
start_program
sleep 2
"$run" "$probe" DoruzorO | tr -d '\r' >"$out/probe-144.txt" || fail "the probe found no window at 144 dpi"
grep -qx "client: 732x570" "$out/probe-144.txt" ||
    fail "at 144 dpi the client area is $(sed -n 's/^client: //p' "$out/probe-144.txt")"
outer144=$(sed -n 's/^window: //p' "$out/probe-144.txt")
[ "$outer144" != "$outer" ] || fail "the frame did not follow the 144 dpi setting"
eval "$(xdotool getwindowgeometry --shell "$win")"
[ "${WIDTH}x${HEIGHT}" = "$outer144" ] ||
    fail "at 144 dpi the X window is ${WIDTH}x${HEIGHT}, the system's window $outer144: stretched"
echo "at 144 dpi: window $outer144, client 732x570 in the screen's own pixels"
end_from_menu
echo "1 passed, 0 failed"
