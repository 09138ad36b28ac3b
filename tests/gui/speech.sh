#!/bin/sh
# What a blind player must hear of a failure: the real program is asked for
# a result page where no web browser is set up. With a speech service (a
# real speech-dispatcher of the test's own, whose output module writes what
# it says to a file) the failure is spoken and no box opens; without one it
# comes in a message box instead.
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
[ -x /usr/bin/speech-dispatcher ] || skip "speech-dispatcher is not installed"
use_data_and_output "$data" "$out"
speechd="$out/speechd"
rm -rf "$speechd"
mkdir -p "$speechd/conf/modules" "$speechd/log"
export SPEECHD_ADDRESS="unix_socket:$speechd/speechd.sock"
start_xvfb

spoken="$speechd/spoken.txt"
cat >"$speechd/conf/speechd.conf" <<CONF
AddModule "recorder" "sd_generic" "recorder.conf"
DefaultModule recorder
AudioOutputMethod "libao"
CONF
cat >"$speechd/conf/modules/recorder.conf" <<CONF
GenericExecuteSynth "printf '%s\\\\n' \\'\$DATA\\' >> $spoken"
GenericLanguage "en" "en" "utf-8"
AddVoice "en" "MALE1" "en"
CONF
(HOME="$speechd" XDG_CACHE_HOME="$speechd/cache" XDG_RUNTIME_DIR="$speechd" \
    exec speech-dispatcher -s -t 0 -C "$speechd/conf" -S "$speechd/speechd.sock" \
    -L "$speechd/log" -P "$speechd/pid" -m /usr/lib/speech-dispatcher-modules) \
    >"$speechd/log/stderr" 2>&1 &
service=$!
i=0
until [ -S "$speechd/speechd.sock" ]; do
    i=$((i + 1)); [ $i -gt 100 ] && fail "speech-dispatcher did not start"
    sleep 0.05
done

# No application is set up for web pages: the browser cannot start.
mkdir -p "$out/share"
(cd "$data" && XDG_DATA_DIRS="$out/share" exec "$exe") 2>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
main=$win
sleep 1
xdotool windowfocus --sync "$main" 2>/dev/null || true
boxes() { xdotool search --onlyvisible --name '^DoruzorO$' 2>/dev/null | grep -vc "^$main\$" || true; }

# "NetRecord" is the third entry.
xdotool key --window "$main" Down Down space 2>/dev/null
i=0
until grep -q 'No web browser started' "$spoken" 2>/dev/null; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "the failure was not spoken"
    sleep 0.1
done
grep -q 'GameResult.asp?data=1' "$spoken" || fail "the page's address was not spoken"
sleep 0.5
[ "$(boxes)" -eq 0 ] || fail "a box opened though the failure was spoken"
kill -0 "$app" 2>/dev/null || fail "the program ended"
echo "ok:   with a speech service the failure is spoken, no box"

# Without the service: the box says it.
kill "$service"
wait "$service" 2>/dev/null || true
lines=$(wc -l <"$spoken")
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --window "$main" space 2>/dev/null
i=0
until [ "$(boxes)" -ge 1 ]; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "no box came without a speech service"
    sleep 0.1
done
[ "$(wc -l <"$spoken")" -eq "$lines" ] || fail "something was spoken without a service"
box=$(xdotool search --onlyvisible --name '^DoruzorO$' | grep -v "^$main\$" | head -1)
xdotool windowfocus --sync "$box" 2>/dev/null || true
xdotool key --window "$box" Return 2>/dev/null
i=0
until [ "$(boxes)" -eq 0 ]; do
    i=$((i + 1)); [ $i -gt 50 ] && fail "the box did not close"
    sleep 0.1
done
echo "ok:   without a speech service a box says it"

kill -TERM "$app"
wait_app_end "did not close"
echo "1 passed, 0 failed"
