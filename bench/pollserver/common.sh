# Sourced by the bench scripts: the work folder and its clean-up, free ports,
# medians, the driver's rate, and nginx as the ceiling.

# bench_workspace PREFIX: checks the built driver and server (sets driver and
# server from $build), lifts the open-file limit to the hard one, makes $work
# (readable by nginx's workers) and stops every process in pids, by id, then
# removes $work when the script ends.
bench_workspace() {
  driver=$build/bin/pollserver_load
  server=$build/bin/pollserver
  local exe
  for exe in "$driver" "$server"; do
    [[ -x $exe ]] || { echo "missing $exe: cmake --build $build --target pollserver pollserver_load" >&2; exit 2; }
  done
  ulimit -n "$(ulimit -Hn)"
  work=$(mktemp -d "/tmp/$1-XXXXXX")
  chmod 755 "$work"
  pids=()
  trap bench_cleanup EXIT
}
bench_cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}

# start_http_server NAME [ARGS...]: a pollserver on a free HTTP port with ARGS,
# its stderr in $work/NAME.err; sets NAME_port and NAME_pid once it listens.
# Runs in this shell (never in $(...)), so pids keeps it for the clean-up.
start_http_server() {
  local name=$1 line
  shift
  mkfifo "$work/ready-$name"
  "$server" --http 0 "$@" > "$work/ready-$name" 2> "$work/$name.err" &
  pids+=($!)
  printf -v "${name}_pid" %s "$!"
  read -r line < "$work/ready-$name"
  printf -v "${name}_port" %s "${line##*:}"
}

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}
median() { printf '%s\n' $1 | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
# cpu_ticks PID...: their utime+stime, in clock ticks (getconf CLK_TCK a second).
cpu_ticks() {
  local total=0 pid
  for pid in "$@"; do
    total=$((total + $(awk '{print $14 + $15}' "/proc/$pid/stat")))
  done
  echo "$total"
}
# cpu_us_per BEFORE AFTER COUNT: microseconds of CPU per request, from two cpu_ticks readings.
cpu_us_per() {
  python3 -c "print(round(($2-$1)*1e6/$(getconf CLK_TCK)/max($3,1)))"
}
driver_rate() { sed -n 's/^RESULT .* rate=\([0-9]*\).*/\1/p' <<<"$1"; }
driver_requests() { sed -n 's/^RESULT .* requests=\([0-9]*\).*/\1/p' <<<"$1"; }

# start_nginx REPLY_URL [tls]: nginx in the foreground under $work/nginx, no
# request log, serving /index.html with what REPLY_URL answers (a pollserver
# reply: DeletePolling's, two bytes longer than a ballot's). Sets nginx_port;
# with "tls" also nginx_tls_port, on the certificate the pollserver made in
# $work (TLS 1.2 and 1.3, as the pollserver: Debian's nginx 1.22 offers only up
# to 1.2 unless told), and nginx_full_port, the same with session resumption off (no
# tickets, no cache: every handshake full). Returns once nginx takes
# connections: the load tools retry nothing.
start_nginx() {
  local reply_url=$1 tls=${2:-} tls_conf='' probe
  nginx_port=$(free_port)
  probe=$nginx_port
  if [[ $tls == tls ]]; then
    nginx_tls_port=$(free_port)
    nginx_full_port=$(free_port)
    probe=$nginx_tls_port
    tls_conf="listen 127.0.0.1:$nginx_tls_port ssl;
    ssl_certificate $work/pollserver-cert.pem;
    ssl_certificate_key $work/pollserver-key.pem;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_session_cache shared:TLS:10m;
    root $work/nginx/html;
  }
  server {
    listen 127.0.0.1:$nginx_full_port ssl;
    ssl_certificate $work/pollserver-cert.pem;
    ssl_certificate_key $work/pollserver-key.pem;
    ssl_protocols TLSv1.2 TLSv1.3;
    ssl_session_tickets off;
    ssl_session_cache off;"
  fi
  mkdir -p "$work/nginx/html" "$work/nginx/logs" "$work/nginx/tmp"
  curl -s "$reply_url/wendrake-idm/v4/polling/polling.asp?job=DeletePolling&pollcount=0" \
    > "$work/nginx/html/index.html"
  chmod -R a+rX "$work/nginx"
  cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 4096; }
http {
  access_log off;
  client_body_temp_path $work/nginx/tmp/body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  keepalive_requests 1000000;
  server {
    listen 127.0.0.1:$nginx_port;
    $tls_conf
    root $work/nginx/html;
  }
}
CONF
  /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
  pids+=($!)
  for _ in $(seq 100); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1',$probe),1)" 2>/dev/null && break
    python3 -c 'import time; time.sleep(0.05)'
  done
}
