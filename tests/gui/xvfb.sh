# Sourced by the GUI tests: starts a private Xvfb on a free display, points
# DISPLAY at it and stops it (and the program in $app, if any) on exit.
. "$(dirname "$0")/../support/skip.sh"
app=""
xvfb=""
stop_all() {
    [ -n "$app" ] && kill "$app" 2>/dev/null || true
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null || true
}
trap stop_all EXIT

# For the tests of the real program: skips (fails under CI) without the
# generated data in $1, then makes the output folder $2 with fresh settings.
use_data_and_output() {
    if [ ! -d "$1/image" ] || [ ! -d "$1/sound" ]; then
        skip "no generated pictures and sounds in $1 (build the data first)"
    fi
    mkdir -p "$2"
    export XDG_CONFIG_HOME="$2/config"
    export XDG_DATA_HOME="$2/data"
    rm -rf "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
}

# Ends a test of the real program, with the start of its standard error.
fail() {
    echo "FAIL: $*"
    [ -s "$out/stderr.txt" ] && head -n 30 "$out/stderr.txt"
    exit 1
}

# A symbolic copy of the data folder $1 in $out/data, in which each sound
# named after it (a path below the folder) is no sound file.
data_with_broken_sounds() {
    rm -rf "$out/data"
    cp -rs "$(cd "$1" && pwd)" "$out/data"
    shift
    for name; do
        rm "$out/data/$name"
        printf 'ID3 no wave at all' >"$out/data/$name"
    done
}

start_xvfb() {
    # What the program says through the desktop's speech service goes to one
    # of the test's own, or nowhere: never to the session's.
    [ -n "${SPEECHD_ADDRESS:-}" ] || export SPEECHD_ADDRESS="unix_socket:$out/no-speech.sock"
    fifo="$out/.displayfd"
    rm -f "$fifo"
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    xvfb=$!
    read -r number <"$fifo" || { echo "Xvfb did not start"; exit 1; }
    rm -f "$fifo"
    export DISPLAY=":$number"
    i=0
    until xdpyinfo >/dev/null 2>&1; do
        i=$((i + 1)); [ $i -gt 50 ] && { echo "Xvfb did not answer"; exit 1; }
        sleep 0.1
    done
}

# Waits for a visible window whose name matches the pattern; sets $win.
# Half a minute: a program under the sanitizers on a busy machine is slow
# to show its first window.
wait_window() {
    win=""
    i=0
    while [ -z "$win" ]; do
        i=$((i + 1)); [ $i -gt 300 ] && { echo "no window named $1"; exit 1; }
        sleep 0.1
        win=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1 || true)
    done
}

# Waits up to five seconds for the program in $app to end; sets $rc.
wait_app_end() {
    i=0
    while kill -0 "$app" 2>/dev/null; do
        i=$((i + 1)); [ $i -gt 50 ] && { echo "$1"; exit 1; }
        sleep 0.1
    done
    rc=0
    wait "$app" || rc=$?
    app=""
}

# Focuses $win and sends each argument: "text:..." is typed, anything else
# is a key name for xdotool.
type_into_window() {
    sleep 0.3
    xdotool windowfocus --sync "$win" 2>/dev/null || true
    for key in "$@"; do
        case $key in
            text:*) xdotool type --delay 20 "${key#text:}" ;;
            *) xdotool key "$key" ;;
        esac
        sleep 0.15
    done
}
