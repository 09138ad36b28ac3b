#!/bin/sh
# The fullest game tick and the mixer's block, on Linux and under Wine, round
# by round in one run: build/default's game_bench and sound_bench beside
# build/windows' (built by the windows preset), each system's own build.
#   bench/wine/beside.sh [ROUNDS]
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
rounds=${1:-3}
lin=$root/build/default/bench
win=$root/build/windows/bench
run=$root/tests/wine/wine-run.sh
for f in "$lin/game/game_bench" "$lin/sound/sound_bench" "$win/game/game_bench.exe" \
    "$win/sound/sound_bench.exe"; do
    [ -x "$f" ] || { echo "$0: build $f first" >&2; exit 2; }
done

# Microseconds per iteration of the named benchmark in a console report.
us() {
    tr -d '\r' | awk -v name="$1" '$1 == name || index($1, name "/") == 1 {
        v = $2; if ($3 == "ns") v /= 1000; if ($3 == "ms") v *= 1000; print v; exit }'
}

echo "fullest tick: 30 UFOs, 60 missiles, laser and barrier, 150 sounds placed;"
echo "mixer block: 256 frames of 32 moving voices (sound_bench BM_OurMixer)"
i=1
while [ "$i" -le "$rounds" ]; do
    lt=$("$lin/game/game_bench" --benchmark_filter='^BM_FullFieldTick$' 2>/dev/null | us BM_FullFieldTick)
    wt=$("$run" "$win/game/game_bench.exe" 2>/dev/null | us BM_FullFieldTick)
    lm=$("$lin/sound/sound_bench" --benchmark_filter=BM_OurMixer 2>/dev/null | us BM_OurMixer)
    wm=$("$run" "$win/sound/sound_bench.exe" 2>/dev/null | us BM_OurMixer)
    echo "$i $lt $wt $lm $wm" | awk '{
        printf "round %d: tick Linux %.1f us, Wine %.1f us (x%.2f); block Linux %.1f us, Wine %.1f us (x%.2f)\n",
            $1, $2, $3, $3 / $2, $4, $5, $5 / $4 }'
    i=$((i + 1))
done
