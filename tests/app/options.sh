#!/bin/sh
# The program's options are read before it opens the display: wrong use
# prints the usage and exits with 2, --version and --help print and exit 0,
# all with no display to open (DISPLAY names one that is not there).
set -u
exe=$1
version=$2
fails=0
check() {
    if [ "$1" = ok ]; then echo "ok:   $2"; else echo "FAIL: $2"; fails=$((fails + 1)); fi
}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
run() {
    rc=0
    DISPLAY=:65000 WAYLAND_DISPLAY= "$exe" "$@" >"$out/stdout" 2>"$out/stderr" || rc=$?
}

for args in "--bogus" "-x" "--replay" "--no-record --bogus" "--version=2" "plain"; do
    # shellcheck disable=SC2086
    run $args
    [ $rc -eq 2 ] && r=ok || r=no
    check $r "'$args' exits with 2 (got $rc)"
    grep -q '^usage: doruzoro' "$out/stderr" && r=ok || r=no
    check $r "'$args' prints the usage on standard error"
    grep -q 'display' "$out/stderr" && r=no || r=ok
    check $r "'$args' does not try the display"
    [ -s "$out/stdout" ] && r=no || r=ok
    check $r "'$args' prints nothing on standard output"
done

run --version
[ $rc -eq 0 ] && [ "$(cat "$out/stdout")" = "doruzoro $version" ] && r=ok || r=no
check $r "--version prints 'doruzoro $version' (got $rc: $(cat "$out/stdout"))"
run --no-record --version
[ $rc -eq 0 ] && [ "$(cat "$out/stdout")" = "doruzoro $version" ] && r=ok || r=no
check $r "--version after another option"
run --help
[ $rc -eq 0 ] && grep -q -- '--version' "$out/stdout" && [ ! -s "$out/stderr" ] && r=ok || r=no
check $r "--help prints the usage, --version in it, on standard output"
# A good command line still needs the display, and says so.
run --no-record
[ $rc -eq 1 ] && grep -q 'cannot open the display' "$out/stderr" && r=ok || r=no
check $r "a good command line without a display says so and exits with 1 (got $rc)"

[ $fails -eq 0 ] || { echo "$fails failed"; exit 1; }
echo "1 passed, 0 failed"
