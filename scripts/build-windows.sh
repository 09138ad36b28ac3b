#!/bin/sh
# Builds the Windows program (preset windows, cross-built with mingw-w64)
# and makes, in build/windows/dist/:
#   doruzoro-VERSION-windows-x64.zip        the program, its data, README.txt
#   doruzoro-VERSION-windows-x64-setup.exe  the same as an installer (NSIS)
# and prints their paths. Needs Debian's mingw-w64, nsis and zip
# (scripts/packages-test.txt; ./scripts/install-deps.sh --test installs them).
set -eu
cd "$(dirname "$0")/.."
root=$PWD
for tool in x86_64-w64-mingw32-g++-posix makensis zip; do
    command -v "$tool" >/dev/null || {
        echo "$0: $tool is missing: apt-get install g++-mingw-w64-x86-64-posix nsis zip" >&2
        exit 1
    }
done
cmake --preset windows >/dev/null
cmake --build --preset windows --target doruzoro data >/dev/null
build=$root/build/windows
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name=doruzoro-$version-windows-x64
dist=$build/dist
stage=$dist/$name
rm -rf "$dist"
mkdir -p "$stage" "$dist/nsis"

# The game reads its pictures and sounds below the folder it starts in: the
# data sits beside the program.
cp "$build/app/doruzoro.exe" "$stage/"
for part in image sound icon; do
    cp -r "$build/data/$part" "$stage/"
done
sed "s/@VERSION@/$version/g; s/\$/\r/" "$root/packaging/windows/README-windows.txt" >"$stage/README.txt"

(cd "$dist" && zip -qr -X "$name.zip" "$name")

# Every file by name, for the installer to put in place and the uninstaller
# to take away again (folders deepest first, only when empty).
(
    cd "$stage"
    find . -type d | sort | while read -r d; do
        rel=${d#./}
        [ "$d" = . ] && win='$INSTDIR' || win="\$INSTDIR\\$(printf %s "$rel" | tr / '\\')"
        printf 'SetOutPath "%s"\n' "$win"
        find "$d" -mindepth 1 -maxdepth 1 -type f | sort | while read -r f; do
            printf 'File "%s"\n' "$stage/${f#./}"
        done
    done >"$dist/nsis/files.nsh"
    find . -type f | sort | while read -r f; do
        printf 'Delete "$INSTDIR\\%s"\n' "$(printf %s "${f#./}" | tr / '\\')"
    done >"$dist/nsis/uninstall-files.nsh"
    find . -mindepth 1 -type d | sort -r | while read -r d; do
        printf 'RMDir "$INSTDIR\\%s"\n' "$(printf %s "${d#./}" | tr / '\\')"
    done >>"$dist/nsis/uninstall-files.nsh"
)
makensis -V2 -DVERSION="$version" -DLISTS="$dist/nsis" -DOUTFILE="$dist/$name-setup.exe" \
    "$root/packaging/windows/doruzoro.nsi" >"$dist/nsis/makensis.log" ||
    { cat "$dist/nsis/makensis.log" >&2; exit 1; }
echo "$dist/$name.zip"
echo "$dist/$name-setup.exe"
