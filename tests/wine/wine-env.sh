#!/bin/sh
# The Wine set-up that Windows tests run in. One prefix per test run, in a
# folder of the build (DIR):
#   wine-env.sh prepare DIR   a fresh prefix, its server kept up, one warm-up
#   wine-env.sh ensure DIR    prepare unless a prefix is there already
#   wine-env.sh stop DIR      ends the prefix's server and its programs
#   wine-env.sh pulse DIR     a private PulseAudio with a null sink (prints
#                             the sink's monitor source); "pulse-stop DIR" ends it
# Sourced (with WINE_ENV_LIB=1) it only defines wine_env_vars DIR, which sets
# the environment the programs run with.
set -eu

wine_env_vars() {
    WINEPREFIX=$1/prefix
    WINEARCH=win64
    WINELOADER=/usr/lib/wine/wine64
    WINEDEBUG=${DORUZORO_WINEDEBUG:--all}
    # No runtime or browser engine downloads; no menu entries in anyone's home.
    WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # Wine links the prefix's user folders into HOME: give it one of its own.
    HOME=$1/home
    export WINEPREFIX WINEARCH WINELOADER WINEDEBUG WINEDLLOVERRIDES HOME
    if [ -S "$1/pulse/native" ]; then
        PULSE_SERVER=unix:$1/pulse/native
        export PULSE_SERVER
    fi
    # Tests without windows stay off any X server the caller has;
    # GUI tests name theirs in DORUZORO_WINE_DISPLAY.
    if [ -n "${DORUZORO_WINE_DISPLAY:-}" ]; then
        DISPLAY=$DORUZORO_WINE_DISPLAY
        export DISPLAY
    else
        unset DISPLAY
    fi
}

now() { date +%s.%N; }
took() { echo "$1 $2" | awk '{ printf "%.1f", $1 - $2 }'; }

# REGEDIT4 hex(7): the strings, each ended by NUL, and one NUL more.
multi_sz() {
    printf '%s\0' "$@" | od -An -v -tx1 | tr -s ' \n' ' ' |
        sed 's/^ //; s/ $//; s/ /,/g; s/$/,00/'
}

write_reg() {
    link=$(multi_sz "VL-Gothic-Regular.ttf,VL Gothic")
    {
        echo 'REGEDIT4'
        echo
        # Without a window manager a managed window's close waits 2 s for it.
        echo '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]'
        echo '"Managed"="N"'
        echo
        # Japanese text in dialogs and message boxes comes from VL Gothic.
        echo '[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink]'
        for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" \
            "MS Sans Serif" "Segoe UI" "Arial" "Courier New"; do
            echo "\"$face\"=hex(7):$link"
        done
        echo
    } > "$1"
}

prepare() {
    dir=$1
    wine_env_vars "$dir"
    stop "$dir" 2>/dev/null || true
    rm -rf "$dir/prefix" "$dir/home" "$dir/timings.txt"
    mkdir -p "$dir/home" "$WINEPREFIX"
    # A server that stays up between the tests' programs, started first so
    # that the prefix's own services stay up too; without it each program
    # starts a server and the services again (2.5 s or more).
    wineserver -p30 </dev/null >/dev/null 2>&1
    t0=$(now)
    wineboot -i </dev/null >"$dir/wineboot.log" 2>&1
    t1=$(now)
    # Wine's own fonts where its font code looks first; without them dialog
    # units come out 6x12 instead of the system's.
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/"
    write_reg "$dir/prefix.reg"
    "$WINELOADER" regedit /S "$(winepath -w "$dir/prefix.reg" 2>/dev/null)" </dev/null >>"$dir/wineboot.log" 2>&1
    t2=$(now)
    "$WINELOADER" cmd /c exit 0 </dev/null >>"$dir/wineboot.log" 2>&1
    t3=$(now)
    {
        echo "wineboot $(took "$t1" "$t0") s"
        echo "fonts and registry $(took "$t2" "$t1") s"
        echo "warm-up $(took "$t3" "$t2") s"
    } | tee "$dir/timings.txt"
}

ensure() {
    mkdir -p "$1"
    # Tests started side by side prepare the prefix once. The lock's file
    # stays out of the server and the services, which outlive this call.
    flock -o "$1/.lock" "$0" ensure-locked "$1"
}

ensure_locked() {
    if [ ! -f "$1/timings.txt" ]; then
        prepare "$1" >/dev/null
    else
        wine_env_vars "$1"
        # Status 2: it is up already. Else the prefix's services start here,
        # away from the caller's output, which they would keep open.
        if wineserver -p30 </dev/null >/dev/null 2>&1; then
            "$WINELOADER" cmd /c exit 0 </dev/null >/dev/null 2>&1
        fi
    fi
}

stop() {
    wine_env_vars "$1"
    if [ -d "$WINEPREFIX" ]; then
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
    fi
}

pulse() {
    dir=$1
    mkdir -p "$dir/pulse"
    pulse_stop "$dir" 2>/dev/null || true
    # norewinds: what a program writes is what the recording gets, in length too.
    PULSE_RUNTIME_PATH=$dir/pulse HOME=$dir/home pulseaudio --daemonize=yes --exit-idle-time=-1 \
        --disallow-exit=no --system=no --use-pid-file=yes -n \
        --load="module-native-protocol-unix socket=$dir/pulse/native" \
        --load="module-null-sink sink_name=doruzoro_null norewinds=1" \
        --load="module-always-sink" >"$dir/pulse.log" 2>&1
    echo doruzoro_null.monitor
}

pulse_stop() {
    if [ -f "$1/pulse/pid" ]; then
        kill "$(cat "$1/pulse/pid")" 2>/dev/null || true
        rm -f "$1/pulse/pid"
    fi
}

if [ "${WINE_ENV_LIB:-0}" = 1 ]; then
    return 0 2>/dev/null || exit 0
fi
[ $# -eq 2 ] || { echo "usage: $0 prepare|ensure|stop|pulse|pulse-stop DIR" >&2; exit 2; }
case $1 in
    prepare) prepare "$2" ;;
    ensure) ensure "$2" ;;
    ensure-locked) ensure_locked "$2" ;;
    stop) stop "$2" ;;
    pulse) pulse "$2" ;;
    pulse-stop) pulse_stop "$2" ;;
    *) echo "$0: unknown command $1" >&2; exit 2 ;;
esac
