#!/bin/sh
# The packages as a player and an operator get them. Builds doruzoro,
# doruzoro-data and doruzoro-server, checks them with lintian and reads
# their fields, units and maintainer scripts; then, in a throw-away copy of
# this machine (systemd-nspawn on an overlay of /, with a network of its
# own) booted with systemd as its PID 1: installs them with apt, lets the
# postinst enable and start the ranking server's unit, asks it for a page,
# checks its state folder, its user and limits, verifies every unit with
# systemd-analyze, enables an instance of the template as an operator does,
# starts the game from its desktop entry's Exec line under Xvfb (the GUI
# tests' window and sound checks), then purges them and checks that
# nothing is left: no file, no state, no unit, no package that came with
# them. This machine itself is never changed: a doruzoro package installed
# here is purged and reinstalled in the copy only.
# Needs root. Without it, or when no container can boot here, the test
# says so and exits 0; under CI (tests/support/skip.sh) that is a failure.
# Its report and logs: build/package-test/.
set -eu
cd "$(dirname "$0")/.."
root=$PWD
out="$root/build/package-test"
. "$root/tests/support/skip.sh"
passed=0
failed=0
pass() {
    echo "package: ok: $*"
    passed=$((passed + 1))
}
fail() {
    echo "package: FAIL: $*"
    exit 1
}
# A fault that leaves the later checks meaningful: counted, reported at the end.
problem() {
    echo "package: FAIL: $*"
    failed=$((failed + 1))
}
# The closing line; non-zero when a check failed.
finish() {
    echo "package: $1 passed, $failed failed"
    [ "$failed" -eq 0 ] || exit 1
    exit 0
}
# What cannot run here: a failure under CI, a loud note otherwise.
not_run() {
    under_ci && fail "$* (CI=$CI: a test that cannot run fails)"
    echo "package: NOT RUN: $*"
}
field() {  # field DEB NAME
    dpkg-deb -f "$1" "$2"
}
# The names a Depends field lists, without versions and alternatives.
dependency_names() {
    tr ',|' '\n\n' | sed 's/(.*)//; s/^ *//; s/ *$//' | grep -v '^$' | sort -u
}
# LimitNOFILE of a unit, and the --max-connections of its ExecStart (the
# server's default when it passes none).
nofile_limit() { sed -n 's/^LimitNOFILE=\([0-9]*\)$/\1/p' "$1"; }
max_connections() {
    n=$(sed -n 's/^ExecStart=.*--max-connections \([0-9]*\).*/\1/p' "$1")
    echo "${n:-4096}"
}

# ---- inside the container: the packages installed, run and purged ----
inside() {
    debs_dir=$1
    export DEBIAN_FRONTEND=noninteractive
    # A policy-rc.d of this machine's own installs (scripts/install-deps.sh)
    # would keep the postinst from starting the unit; the copy has none.
    rm -f /usr/sbin/policy-rc.d
    state=$(systemctl is-system-running --wait || true)
    case $state in running | degraded) ;; *) fail "the container's systemd is $state" ;; esac
    [ "$(cat /proc/1/comm)" = systemd ] || fail "PID 1 of the container is not systemd"
    pass "systemd runs as PID 1 of the container ($state)"

    installed=$(dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' doruzoro doruzoro-data \
        doruzoro-server 2>/dev/null | awk '$1 !~ /^[up]n/ {print $2}' || true)
    if [ -n "$installed" ]; then
        # shellcheck disable=SC2086
        apt-get purge -y -qq $installed >"$out/purge-first.txt" 2>&1 ||
            fail "could not purge the doruzoro packages already there"
        pass "purged the doruzoro packages this machine has, in the copy only: $(echo $installed)"
    fi
    known_packages >"$out/before.txt"

    apt-get install -y -qq "$debs_dir"/doruzoro_*.deb "$debs_dir"/doruzoro-data_*.deb \
        "$debs_dir"/doruzoro-server_*.deb >"$out/install.txt" 2>&1 ||
        { tail -n 20 "$out/install.txt"; fail "apt could not install them"; }
    known_packages | comm -13 "$out/before.txt" - >"$out/added.txt"
    pass "apt installed them with $(($(wc -l <"$out/added.txt") - 3)) further packages"

    check_service
    check_units_verify
    check_template_instance
    check_game
    purge_and_check
}

