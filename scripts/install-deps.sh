#!/bin/sh
# Installs the Debian packages listed in packages.txt (building and playing)
# that are not there yet; with --test also those in packages-test.txt.
# Quiet and quick when everything is present.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
lists="$here/packages.txt"
[ "${1:-}" = --test ] && lists="$lists $here/packages-test.txt"
# shellcheck disable=SC2086
wanted=$(cat $lists | grep -v '^#' | grep -v '^$' | sort -u)

missing=""
for pkg in $wanted; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    case "$status" in
        *"install ok installed"*) ;;
        *) missing="$missing $pkg" ;;
    esac
done
[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages:$missing" >&2
    echo "Run as root, or: sudo apt-get install$missing" >&2
    exit 1
fi
echo "Installing:$missing"
# The tests run their own nginx on loopback ports: keep the packages from
# starting a system-wide web server (or failing when port 80 is taken).
policy=/usr/sbin/policy-rc.d
if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' >"$policy"
    chmod 755 "$policy"
    trap 'rm -f "$policy"' EXIT
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
