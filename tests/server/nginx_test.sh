#!/bin/bash
# The shipped nginx site in front of three doruzoro-server instances sharing
# one database, all on the loopback: TLS, the redirect from http, the methods
# and sizes let through, requests spread over the instances, the one-second
# page cache, the replay upload on plain http, limit_req, and slow clients and
# connection floods absorbed by nginx while a normal client is served.
# Usage: nginx_test.sh SERVER_BINARY SITE_FILE. Skipped when a tool is
# missing (a failure under CI).
# DB= names the shared database (default: an SQLite file in the test folder);
# DB_START=, when set, is run first to start that database's server.
# ENGINE=postgres: the instances share a PostgreSQL server the test starts.
set -u
server_bin=$1
site=$2
export PATH="$PATH:/usr/sbin:/sbin"
. "$(dirname "$0")/../support/skip.sh"
for tool in nginx openssl curl python3; do
    command -v "$tool" >/dev/null || skip "$tool is not installed"
done

dir=$(mktemp -d)
chmod 755 "$dir"  # nginx workers run as another user when we are root
server_pids=()
nginx_pid=
idle_pid=
support="$(cd "$(dirname "$0")/../support" && pwd)"
cleanup() {
    [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null
    for pid in "${server_pids[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    [ -n "$idle_pid" ] && kill "$idle_pid" 2>/dev/null && wait "$idle_pid" 2>/dev/null
    [ -d "$dir/pg" ] && "$support/pgcluster.sh" stop "$dir/pg"
    [ -n "${KEEP_DIR:-}" ] && cp -r "$dir" "$KEEP_DIR"; rm -rf "$dir"
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

# ---- the shared database and the instances
if [ "${ENGINE:-sqlite}" = postgres ]; then
    DB=$("$support/pgcluster.sh" start "$dir/pg")
    status=$?
    [ "$status" -eq 0 ] || { echo "$DB"; exit "$status"; }
fi
DB=${DB:-$dir/ranking.db}
if [ -n "${DB_START:-}" ]; then
    eval "$DB_START" || { echo "FAIL: DB_START"; exit 1; }
fi
# The instances believe X-Real-IP from nginx only.
if "$server_bin" --help 2>&1 | grep -q -- --trusted-proxy; then
    proxy_opts=(--trusted-proxy 127.0.0.1)
else
    proxy_opts=(--behind-proxy)
fi
ports=()
for i in 1 2 3; do
    "$server_bin" --address 127.0.0.1 --port 0 --db "$DB" "${proxy_opts[@]}" \
        2>"$dir/server$i.log" &
    server_pids+=($!)
    for _ in $(seq 100); do
        grep -q '^listening on' "$dir/server$i.log" && break
        sleep 0.05
    done
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\)$/\1/p' "$dir/server$i.log")
    [ -n "$port" ] || { echo "FAIL: instance $i did not start"; cat "$dir/server$i.log"; exit 1; }
    ports+=("$port")
done

# How long an instance keeps an idle kept-alive connection: measured on one
# while the rest of the test runs, and compared with nginx's idle time for
# its upstream connections at the end.
python3 - "${ports[0]}" >"$dir/idle.txt" <<'PY' &
import socket, sys, time
s = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
s.sendall(b"GET /game/quibbix/GameResult.asp?data=0 HTTP/1.1\r\nHost: x\r\n\r\n")
s.settimeout(40)
start = time.time()
got = b""
while b"</html>" not in got:
    got += s.recv(65536)
start = time.time()
while s.recv(65536):
    pass
print("%.1f" % (time.time() - start))
PY
idle_pid=$!

# ---- the site, its @...@ values filled
http=$(free_port)
https=$(free_port)
. "$(dirname "$0")/nginx_site.sh"
nginx_site "$dir" "$site" "127.0.0.1:$http" "$https" "${ports[@]}"
nginx -p "$dir" -e "$dir/error.log" -c "$dir/nginx.conf" &
nginx_pid=$!
base="https://127.0.0.1:$https/game/quibbix"
plain="http://127.0.0.1:$http/game/quibbix"
curl_k() { curl -sk --max-time 5 "$@"; }
code() { curl_k -o /dev/null -w '%{http_code}' "$@"; }
for _ in $(seq 100); do
    curl_k -o /dev/null "$base/GameResult.asp?data=1&warm=1" && break
    sleep 0.05
done
# Requests the instances answered, all three together, for a path.
hits() { cat "$dir"/server?.log | grep -cE " $1(\\?[^ ]*)? "; }

# ---- a record through TLS, and the pages
reply=$(curl_k "$base/GameSet.asp?aria=Japan&name=Over%20TLS%20%26%20%3Cb%3E&mode=0&level=1&score=321")
check "submission answered between the markers" yes \
    "$(grep -q 'DATA_START' <<<"$reply" && grep -q 'Registered (not verified: no replay came with it).<P>Score 321' <<<"$reply" && echo yes)"
page=$(curl_k "$base/GameResult.asp?data=0")
check "record stored and listed escaped" yes \
    "$(grep -qF '<td>Over TLS &amp; &lt;b&gt;</td>' <<<"$page" && echo yes)"
check "an instance saw the player's address" yes \
    "$(cat "$dir"/server?.log | grep -qE '^127\.0\.0\.1 GET /game/quibbix/GameSet.asp\?[^ ]* 200$' && echo yes)"

# ---- spread over the instances: pages that the cache cannot answer
for i in $(seq 12); do
    curl_k -o /dev/null "$base/GameResult.asp?data=$((i % 3))&spread=$i"
done
for i in 1 2 3; do
    check "instance $i served pages" yes \
        "$(grep -qE 'GET /game/quibbix/GameResult.asp\?[^ ]* 200' "$dir/server$i.log" && echo yes)"
done
# Records written through different instances all land in the one database.
for i in 1 2; do
    curl_k -o /dev/null "$base/GameSet.asp?aria=Japan&name=spread$i&mode=0&level=1&score=$((400 + i))"
done
sleep 0.2
check "submissions went to more than one instance" yes \
    "$([ "$(grep -lE 'GET /game/quibbix/GameSet.asp\?[^ ]* 200' "$dir"/server?.log | wc -l)" -ge 2 ] && echo yes)"
page=$(curl_k "$base/GameResult.asp?data=0&fresh=spread")
check "records of every instance in one ranking" yes \
    "$(grep -q spread1 <<<"$page" && grep -q spread2 <<<"$page" && echo yes)"

# ---- the page cache: one upstream request a second for the same page
before=$(hits /game/quibbix/GameResult.asp)
c1=$(code "$base/GameResult.asp?data=2&cached=1")
c2=$(code "$base/GameResult.asp?data=2&cached=1")
check "two fast identical pages cost one upstream request" "200 200 1" \
    "$c1 $c2 $(($(hits /game/quibbix/GameResult.asp) - before))"
sleep 2.2  # nginx counts the second in whole seconds: up to two may pass
code "$base/GameResult.asp?data=2&cached=1" >/dev/null
check "a page older than a second is asked again" 2 \
    "$(($(hits /game/quibbix/GameResult.asp) - before))"

# ---- the replay route
replay_body="$dir/replay.bin"
head -c 2000 /dev/urandom >"$replay_body"
up_before=$(hits /game/quibbix/Replay.asp)
status=$(curl -s --max-time 5 -o /dev/null -w '%{http_code}' --data-binary @"$replay_body" \
    -H 'Content-Type: application/octet-stream' "$plain/Replay.asp")
echo "replay upload on plain http: $status"
check "the upload on plain http reaches an instance, not a redirect" "yes 1" \
    "$(case $status in 3*|000) echo no ;; *) echo yes ;; esac) $(($(hits /game/quibbix/Replay.asp) - up_before))"
status=$(code --data-binary @"$replay_body" "$base/Replay.asp")
check "the upload over TLS reaches an instance" "yes 2" \
    "$(case $status in 3*|000|413) echo no ;; *) echo yes ;; esac) $(($(hits /game/quibbix/Replay.asp) - up_before))"
head -c $((256 * 1024 + 1)) /dev/zero >"$dir/big.bin"
check "an upload over 256 KiB is refused by nginx" "413 413 2" \
    "$(curl -s --max-time 5 -o /dev/null -w '%{http_code}' --data-binary @"$dir/big.bin" "$plain/Replay.asp") $(code --data-binary @"$dir/big.bin" "$base/Replay.asp") $(($(hits /game/quibbix/Replay.asp) - up_before))"
check "a replay download on plain http goes to https" \
    "301 https://127.0.0.1/game/quibbix/Replay.asp?id=1" \
    "$(curl -s --max-time 5 -o /dev/null -w '%{http_code} %{redirect_url}' "$plain/Replay.asp?id=1")"

# ---- methods and sizes
check "http redirects to https" "301 https://127.0.0.1/game/quibbix/GameResult.asp?data=1" \
    "$(curl -s --max-time 5 -o /dev/null -w '%{http_code} %{redirect_url}' \
        "$plain/GameResult.asp?data=1")"
check "HEAD is served" 200 "$(curl_k -I -o /dev/null -w '%{http_code}' "$base/GameResult.asp?data=1")"
check "POST elsewhere is refused" "405 405 405" \
    "$(code -d a=b "$base/GameResult.asp?data=1") $(code -d a=b "$base/GameSet.asp") $(curl -s -o /dev/null -w '%{http_code}' -d a=b "$plain/GameSet.asp")"
check "other methods are refused" "405 405 405 405" \
    "$(code -X PUT "$base/GameSet.asp") $(code -X DELETE "$base/Replay.asp?id=1") $(code -X OPTIONS "$base/Replay.asp") $(curl -s -o /dev/null -w '%{http_code}' -X PUT --data-binary @"$replay_body" "$plain/Replay.asp")"
long=$(printf 'a%.0s' $(seq 9216))
check "a 9 KB address gets 414" 414 "$(code "$base/GameResult.asp?data=1&x=$long")"
check "other paths are not passed on" 404 "$(code "https://127.0.0.1:$https/")"
check "no version in the Server header" "server: nginx" \
    "$(curl_k -I "$base/GameResult.asp?data=1" | tr -d "\r" | tr A-Z a-z | grep "^server:")"

# ---- slow clients and floods: 300 connections sending a header byte every
# two seconds, 1,000 that send nothing; a normal client meanwhile, then
# every one of them closed by nginx's deadline for the request head.
python3 - "$http" "$https" "$base/GameResult.asp?data=1" >"$dir/flood.txt" 2>&1 <<'PY' &
import socket, subprocess, sys, time
http, https, url = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
def connect(port):
    s = socket.create_connection(("127.0.0.1", port), timeout=5)
    s.setblocking(False)
    return s
slow = [connect(http) for _ in range(300)]
for s in slow:
    s.send(b"GET /game/quibbix/GameResult.asp?data=1 HTTP/1.1\r\nHost: x\r\n")
idle = [connect(https) for _ in range(1000)]
print("opened", len(slow) + len(idle))
worst, served, start = 0.0, 0, time.time()
while time.time() - start < 8:
    t = time.time()
    r = subprocess.run(["curl", "-sk", "--max-time", "5", "-o", "/dev/null", "-w", "%{http_code}",
                        url + "&flood=%d" % served], capture_output=True, text=True)
    worst = max(worst, time.time() - t)
    served += r.stdout == "200"
    for s in slow:  # one more header byte each, never the end of the head
        try:
            s.send(b"X")
        except OSError:
            pass
    time.sleep(max(0, 2 - (time.time() - t)))
print("served", served, "worst %.2f" % worst)
def closed(s):
    try:
        return s.recv(4096) == b""
    except BlockingIOError:
        return False
    except OSError:
        return True
deadline = time.time() + 15
still = slow + idle
while still and time.time() < deadline:
    still = [s for s in still if not closed(s)]
    time.sleep(0.5)
print("closed", len(slow) + len(idle) - len(still), "after %.0f s" % (time.time() - start))
PY
flood_pid=$!
wait "$flood_pid"
cat "$dir/flood.txt"
served=$(sed -n 's/^served \([0-9]*\) worst.*/\1/p' "$dir/flood.txt")
worst=$(sed -n 's/^served [0-9]* worst \([0-9.]*\)$/\1/p' "$dir/flood.txt")
check "the flood was opened" "opened 1300" "$(grep '^opened' "$dir/flood.txt")"
check "a normal client is served during the flood" yes \
    "$([ "${served:-0}" -ge 3 ] && echo yes)"
check "and promptly (every page under a second)" yes \
    "$(python3 -c "import sys; print('yes' if float(sys.argv[1] or 9) < 1 else 'no')" "${worst:-9}")"
check "every slow and idle connection closed by nginx" 1300 \
    "$(sed -n 's/^closed \([0-9]*\) .*/\1/p' "$dir/flood.txt")"

# ---- limit_req on submissions, last: it uses up this address's allowance
codes=
for i in $(seq 12); do
    codes+=" $(code "$base/GameSet.asp?aria=&name=burst$i&mode=0&level=1&score=$i")"
done
echo "burst of submissions: $codes"
check "a burst of submissions is cut off by limit_req" yes \
    "$(grep -qE ' (429|503)' <<<"$codes" && echo yes)"
check "the burst allowance passes" yes "$(grep -qE '^ 200' <<<"$codes" && echo yes)"
check "pages are still served to the same address" 200 "$(code "$base/GameResult.asp?data=2")"

# nginx must let an idle upstream connection go before the instance closes
# it: else it may send a request (an upload, never retried) into the close.
wait "$idle_pid"
idle_pid=
upstream_idle=$(sed -n '/^upstream doruzoro_ranking/,/^}/s/^ *keepalive_timeout \([0-9]*\)s;/\1/p' \
    "$dir/site.conf")
echo "instance closes idle connections after $(cat "$dir/idle.txt") s; nginx after ${upstream_idle} s"
check "nginx drops idle upstream connections before the instances do" yes \
    "$(python3 -c "import sys; print('yes' if float(sys.argv[1]) + 2 < float(sys.argv[2] or 0) else 'no')" \
        "${upstream_idle:-99}" "$(cat "$dir/idle.txt")")"

[ "$failures" -eq 0 ] || { echo "--- nginx error log"; tail -20 "$dir/error.log"; exit 1; }
echo "all nginx checks passed"