known_packages() {
    dpkg-query -W -f='${db:Status-Abbrev} ${Package}\n' | awk '$1 !~ /^[up]n/ {print $2}' | sort -u
}

# The ranking's first page from a server on the loopback port $1, once it
# answers (three seconds at most); empty when it does not.
first_page() {
    for _ in 1 2 3 4 5 6 7 8 9 10; do
        page=$(curl -sf --max-time 5 "http://127.0.0.1:$1/game/quibbix/GameResult.asp?data=0" || true)
        [ -n "$page" ] && break
        sleep 0.3
    done
    echo "$page"
}

# The single-instance unit, as the postinst left it.
check_service() {
    unit=doruzoro-server.service
    [ "$(systemctl is-enabled "$unit")" = enabled ] || fail "the postinst did not enable $unit"
    i=0
    until [ "$(systemctl is-active "$unit" || true)" = active ]; do
        i=$((i + 1))
        [ $i -gt 50 ] && { systemctl status "$unit" >"$out/status.txt" 2>&1 || true
            cat "$out/status.txt"; fail "the postinst did not start $unit"; }
        sleep 0.2
    done
    pid=$(systemctl show -p MainPID --value "$unit")
    page=$(first_page 8047)
    [ -n "$page" ] || fail "the started unit does not answer on 127.0.0.1:8047"
    reply=$(curl -sf --max-time 5 -H 'X-Real-IP: 192.0.2.7' \
        "http://127.0.0.1:8047/game/quibbix/GameSet.asp?aria=Japan&name=Packaged&mode=0&level=1&score=120" || true)
    case $reply in *DATA_START*) ;; *) fail "the unit did not take a record: $reply" ;; esac
    pass "postinst enabled and started $unit; it serves a page and takes a record"

    uid=$(awk '/^Uid:/ {print $2}' "/proc/$pid/status")
    [ "$uid" -ne 0 ] || fail "the server runs as root"
    grep -q '^Max open files  *8192  *8192 ' "/proc/$pid/limits" ||
        fail "the server's descriptor limit: $(grep 'open files' "/proc/$pid/limits")"
    tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q -- '--data /usr/share/games/doruzoro ' ||
        fail "the server does not verify replays: $(tr '\0' ' ' <"/proc/$pid/cmdline")"
    [ -d /usr/share/games/doruzoro/image ] || fail "the unit's data folder has no pictures"
    pass "it runs as dynamic user $uid, 8192 descriptors, verifying against /usr/share/games/doruzoro"

    [ "$(readlink /var/lib/doruzoro)" = private/doruzoro ] || fail "/var/lib/doruzoro is not the unit's state link"
    [ "$(stat -c '%a %u' /var/lib/private/doruzoro)" = "700 $uid" ] ||
        fail "the state folder: $(stat -c '%a %u' /var/lib/private/doruzoro)"
    [ -s /var/lib/private/doruzoro/ranking.db ] || fail "no database in the state folder"
    [ "$(sqlite3 /var/lib/private/doruzoro/ranking.db 'SELECT name FROM records')" = Packaged ] ||
        fail "the record is not in the state folder's database"
    pass "the state folder /var/lib/private/doruzoro (0700, its user) holds the database with the record"
}

# Every unit the package installs, as systemd itself reads them.
check_units_verify() {
    file=/usr/lib/systemd/system/doruzoro-server.service
    systemd-analyze verify "$file" >"$out/verify.txt" 2>&1 ||
        { cat "$out/verify.txt"; fail "systemd-analyze verify $file"; }
    # A template is verified as one of its instances.
    mkdir -p "$out/verify"
    cp /usr/lib/systemd/system/doruzoro-server@.service "$out/verify/doruzoro-server@8048.service"
    systemd-analyze verify "$out/verify/doruzoro-server@8048.service" >"$out/verify.txt" 2>&1 ||
        { cat "$out/verify.txt"; fail "systemd-analyze verify doruzoro-server@8048.service"; }
    systemd-analyze security --no-pager doruzoro-server.service >"$out/security.txt" 2>&1 || true
    pass "systemd-analyze verify: both units ($(tail -n 1 "$out/security.txt" | sed 's/^→ //'))"
}

