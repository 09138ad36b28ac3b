# Sourced by the tests that run the shipped nginx site on the loopback.
#   nginx_site DIR SITE HTTP_LISTEN HTTPS_PORT PORT1 PORT2 PORT3 [SED_EXPR...]
# writes a throw-away certificate, the site with its @...@ values and its
# upstream's ports filled (then any further sed expressions applied), and
# the nginx.conf an operator would write around it, all in DIR. Exits the
# test when the site file has changed in a way the substitutions miss.
nginx_site() {
    _dir=$1 _site=$2 _http=$3 _https=$4 _p1=$5 _p2=$6 _p3=$7
    shift 7
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 \
        -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 \
        -keyout "$_dir/key.pem" -out "$_dir/cert.pem" 2>/dev/null || { echo "FAIL: openssl"; exit 1; }
    _extra=""
    for _e in "$@"; do _extra="$_extra -e '$_e'"; done
    eval sed -e "'s|listen 80;|listen $_http;|'" \
        -e "'s|listen 443 |listen 127.0.0.1:$_https |'" \
        -e "'/listen \[::\]/d'" \
        -e "'s|server 127.0.0.1:8047 |server 127.0.0.1:$_p1 |'" \
        -e "'s|server 127.0.0.1:8048 |server 127.0.0.1:$_p2 |'" \
        -e "'s|server 127.0.0.1:8049 |server 127.0.0.1:$_p3 |'" \
        -e "'s|@SERVER_NAME@|127.0.0.1|'" \
        -e "'s|@CERTIFICATE@|$_dir/cert.pem|'" \
        -e "'s|@CERTIFICATE_KEY@|$_dir/key.pem|'" \
        -e "'s|@CACHE_DIR@|$_dir/cache|'" \
        "$_extra" '"$_site"' >"$_dir/site.conf"
    for _want in "$_http;" "127.0.0.1:$_https ssl" "server 127.0.0.1:$_p1 " \
        "server 127.0.0.1:$_p2 " "server 127.0.0.1:$_p3 " "$_dir/cache "; do
        grep -qF "$_want" "$_dir/site.conf" || { echo "FAIL: site file not rendered: $_want"; exit 1; }
    done
    ! grep -q '@[A-Z_]*@' "$_dir/site.conf" || { echo "FAIL: placeholder left"; exit 1; }
    # What an operator puts in nginx.conf for this site (README.md).
    cat >"$_dir/nginx.conf" <<CONF
daemon off;
worker_processes 1;
worker_rlimit_nofile 8192;
pid $_dir/nginx.pid;
error_log $_dir/error.log info;
events { worker_connections 4096; }
http {
    access_log $_dir/access.log;
    client_body_temp_path $_dir/body;
    proxy_temp_path $_dir/proxy;
    fastcgi_temp_path $_dir/fastcgi;
    uwsgi_temp_path $_dir/uwsgi;
    scgi_temp_path $_dir/scgi;
    include $_dir/site.conf;
}
CONF
    nginx -p "$_dir" -e "$_dir/error.log" -c "$_dir/nginx.conf" -t -q || { echo "FAIL: nginx -t"; exit 1; }
}
