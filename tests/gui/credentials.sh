#!/bin/sh
# A loopback server that answers 401 until it gets Basic credentials for
# kuro:neko; the real client meets it and the real dialog asks for them,
# driven by the keyboard alone: typed and sent with Enter, or cancelled with
# Escape.
set -eu
exe=$1
out=$2
mkdir -p "$out"
. "$(dirname "$0")/xvfb.sh"
command -v python3 >/dev/null || skip "no python3"
start_xvfb

rm -f "$out/port"
python3 - "$out/port" <<'PY' &
import base64, http.server, sys
good = "Basic " + base64.b64encode(b"kuro:neko").decode()
class H(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        if self.headers.get("Authorization") == good:
            body = b"<html><body>WELCOME</body></html>\n"
            self.send_response(200)
        else:
            body = b"no\n"
            self.send_response(401)
            self.send_header("WWW-Authenticate", 'Basic realm="ranking"')
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
    def log_message(self, *a):
        pass
srv = http.server.HTTPServer(("127.0.0.1", 0), H)
open(sys.argv[1] + ".tmp", "w").write(str(srv.server_port))
import os; os.rename(sys.argv[1] + ".tmp", sys.argv[1])
srv.serve_forever()
PY
server=$!
trap 'kill $server 2>/dev/null || true; stop_all' EXIT
i=0
until [ -s "$out/port" ]; do
    i=$((i + 1)); [ $i -gt 50 ] && { echo "the test server did not start"; exit 1; }
    sleep 0.1
done
url="http://127.0.0.1:$(cat "$out/port")/"

failed=0
# run <case> <pattern of the output> <keys...>
run() {
    name=$1; expected=$2; shift 2
    "$exe" "$url" >"$out/$name.txt" 2>"$out/$name.err" &
    app=$!
    wait_window '^127\.0\.0\.1'
    type_into_window "$@"
    wait_app_end "$name: the dialog is still open"
    got=$(cat "$out/$name.txt")
    case "$got" in
        $expected) echo "$name: ok" ;;
        *) echo "$name: expected $expected, got '$got'"; failed=$((failed + 1)) ;;
    esac
}

# The user field has the focus, Tab reaches the password, Enter is OK.
run typed_and_sent "0|*WELCOME*" text:kuro Tab text:neko Return
# Escape cancels: the 401 page is what the program reads.
run escape_cancels "0|no*" text:kuro Escape
# A wrong password is tried once, then the 401 page stands.
run wrong_once "0|no*" text:kuro Tab text:cat Return

[ $failed -eq 0 ] || { echo "$failed failed"; exit 1; }
echo "3 passed, 0 failed"