# The several-instance set-up as an operator makes it: the template is not
# enabled by the package, its settings are a conffile only root reads; one
# instance enabled on the SQLite file of this machine.
check_template_instance() {
    ! ls /etc/systemd/system/*.wants/doruzoro-server@* >/dev/null 2>&1 || fail "the template was enabled"
    [ "$(stat -c '%a %U' /etc/doruzoro/server.env)" = "600 root" ] ||
        fail "/etc/doruzoro/server.env is not root's alone"
    dpkg-query -W -f='${Conffiles}\n' doruzoro-server | grep -q ' /etc/doruzoro/server.env ' ||
        fail "/etc/doruzoro/server.env is not a conffile"
    [ -f /usr/share/doc/doruzoro-server/examples/postgresql-setup.sql ] || fail "no database set-up"
    sed -i 's|^DORUZORO_DB=.*|DORUZORO_DB=/var/lib/doruzoro/ranking.db|' /etc/doruzoro/server.env
    systemctl enable --now doruzoro-server@8048.service >"$out/instance.txt" 2>&1 ||
        { cat "$out/instance.txt"; fail "could not enable an instance of the template"; }
    page=$(first_page 8048)
    case $page in *Packaged*) ;; *) fail "the instance on 8048 does not serve the shared ranking" ;; esac
    pass "the template: not enabled, settings a conffile of root's; an instance on 8048 shares the ranking"
}

# The game, started as the desktop starts it.
check_game() {
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

    exec_line=$(sed -n 's/^Exec=//p' "$entry")
    case "$exec_line" in *%* | *" "*) fail "the Exec line takes arguments: $exec_line" ;; esac
    export HOME="$out/home"
    mkdir -p "$HOME"
    for check in smoke sound; do
        if [ "$check" = smoke ]; then
            set -- "$exec_line" "$out/$check"
        else
            set -- "$exec_line" /usr/share/games/doruzoro "$out/$check"
        fi
        SDL_AUDIODRIVER=dummy "$root/tests/gui/$check.sh" "$@" >"$out/$check.txt" 2>&1 ||
            { cat "$out/$check.txt"; fail "the installed game failed the $check check"; }
    done
    pass "the game started from '$exec_line' shows its window and speaks"
}

purge_and_check() {
    # An edit to the settings: the purge takes the conffile all the same.
    echo "# edited" >>/etc/doruzoro/server.env
    # shellcheck disable=SC2046
    apt-get purge -y -qq $(cat "$out/added.txt") >"$out/purge.txt" 2>&1 ||
        { tail -n 20 "$out/purge.txt"; fail "apt could not purge them"; }
    known_packages >"$out/after.txt"
    cmp -s "$out/before.txt" "$out/after.txt" ||
        { diff "$out/before.txt" "$out/after.txt"; fail "packages left after the purge"; }
    for unit in doruzoro-server.service doruzoro-server@8048.service; do
        state=$(systemctl is-active "$unit" || true)
        [ "$state" = inactive ] || fail "$unit is $state after the purge"
    done
    ! pgrep -x doruzoro-server >/dev/null || fail "a server still runs after the purge"
    ! curl -s --max-time 2 -o /dev/null "http://127.0.0.1:8047/" || fail "8047 still answers"
    [ -z "$(systemctl list-unit-files --no-legend 'doruzoro*')" ] || fail "systemd still knows the units"
    while read -r file; do
        [ ! -e "$file" ] || fail "$file is left after the purge"
    done <"$out/files.txt"
    for left in /usr/share/games/doruzoro /usr/lib/games/doruzoro /var/lib/doruzoro \
        /var/lib/private/doruzoro /etc/systemd/system/multi-user.target.wants/doruzoro-server.service \
        /etc/systemd/system/multi-user.target.wants/doruzoro-server@8048.service /etc/doruzoro \
        /var/lib/systemd/deb-systemd-helper-enabled/doruzoro-server.service.dsh-also; do
        if [ -e "$left" ] || [ -L "$left" ]; then fail "$left is left after the purge"; fi
    done
    [ -d /var/lib/private ] || fail "the purge removed systemd's /var/lib/private"
    pass "purged: units stopped and gone, no file, no state, no package left; /var/lib/private stays"
}

if [ "${1:-}" = --inside ]; then
    inside "$2"
    echo "package: $passed passed inside the container"
    exit 0
fi

# ---- on this machine: build and read the packages ----
if [ "$(id -u)" -ne 0 ]; then
    not_run "installing packages needs root"
    exit 0
fi
rm -rf "$out"
mkdir -p "$out"
debs=$(./scripts/build-packages.sh)
game_deb=$(echo "$debs" | grep '/doruzoro_' || true)
data_deb=$(echo "$debs" | grep '/doruzoro-data_' || true)
server_deb=$(echo "$debs" | grep '/doruzoro-server_' || true)
arch=$(dpkg --print-architecture)
case "$game_deb" in */doruzoro_*_"$arch".deb) ;; *) fail "no game package" ;; esac
case "$data_deb" in */doruzoro-data_*_all.deb) ;; *) fail "no doruzoro-data package for all architectures" ;; esac
case "$server_deb" in */doruzoro-server_*_"$arch".deb) ;; *) fail "no server package" ;; esac
version=$(field "$game_deb" Version)

