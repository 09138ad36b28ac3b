#!/bin/sh
# The ranking server's systemd units as shipped in server/deploy: systemd
# reads them without a complaint (systemd-analyze verify, with the built
# program in ExecStart), each names its documentation, allows more open
# files than connections, and the single instance verifies replays against
# the game's data.
# Usage: units_test.sh SERVER_BINARY DEPLOY_DIR OUT
set -u
server=$1
deploy=$2
out=$3
. "$(dirname "$0")/../support/skip.sh"
command -v systemd-analyze >/dev/null || skip "no systemd-analyze (systemd)"
rm -rf "$out"
mkdir -p "$out"
failed=0
checked=0
check() {  # check WHAT COMMAND...
    what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAIL: $what"; failed=$((failed + 1)); fi
}
above() { [ "$1" -gt "$2" ]; }
for unit in "$deploy"/*.service; do
    name=$(basename "$unit")
    checked=$((checked + 1))
    # A template is read as one of its instances.
    case $name in *@.service) name="${name%@.service}@8047.service" ;; esac
    sed "s|/usr/local/bin/doruzoro-server|$server|" "$unit" >"$out/$name"
    # The manual page is installed with the package only (the package test
    # verifies the installed units with it).
    check "$name: systemd-analyze verify" \
        sh -c "systemd-analyze verify --man=no '$out/$name' >'$out/$name.verify' 2>&1"
    [ -s "$out/$name.verify" ] && cat "$out/$name.verify"
    check "$name names its documentation" grep -q '^Documentation=man:doruzoro-server(8) ' "$unit"
    limit=$(sed -n 's/^LimitNOFILE=\([0-9]*\)$/\1/p' "$unit")
    conns=$(sed -n 's/^ExecStart=.*--max-connections \([0-9]*\).*/\1/p' "$unit")
    check "$name: LimitNOFILE=${limit:-none} above --max-connections ${conns:-4096}" \
        above "${limit:-0}" "${conns:-4096}"
done
check "doruzoro-server.service verifies replays against the installed data" \
    grep -q '^ExecStart=.* --data /usr/share/games/doruzoro$' "$deploy/doruzoro-server.service"
[ "$checked" -ge 2 ] || { echo "FAIL: $checked units in $deploy"; failed=$((failed + 1)); }
[ $failed -eq 0 ] || { echo "$failed failed"; exit 1; }
echo "1 passed, 0 failed"
