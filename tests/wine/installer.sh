#!/bin/sh
# The zip and the installer of scripts/build-windows.sh: the zip holds the
# program, its data and the README; the installer, run silently (/S) in a
# fresh prefix, puts the program and the Start-menu entry in place and
# registers its uninstaller; the uninstaller, run silently too, leaves no
# file, shortcut or registry key behind.
#   installer.sh DIST VERSION OUT
set -eu
[ $# -eq 3 ] || { echo "usage: $0 DIST VERSION OUT" >&2; exit 2; }
dist=$1 version=$2 out=$3
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../support/skip.sh"
name=doruzoro-$version-windows-x64
setup=$dist/$name-setup.exe
zip=$dist/$name.zip
[ -f "$setup" ] && [ -f "$zip" ] || skip "no $name zip and installer: run scripts/build-windows.sh"
fail() {
    echo "FAIL: $*"
    exit 1
}

python3 -m zipfile -l "$zip" >"$out.zip.txt" 2>/dev/null || fail "the zip does not read"
for f in doruzoro.exe README.txt image/UFO.kpg sound/menu/update.kwv icon/doruzoro-32.png; do
    grep -q " *$name/$f " "$out.zip.txt" || grep -q "^$name/$f " "$out.zip.txt" ||
        fail "the zip lacks $f"
done

# A prefix of the test's own: nothing of an earlier install can be found.
DORUZORO_WINE_DIR=$out
export DORUZORO_WINE_DIR
trap '"$here/wine-env.sh" stop "$out" 2>/dev/null || true' EXIT
[ -d "$out/prefix" ] && "$here/wine-env.sh" stop "$out"
rm -rf "$out"
"$here/wine-env.sh" prepare "$out" >/dev/null
WINE_ENV_LIB=1
. "$here/wine-env.sh"
wine_env_vars "$out"
wine() { "$WINELOADER" "$@" </dev/null 2>>"$out/wine.log"; }
# cmd keeps the quotes of a path with blanks.
unix_of() { winepath -u "$(wine cmd /c echo "$1" | tr -d '\r"')" 2>/dev/null; }

key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\DoruzorO'
dir=$(unix_of '%LOCALAPPDATA%\Programs\DoruzorO')
menu=$(unix_of '%APPDATA%\Microsoft\Windows\Start Menu\Programs\DoruzorO')
cp "$setup" "$out/setup.exe"
wine "$out/setup.exe" /S || fail "the installer failed"
[ -f "$dir/doruzoro.exe" ] || fail "no doruzoro.exe in $dir"
[ -f "$dir/sound/menu/update.kwv" ] || fail "the data is not beside the program"
[ -f "$dir/uninstall.exe" ] || fail "no uninstaller"
[ -f "$menu/DoruzorO.lnk" ] || fail "no Start-menu entry in $menu"
[ -f "$menu/Uninstall DoruzorO.lnk" ] || fail "no Start-menu entry for the uninstaller"
wine reg query "$key" /v UninstallString >"$out/key.txt" || fail "no uninstall key"
grep -q 'uninstall.exe' "$out/key.txt" || fail "the uninstall key names no uninstaller"
wine reg query "$key" /v DisplayVersion | grep -q "$version" || fail "the uninstall key has no version"
# A file of the player's beside the game's stays.
echo mine >"$dir/notes.txt"
echo "installed: $(find "$dir" -type f | wc -l) files"

# The uninstaller copies itself away and runs from there: wait for it.
wine "$dir/uninstall.exe" /S || fail "the uninstaller failed"
i=0
while [ -f "$dir/doruzoro.exe" ] || [ -f "$dir/uninstall.exe" ] || wine reg query "$key" >/dev/null; do
    i=$((i + 1))
    [ $i -gt 100 ] && break
    sleep 0.2
done
[ -z "$(find "$dir" -type f ! -name notes.txt)" ] || fail "left behind: $(find "$dir" -type f | head)"
[ -f "$dir/notes.txt" ] || fail "the player's own file went too"
[ ! -e "$menu" ] || fail "the Start-menu folder is still there"
! wine reg query "$key" >/dev/null || fail "the uninstall key is still there"
rm "$dir/notes.txt"
rmdir "$dir" || fail "folders left in $dir"
echo "uninstalled: nothing left"