lintian --fail-on error,warning --display-info "$game_deb" "$data_deb" "$server_deb" \
    >"$out/lintian.txt" 2>&1 || { cat "$out/lintian.txt"; fail "lintian reports errors or warnings"; }
pass "lintian: no errors, no warnings ($(grep -c '^I:' "$out/lintian.txt" || true) notes)"

for deb in "$game_deb" "$data_deb" "$server_deb"; do
    echo "$(field "$deb" Package): $(field "$deb" Depends)" >>"$out/depends.txt"
done
# The pictures and sounds live in the data package alone, which the game
# and the server depend on at their own version.
dpkg-deb -c "$data_deb" >"$out/data-files.txt"
dpkg-deb -c "$game_deb" >"$out/game-files.txt"
grep -q ' \./usr/share/games/doruzoro/sound/' "$out/data-files.txt" || fail "no sounds in doruzoro-data"
! grep -q ' \./usr/share/games/doruzoro/' "$out/game-files.txt" || fail "the game package carries data"
for deb in "$game_deb" "$server_deb"; do
    field "$deb" Depends | tr ',' '\n' | grep -qx " *doruzoro-data (= $version)" ||
        fail "$(field "$deb" Package) does not depend on doruzoro-data (= $version)"
done
pass "doruzoro-data ($(field "$data_deb" Installed-Size | awk '{printf "%.1f MB", $1 / 1024}'), Architecture: all) carries the data; game and server depend on it"

# The server links no GUI or sound library: only SQLite, libpq and zlib
# besides the C and C++ runtime.
server_root="$out/server-deb"
dpkg-deb -x "$server_deb" "$server_root"
dpkg-deb -e "$server_deb" "$server_root/DEBIAN"
unwanted=$(field "$server_deb" Depends | dependency_names |
    grep -vxE 'libc6|libgcc-s1|libstdc\+\+6|libsqlite3-0|libpq5|zlib1g|doruzoro-data' || true)
