#!/bin/sh
# Drives the real registration dialog under Xvfb with the keyboard alone:
# the name field has the focus, Tab reaches the area list, "Send" and
# "Close" in that order, Enter sends and Escape cancels.
set -eu
exe=$1
out=$2
mkdir -p "$out"

. "$(dirname "$0")/xvfb.sh"
start_xvfb

failed=0
# run <case> <expected output> <stored name> <stored area> <keys...>
run() {
    name=$1; expected=$2; stored_name=$3; stored_area=$4; shift 4
    "$exe" "$stored_name" "$stored_area" >"$out/$name.txt" 2>"$out/$name.err" &
    app=$!
    wait_window '^Do you register a record with a net\?$'
    type_into_window "$@"
    i=0
    while kill -0 "$app" 2>/dev/null; do
        i=$((i + 1))
        [ $i -gt 50 ] && { echo "$name: dialog still open"; kill "$app"; failed=$((failed + 1)); break; }
        sleep 0.1
    done
    wait "$app" 2>/dev/null || true
    app=""
    got=$(cat "$out/$name.txt")
    if [ "$got" = "$expected" ]; then
        echo "$name: ok"
    else
        echo "$name: expected '$expected', got '$got'"
        failed=$((failed + 1))
    fi
}

# The stored name opens selected, so typing replaces it; End keeps it.
# Enter in the name field presses the default button, "Send".
run enter_sends "1|Kuro Neko|Japan" "Kuro" "Japan" End text:" Neko" Return
run typing_replaces "1|Shiro|Japan" "Kuro" "Japan" text:"Shiro" Return
# Tab to the area list, move one entry down, Tab to "Send" and press it.
run tab_to_send "1|Kuro|Jordan" "Kuro" "Japan" Tab Down Tab space
# One more Tab reaches "Close": nothing changes.
run tab_to_close "2|Kuro|Japan" "Kuro" "Japan" text:"x" Tab Tab Tab space
run escape "2|Kuro|Japan" "Kuro" "Japan" text:"x" Escape
# The mnemonics reach the fields and "Send" from anywhere.
run mnemonic "1|Kuro|Afghanistan" "Kuro" "" Tab Tab alt+a Down alt+s
# Letters typed on the area list choose the area they begin; the same letter
# again the next one with it; a blank inside a prefix is part of it.
run type_ahead "1|Kuro|Japan" "Kuro" "" Tab j a p Tab space
run type_ahead_again "1|Kuro|Nauru" "Kuro" "Japan" Tab n n Tab space
run type_ahead_blank "1|Kuro|Sri Lanka" "Kuro" "" Tab s r i space l Tab space
run type_ahead_none "1|Kuro|Japan" "Kuro" "Japan" Tab x q Tab space

# The dialog's black is its own: the credentials dialog shown after it keeps
# the system's light background and dark text.
"$exe" "Kuro" "Japan" --then-credentials >"$out/later.txt" 2>"$out/later.err" &
app=$!
wait_window '^Do you register a record with a net\?$'
dialog=$win
timeout 10 import -window "$dialog" "$out/dialog.png" 2>/dev/null
type_into_window Return
wait_window '^127\.0\.0\.1$'
sleep 0.5
timeout 10 import -window "$win" "$out/later.png" 2>/dev/null
kill "$app" 2>/dev/null || true
wait "$app" 2>/dev/null || true
app=""
brightness() {
    convert "$1" -colorspace Gray -format '%[fx:round(100*mean)]' info:
}
dialog_light=$(brightness "$out/dialog.png")
later_light=$(brightness "$out/later.png")
if [ "$dialog_light" -lt 50 ] && [ "$later_light" -gt 70 ]; then
    echo "style_scoped: ok (dialog $dialog_light%, the one after it $later_light% light)"
else
    echo "style_scoped: the dialog is $dialog_light% and the one after it $later_light% light"
    failed=$((failed + 1))
fi

[ $failed -eq 0 ] || { echo "$failed failed"; exit 1; }
echo "11 passed, 0 failed"
