#!/bin/sh
# Runs a Windows program of the build under Wine, in the build's prefix
# (made on first use): the emulator of every cross-built test.
#   wine-run.sh PROGRAM.exe [ARGS...]
# The prefix lives in DORUZORO_WINE_DIR, else in "wine" beside the
# CMakeCache.txt of the build the program belongs to.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
[ $# -ge 1 ] || { echo "usage: $0 PROGRAM.exe [ARGS...]" >&2; exit 2; }

dir=${DORUZORO_WINE_DIR:-}
if [ -z "$dir" ]; then
    d=$(cd "$(dirname "$1")" && pwd)
    while [ "$d" != / ] && [ ! -f "$d/CMakeCache.txt" ]; do
        d=$(dirname "$d")
    done
    [ -f "$d/CMakeCache.txt" ] || { echo "$0: $1 is in no build folder" >&2; exit 2; }
    dir=$d/wine
fi
"$here/wine-env.sh" ensure "$dir"
WINE_ENV_LIB=1
. "$here/wine-env.sh"
wine_env_vars "$dir"
exec "$WINELOADER" "$@"
