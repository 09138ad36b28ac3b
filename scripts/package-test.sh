#!/bin/sh
# The packages as a player gets them: builds doruzoro and doruzoro-server,
# checks them with lintian, installs them into this machine with apt, starts
# the game from its desktop entry's Exec line under Xvfb (the GUI tests'
# window and sound checks), asks the installed server for a page, checks the
# templated unit of several instances and its settings file, then purges
# them and checks that nothing is left: no file, no state, no package that
# came with them. Needs root; skipped when a doruzoro package is already
# installed, so that an installation of the machine's own is never removed.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out="$root/build/package-test"
passed=0
pass() {
    echo "package: ok: $*"
    passed=$((passed + 1))
}
fail() {
    echo "package: FAIL: $*"
    exit 1
}

if [ "$(id -u)" -ne 0 ]; then
    echo "package: skipped (installing packages needs root)"
    exit 0
fi
if dpkg-query -W -f='${Status}\n' doruzoro doruzoro-server 2>/dev/null | grep -q 'ok installed'; then
    echo "package: skipped (a doruzoro package is already installed here)"
    exit 0
fi
rm -rf "$out"
mkdir -p "$out"

debs=$(./scripts/build-packages.sh)
game_deb=$(echo "$debs" | grep '/doruzoro_')
server_deb=$(echo "$debs" | grep '/doruzoro-server_')
case "$game_deb" in */doruzoro_*_"$(dpkg --print-architecture)".deb) ;; *) fail "no game package" ;; esac
[ -n "$server_deb" ] || fail "no server package"

lintian --fail-on error "$game_deb" "$server_deb" \
    >"$out/lintian.txt" 2>&1 || { cat "$out/lintian.txt"; fail "lintian reports errors"; }
pass "lintian: no errors ($(grep -c '^W:' "$out/lintian.txt" || true) warnings)"

# What the machine has before, to compare after the purge: every package
# dpkg knows that is not gone entirely (removed ones keep their settings).
known_packages() {
    dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 !~ /^[up]n/ {print $2}' | sort -u
}
known_packages >"$out/before.txt"
uninstall() {
    known_packages >"$out/after.txt"
    added=$(comm -13 "$out/before.txt" "$out/after.txt")
    # shellcheck disable=SC2086
    [ -z "$added" ] || DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq $added >"$out/purge.txt" 2>&1
}
trap uninstall EXIT

DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$game_deb" "$server_deb" \
    >"$out/install.txt" 2>&1 || { tail -n 20 "$out/install.txt"; fail "apt could not install them"; }
known_packages | comm -13 "$out/before.txt" - >"$out/added.txt"
pass "apt installed them with $(($(wc -l <"$out/added.txt") - 2)) further packages"

# The desktop entry and the metainfo as the desktop and the software centre read them.
entry=/usr/share/applications/net.koruhaus.doruzoro.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Categories=Game;ActionGame;' "$entry" || fail "the desktop entry's categories"
appstreamcli validate --no-net /usr/share/metainfo/net.koruhaus.doruzoro.metainfo.xml \
    >"$out/appstream.txt" 2>&1 || { cat "$out/appstream.txt"; fail "appstreamcli refuses the metainfo"; }
for size in 16 32 48; do
    [ -f "/usr/share/icons/hicolor/${size}x$size/apps/doruzoro.png" ] || fail "no ${size}px icon"
done
[ -f /usr/share/man/man6/doruzoro.6.gz ] || fail "no manual page"
pass "desktop entry, metainfo, icons and manual page"

# The game, started as the desktop starts it.
exec_line=$(sed -n 's/^Exec=//p' "$entry")
case "$exec_line" in *%*|*" "*) fail "the Exec line takes arguments: $exec_line" ;; esac
export HOME="$out/home"
mkdir -p "$HOME"
unset XDG_DATA_HOME XDG_CONFIG_HOME
for check in smoke sound; do
    if [ "$check" = smoke ]; then
        set -- "$exec_line" "$out/$check"
    else
        set -- "$exec_line" /usr/share/games/doruzoro "$out/$check"
    fi
    SDL_AUDIODRIVER=dummy "tests/gui/$check.sh" "$@" >"$out/$check.txt" 2>&1 ||
        { cat "$out/$check.txt"; fail "the installed game failed the $check check"; }
