#!/bin/bash
# The shipped nginx site in front of doruzoro-server, all on the loopback:
# TLS, the redirect from http, GET only, 414 for long addresses, limit_req.
# Usage: nginx_test.sh SERVER_BINARY SITE_FILE. Exit 77 when a tool is missing.
set -u
server_bin=$1
site=$2
export PATH="$PATH:/usr/sbin:/sbin"
for tool in nginx openssl curl python3; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

dir=$(mktemp -d)
chmod 755 "$dir"  # nginx workers run as another user when we are root
server_pid=
nginx_pid=
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$dir"
}
trap cleanup EXIT
failures=0
check() {  # check NAME EXPECTED ACTUAL
    if [ "$2" = "$3" ]; then
        echo "ok: $1"
    else
        echo "FAIL: $1: expected '$2', got '$3'"
        failures=$((failures + 1))
    fi
}
free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
    -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
    -keyout "$dir/key.pem" -out "$dir/cert.pem" 2>/dev/null || { echo "FAIL: openssl"; exit 1; }

"$server_bin" --address 127.0.0.1 --port 0 --db "$dir/ranking.db" --behind-proxy \
    2>"$dir/server.log" &
server_pid=$!
for _ in $(seq 100); do
    grep -q '^listening on' "$dir/server.log" && break
    sleep 0.05
done
up=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/server.log")
[ -n "$up" ] || { echo "FAIL: the server did not start"; cat "$dir/server.log"; exit 1; }

http=$(free_port)
https=$(free_port)
sed -e "s|listen 80;|listen 127.0.0.1:$http;|" \
    -e "s|listen 443 |listen 127.0.0.1:$https |" \
    -e '/listen \[::\]/d' \
    -e "s|server 127.0.0.1:8047;|server 127.0.0.1:$up;|" \
    -e "s|@SERVER_NAME@|127.0.0.1|" \
    -e "s|@CERTIFICATE@|$dir/cert.pem|" \
    -e "s|@CERTIFICATE_KEY@|$dir/key.pem|" \
    "$site" >"$dir/site.conf"
# A change to the site file that these substitutions miss must not pass unseen.
for want in "127.0.0.1:$http;" "127.0.0.1:$https ssl" "server 127.0.0.1:$up;"; do
    grep -qF "$want" "$dir/site.conf" || { echo "FAIL: site file not rendered: $want"; exit 1; }
done
! grep -q '@[A-Z_]*@' "$dir/site.conf" || { echo "FAIL: placeholder left"; exit 1; }

cat >"$dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
pid $dir/nginx.pid;
error_log $dir/error.log info;
events { worker_connections 256; }
http {
    access_log $dir/access.log;
    client_body_temp_path $dir/body;
    proxy_temp_path $dir/proxy;
    fastcgi_temp_path $dir/fastcgi;
    uwsgi_temp_path $dir/uwsgi;
    scgi_temp_path $dir/scgi;
    include $dir/site.conf;
}
CONF
nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" -t -q || { echo "FAIL: nginx -t"; exit 1; }
nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" &
nginx_pid=$!
base="https://127.0.0.1:$https/game/quibbix"
curl_k() { curl -sk --max-time 5 "$@"; }
for _ in $(seq 100); do
    curl_k -o /dev/null "$base/GameResult.asp?data=1" && break
    sleep 0.05
done

reply=$(curl_k "$base/GameSet.asp?aria=Japan&name=Over%20TLS%20%26%20%3Cb%3E&mode=0&level=1&score=321")
check "submission answered between the markers" yes \
    "$(grep -q 'DATA_START' <<<"$reply" && grep -q 'Registered.<P>Score 321' <<<"$reply" && echo yes)"
page=$(curl_k "$base/GameResult.asp?data=0")
check "record stored and listed escaped" yes \
    "$(grep -qF '<td>Over TLS &amp; &lt;b&gt;</td>' <<<"$page" && echo yes)"
check "the server saw the player's address" yes \
    "$(grep -q '^127\.0\.0\.1 GET /game/quibbix/GameSet.asp 200$' "$dir/server.log" && echo yes)"

check "http redirects to https" "301 https://127.0.0.1/game/quibbix/GameResult.asp?data=1" \
    "$(curl -s --max-time 5 -o /dev/null -w '%{http_code} %{redirect_url}' \
        "http://127.0.0.1:$http/game/quibbix/GameResult.asp?data=1")"
check "HEAD is served" 200 "$(curl_k -I -o /dev/null -w '%{http_code}' "$base/GameResult.asp?data=1")"
check "POST is refused" 405 \
    "$(curl_k -o /dev/null -w '%{http_code}' -d a=b "$base/GameResult.asp?data=1")"
check "PUT is refused" 405 \
    "$(curl_k -o /dev/null -w '%{http_code}' -X PUT "$base/GameSet.asp")"
long=$(printf 'a%.0s' $(seq 9216))
check "a 9 KB address gets 414" 414 \
    "$(curl_k -o /dev/null -w '%{http_code}' "$base/GameResult.asp?data=1&x=$long")"
check "other paths are not passed on" 404 "$(curl_k -o /dev/null -w '%{http_code}' \
    "https://127.0.0.1:$https/")"
check "no version in the Server header" "server: nginx" \
    "$(curl_k -I "$base/GameResult.asp?data=1" | tr -d "\r" | tr A-Z a-z | grep "^server:")"

codes=
for i in $(seq 12); do
    codes+=" $(curl_k -o /dev/null -w '%{http_code}' \
        "$base/GameSet.asp?aria=&name=burst$i&mode=0&level=1&score=$i")"
done
echo "burst of submissions: $codes"
check "a burst of submissions is cut off by limit_req" yes \
    "$(grep -qE ' (429|503)' <<<"$codes" && echo yes)"
check "the burst allowance passes" yes "$(grep -qE '^ 200 200' <<<"$codes" && echo yes)"
check "pages are still served to the same address" 200 \
    "$(curl_k -o /dev/null -w '%{http_code}' "$base/GameResult.asp?data=2")"

[ "$failures" -eq 0 ] || { echo "--- nginx error log"; tail -20 "$dir/error.log"; exit 1; }
echo "all nginx checks passed"
