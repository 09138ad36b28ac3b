#!/bin/sh
# A skip is a skip on a developer's machine and a failure under CI, for the
# GoogleTest executables (their main, tests/support/test_main.cpp) and for
# the shell tests (tests/support/skip.sh).
# Usage: skip_test.sh SKIP_PROBE
set -u
probe=$1
failed=0
expect() {  # expect WHAT WANTED_RC GOT_RC
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1: exit $3, wanted $2"
        failed=$((failed + 1))
    fi
}
output() { "$@" 2>&1; echo "rc=$?"; }

got=$(CI='' output "$probe")
expect "a GoogleTest skip passes as skipped without CI" 0 "${got##*rc=}"
case "$got" in *"[  SKIPPED ]"*) echo "ok: it says SKIPPED" ;; *) echo "FAIL: no SKIPPED"; failed=$((failed + 1)) ;; esac
for ci in true 1 yes; do
    got=$(CI=$ci output "$probe")
    expect "a GoogleTest skip fails under CI=$ci" 1 "${got##*rc=}"
    # CTest would take the skip marker for a skip whatever the exit code.
    case "$got" in *"[  SKIPPED ]"*) echo "FAIL: still says SKIPPED"; failed=$((failed + 1)) ;; esac
done
got=$(CI=false output "$probe")
expect "CI=false is no CI" 0 "${got##*rc=}"

support="$(dirname "$0")/../support/skip.sh"
got=$(CI='' output sh -c ". '$support'; skip 'no tool'")
expect "a shell skip exits 77 without CI" 77 "${got##*rc=}"
got=$(CI=true output sh -c ". '$support'; skip 'no tool'")
expect "a shell skip fails under CI" 1 "${got##*rc=}"
case "$got" in *"FAIL: no tool"*) echo "ok: and says why" ;; *) echo "FAIL: no reason"; failed=$((failed + 1)) ;; esac

[ $failed -eq 0 ] || { echo "$failed failed"; exit 1; }
echo "1 passed, 0 failed"
