#!/bin/sh
# Builds the Debian packages doruzoro, doruzoro-data and doruzoro-server with
# Debian's hardening flags, in build/package; prints the paths of the .deb
# files. Installs what building them needs first (scripts/packages.txt).
set -eu
cd "$(dirname "$0")/.."
./scripts/install-deps.sh >&2
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
# CMake reads no CPPFLAGS: the fortify level goes in with the compiler flags.
CFLAGS="$CFLAGS $CPPFLAGS"
CXXFLAGS="$CXXFLAGS $CPPFLAGS"
export CFLAGS CXXFLAGS LDFLAGS
cmake --preset package >/dev/null
cmake --build --preset package >/dev/null
cd build/package
rm -f ./*.deb
cpack -G DEB >/dev/null
ls "$PWD"/*.deb
