#!/bin/sh
# The same scripted games recorded on Linux and on Windows (under Wine) must
# be the same games: each system's verifier re-runs both recordings in step,
# to the same stages, score, lives, state hashes and event count.
#   cross_replay.sh LINUX_VERIFY LINUX_RECORDER WIN_VERIFY WIN_RECORDER DATA WORKDIR
set -eu
[ $# -eq 6 ] || { echo "usage: $0 LINUX_VERIFY LINUX_RECORDER WIN_VERIFY WIN_RECORDER DATA WORKDIR" >&2; exit 2; }
lverify=$1 lrecord=$2 wverify=$3 wrecord=$4 data=$5 work=$6
run=$(cd "$(dirname "$0")" && pwd)/wine-run.sh
rm -rf "$work"
mkdir -p "$work"
status=0
for seed in 20261208 7 424242; do
    d=$work/$seed
    mkdir -p "$d"
    "$lrecord" --data "$data" "$seed" "$d/linux.dzr" >"$d/linux.claims"
    "$run" "$wrecord" --data "Z:$data" "$seed" "Z:$d/windows.dzr" | tr -d '\r' >"$d/windows.claims"
    if ! cmp -s "$d/linux.claims" "$d/windows.claims"; then
        echo "seed $seed: the two systems played different games:"
        diff "$d/linux.claims" "$d/windows.claims" || true
        status=1
    fi
    for rec in linux windows; do
        "$lverify" --data "$data" "$d/$rec.dzr" >"$d/$rec.on-linux" || true
        "$run" "$wverify" --data "Z:$data" "Z:$d/$rec.dzr" | tr -d '\r' >"$d/$rec.on-windows" || true
        for where in linux windows; do
            if ! grep -qx 'result: in step' "$d/$rec.on-$where"; then
                echo "seed $seed: the $rec recording is not in step on $where:"
                cat "$d/$rec.on-$where"
                status=1
            fi
        done
    done
    if ! cmp -s "$d/linux.on-linux" "$d/windows.on-windows" ||
        ! cmp -s "$d/linux.on-linux" "$d/linux.on-windows" ||
        ! cmp -s "$d/linux.on-linux" "$d/windows.on-linux"; then
        echo "seed $seed: the verifiers disagree:"
        diff "$d/linux.on-linux" "$d/windows.on-windows" || true
        status=1
    fi
    cmp -s "$d/linux.dzr" "$d/windows.dzr" && same=" (the same bytes)" || same=""
    echo "seed $seed: $(grep -E '^(score|hash|events):' "$d/linux.on-linux" | tr '\n' ' ')$same"
done
exit $status