needed=$(readelf -d "$server_root/usr/sbin/doruzoro-server" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p')
gui=$(echo "$needed" | grep -iE 'gtk|gdk|sdl|x11|xcb|cairo|pango|atk|glib|gobject|gio|curl' || true)
if [ -n "$unwanted" ] || [ -n "$gui" ]; then
    # shellcheck disable=SC2086
    problem "doruzoro-server depends on more than SQLite, libpq and zlib: $(echo $unwanted)" \
        "(links $(echo $gui))"
else
    pass "doruzoro-server depends on: $(field "$server_deb" Depends)"
fi

# The units as packaged: documented, more descriptors than connections, the
# single instance verifying against the installed data.
for unit in "$server_root"/usr/lib/systemd/system/*.service; do
    name=$(basename "$unit")
    grep -q '^Documentation=man:doruzoro-server(8)' "$unit" || fail "$name has no Documentation="
    [ "$(nofile_limit "$unit")" -gt "$(max_connections "$unit")" ] ||
        fail "$name: LimitNOFILE=$(nofile_limit "$unit") is not above $(max_connections "$unit") connections"
    grep -q '^ExecStart=/usr/sbin/doruzoro-server ' "$unit" || fail "$name does not start /usr/sbin/doruzoro-server"
done
grep -q '^ExecStart=.* --data /usr/share/games/doruzoro$' \
    "$server_root/usr/lib/systemd/system/doruzoro-server.service" ||
    fail "the packaged doruzoro-server.service does not verify replays"
pass "units: Documentation=, LimitNOFILE above --max-connections, the single instance verifies"
# Maintainer scripts: systemd is driven through deb-systemd-helper and
# deb-systemd-invoke (daemon-reload aside, as debhelper does), and
# /var/lib/private, systemd's, is never removed.
for script in postinst prerm postrm; do
    f="$server_root/DEBIAN/$script"
    ! grep -v '^ *#' "$f" | grep -v daemon-reload | grep -qE '(^|;|&&|\|\|) *systemctl' ||
        fail "$script calls systemctl"
    ! grep -v '^ *#' "$f" | grep -qE '/var/lib/private($|[^/])' || fail "$script removes /var/lib/private"
done
pass "maintainer scripts: no raw systemctl, /var/lib/private left alone"

{ dpkg-deb -c "$game_deb"; dpkg-deb -c "$data_deb"; dpkg-deb -c "$server_deb"; } |
    awk '{print $6}' | sed 's|^\.||' | grep -v '/$' >"$out/files.txt"

# ---- the throw-away copy of this machine, booted with systemd ----
# Whether systemd runs this machine itself: the copy is booted either way,
# so that this machine's packages and services stay as they are.
pid1=$(ps -p 1 -o comm=)
if ! command -v systemd-nspawn >/dev/null; then
    not_run "the packages in a booted system: no systemd-nspawn (systemd-container)"
    finish "$passed"
fi
# What apt needs inside, where there is no network: fetched here first.
apt-get install -y -qq --download-only -o DPkg::Lock::Timeout=600 "$game_deb" "$data_deb" \
    "$server_deb" >"$out/download.txt" 2>&1 || { tail -n 20 "$out/download.txt"; fail "apt could not fetch their dependencies"; }

cdir=$(mktemp -d /tmp/doruzoro-package-test.XXXXXX)
mkdir "$cdir/root" "$cdir/rw"
machine="doruzoro-package-test-$$"
keep_unit=--keep-unit
[ -d /run/systemd/system ] && keep_unit=""  # a systemd host gives the container a scope
# A mount name-space of its own: the overlay and a fresh /run (the copy's
# systemd must not be seen by this machine's tools) go with it.
# shellcheck disable=SC2016
unshare --mount --propagation private sh -c '
    set -e
    mount -t tmpfs -o mode=755 tmpfs /run
    mount -t tmpfs -o size=8g tmpfs "$1/rw"
    mkdir "$1/rw/upper" "$1/rw/work"
    mount -t overlay overlay -o "lowerdir=/,upperdir=$1/rw/upper,workdir=$1/rw/work" "$1/root"
    exec systemd-nspawn -D "$1/root" --private-network --register=no $4 --link-journal=no \
        --machine="$2" --bind="$3" -b systemd.unit=basic.target systemd.mask=timers.target
' container "$cdir" "$machine" "$out" "$keep_unit" >"$out/container.txt" 2>&1 </dev/null &
nspawn=$!
stop_container() {
    if kill -0 "$nspawn" 2>/dev/null; then
        [ -n "${leader:-}" ] && nsenter -t "$leader" -a systemctl poweroff >/dev/null 2>&1 || true
        i=0
        while kill -0 "$nspawn" 2>/dev/null && [ $i -lt 100 ]; do
            i=$((i + 1))
            sleep 0.2
        done
        kill "$nspawn" 2>/dev/null || true
        wait "$nspawn" 2>/dev/null || true
    fi
    rmdir "$cdir/root" "$cdir/rw" "$cdir" 2>/dev/null || true
}
trap stop_container EXIT
leader=""
i=0
while [ -z "$leader" ] || ! nsenter -t "$leader" -a test -S /run/systemd/private 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 150 ] || ! kill -0 "$nspawn" 2>/dev/null; then
        tail -n 20 "$out/container.txt"
        not_run "the packages in a booted system: systemd did not boot in a container here (PID 1 of this machine: $pid1)"
        finish "$passed"
    fi
    sleep 0.2
    leader=$(ps -o pid= --ppid "$nspawn" | tr -d ' ' | head -n 1)
done
pass "booted a copy of this machine with systemd as PID 1 (this machine's PID 1: $pid1)"

nsenter -t "$leader" -a env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
    CI="${CI:-}" sh "$root/scripts/package-test.sh" --inside "$(dirname "$game_deb")" >"$out/inside.txt" 2>&1 ||
    { cat "$out/inside.txt"; fail "in the booted copy"; }
cat "$out/inside.txt"
inside_passed=$(grep -c '^package: ok:' "$out/inside.txt")
stop_container
trap - EXIT
[ ! -e "$cdir" ] || fail "the container's folder $cdir is left"
finish $((passed + inside_passed))
