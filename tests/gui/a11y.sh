#!/bin/sh
# Runs one case of a11y.py on a private accessibility bus under Xvfb: the
# real program or dialog registers with the bus as it would for Orca.
# Usage: a11y.sh CASE ARGS... OUT (see a11y.py). Skipped without the tools
# (a failure under CI).
set -eu
for arg; do out=$arg; done
py=/usr/bin/python3
. "$(dirname "$0")/../support/skip.sh"
command -v dbus-run-session >/dev/null || skip "no dbus-run-session"
command -v xdotool >/dev/null || skip "no xdotool"
command -v xprop >/dev/null || skip "no xprop (x11-utils)"
"$py" -c 'import pyatspi' 2>/dev/null || skip "no python3-pyatspi"
[ -e /usr/libexec/at-spi-bus-launcher ] || skip "no at-spi2-core"
if [ "$1" = game ] || [ "$1" = announce ] || [ "$1" = unsent ]; then
    . "$(dirname "$0")/xvfb.sh"
    use_data_and_output "$3" "$out"
else
    mkdir -p "$out"
    . "$(dirname "$0")/xvfb.sh"
fi
export XDG_CONFIG_HOME="$out/config"
start_xvfb
# The bus's own services (the registry) may not touch the real session.
unset DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
rc=0
dbus-run-session -- "$py" "$(dirname "$0")/a11y.py" "$@" 2>"$out/bus.err" || rc=$?
[ $rc -eq 0 ] || grep -v '^dbus-daemon' "$out/bus.err" | tail -n 20
exit $rc
