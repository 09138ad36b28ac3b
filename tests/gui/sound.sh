#!/bin/sh
# Listens to what the real program sends to the sound card: SDL's disk
# driver writes the output (float stereo at 48 kHz) to a file as the card
# would play it. The menu's title must come after its pause, the tune after
# it and then without a gap, on both sides, never past full scale.
set -eu
exe=$1
data=$2
out=$3
. "$(dirname "$0")/xvfb.sh"
command -v python3 >/dev/null || skip "no python3"
use_data_and_output "$data" "$out"
start_xvfb

raw="$out/card.raw"
rm -f "$raw"
(cd "$data" && SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$raw" exec "$exe") 2>"$out/stderr.txt" &
app=$!
wait_window '^DoruzorO$'
sleep 5
kill -TERM "$app"
wait_app_end "did not close"

python3 - "$raw" <<'PY'
import array, math, sys
data = array.array("f", open(sys.argv[1], "rb").read())
rate, win = 48000, 4800  # 100 ms windows
frames = len(data) // 2
def rms(ch, i):
    seg = data[2 * i * win + ch:2 * (i + 1) * win:2]
    return math.sqrt(sum(x * x for x in seg) / len(seg))
n = frames // win
levels = [max(rms(0, i), rms(1, i)) for i in range(n)]
loud = [l > 0.003 for l in levels]
print("seconds of output: %.1f" % (frames / rate))
print("levels (dBFS, 100 ms):", " ".join("%.0f" % (20 * math.log10(l + 1e-9)) for l in levels))
fail = []
if any(x != x or abs(x) > 1.0 for x in data):
    fail.append("samples past full scale or not numbers")
if True not in loud:
    fail.append("nothing was heard")
else:
    first = loud.index(True)
    # The title waits half a second; the card may start a little late.
    if not 2 <= first <= 15:
        fail.append("the title started after %.1f s" % (first / 10))
    # The tune comes 1.5 s after the title and loops from then on.
    tail = loud[first + 18:]
    if len(tail) < 10 or not all(tail):
        fail.append("the tune did not play on without a gap")
    if max(rms(0, i) for i in range(n)) < 0.003 or max(rms(1, i) for i in range(n)) < 0.003:
        fail.append("one side stayed silent")
if fail:
    print("FAIL: " + "; ".join(fail))
    sys.exit(1)
print("1 passed, 0 failed")
PY