done
pass "the game started from '$exec_line' shows its window and speaks"

# The installed server, with the command line its unit gives it.
unit=/usr/lib/systemd/system/doruzoro-server.service
server=$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$unit")
[ -x "$server" ] || fail "the unit's program $server is not there"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$server" --address 127.0.0.1 --port "$port" --db "$out/ranking.db" 2>"$out/server.txt" &
server_pid=$!
page=""
for _ in 1 2 3 4 5 6 7 8 9 10; do
    sleep 0.3
    page=$(curl -s --max-time 5 "http://127.0.0.1:$port/game/quibbix/GameResult.asp?data=0" || true)
    [ -n "$page" ] && break
done
kill "$server_pid" 2>/dev/null || true
wait "$server_pid" 2>/dev/null || true
[ -n "$page" ] || fail "the installed server did not answer"
pass "the installed server answers"

# The several-instance set-up: the template and its settings are installed,
# the template is not enabled, the settings are a conffile only root reads.
template=/usr/lib/systemd/system/doruzoro-server@.service
[ -f "$template" ] || fail "no templated unit"
[ "$(sed -n 's/^ExecStart=\([^ ]*\).*/\1/p' "$template")" = "$server" ] ||
    fail "the templated unit does not start $server"
grep -q '^EnvironmentFile=/etc/doruzoro/server.env$' "$template" || fail "the template's settings"
[ "$(stat -c '%a %U' /etc/doruzoro/server.env)" = "600 root" ] ||
    fail "/etc/doruzoro/server.env is not root's alone"
dpkg-query -W -f='${Conffiles}\n' doruzoro-server | grep -q ' /etc/doruzoro/server.env ' ||
    fail "/etc/doruzoro/server.env is not a conffile"
! ls /etc/systemd/system/*.wants/doruzoro-server@* >/dev/null 2>&1 || fail "the template was enabled"
[ -f /usr/share/doc/doruzoro-server/examples/postgresql-setup.sql ] || fail "no database set-up"
pass "the templated unit and its settings, not enabled"
# An instance as the operator enables it (systemctl enable makes this link),
# and an edit to the settings: the purge must take both.
mkdir -p /etc/systemd/system/multi-user.target.wants
ln -sf "$template" /etc/systemd/system/multi-user.target.wants/doruzoro-server@8047.service
echo "# edited" >>/etc/doruzoro/server.env

trap - EXIT
uninstall
known_packages >"$out/after.txt"
cmp -s "$out/before.txt" "$out/after.txt" ||
    { diff "$out/before.txt" "$out/after.txt"; fail "packages left after the purge"; }
{ dpkg-deb -c "$game_deb"; dpkg-deb -c "$server_deb"; } | awk '{print $6}' | sed 's|^\.||' |
    grep -v '/$' >"$out/files.txt"
while read -r file; do
    [ ! -e "$file" ] || fail "$file is left after the purge"
done <"$out/files.txt"
for left in /usr/share/games/doruzoro /usr/lib/games/doruzoro /var/lib/doruzoro \
    /var/lib/private/doruzoro /etc/systemd/system/multi-user.target.wants/doruzoro-server.service \
    /etc/systemd/system/multi-user.target.wants/doruzoro-server@8047.service /etc/doruzoro \
    /var/lib/systemd/deb-systemd-helper-enabled/doruzoro-server.service.dsh-also; do
    if [ -e "$left" ] || [ -L "$left" ]; then fail "$left is left after the purge"; fi
done
pass "purged without leftovers"
echo "package: $passed passed, 0 failed"
