#!/usr/bin/env bash
# Ballots per second of the reference PollServer against nginx's requests per
# second for a small static file, same machine, same driver, same run.
#   bench/pollserver/run.sh [build-dir] [requests] [seconds]
# Both servers run on free loopback ports as children of this script and are
# stopped (by their process ids) when it ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
requests=${2:-200000}
seconds=${3:-20}
connections=64
threads=${POLLSERVER_THREADS:-64}
driver=$build/bin/pollserver_load
server=$build/bin/pollserver
for exe in "$driver" "$server"; do
  [[ -x $exe ]] || { echo "missing $exe: cmake --build $build --target pollserver_load" >&2; exit 2; }
done

work=$(mktemp -d /tmp/pollserver-bench-XXXXXX)
chmod 755 "$work"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

free_port() {
  python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()'
}

# nginx: foreground, its own prefix, no logging of requests, one small file.
nginx_port=$(free_port)
mkdir -p "$work/nginx/html" "$work/nginx/logs" "$work/nginx/tmp"
printf 'Quibra static file for the load comparison.\n' > "$work/nginx/html/index.html"
chmod -R a+rX "$work/nginx"
cat > "$work/nginx/nginx.conf" <<CONF
daemon off;
worker_processes auto;
pid $work/nginx/nginx.pid;
error_log $work/nginx/logs/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/tmp/body;
  proxy_temp_path $work/nginx/tmp/proxy;
  fastcgi_temp_path $work/nginx/tmp/fastcgi;
  uwsgi_temp_path $work/nginx/tmp/uwsgi;
  scgi_temp_path $work/nginx/tmp/scgi;
  keepalive_requests 1000;
  server {
    listen 127.0.0.1:$nginx_port;
    root $work/nginx/html;
  }
}
CONF
/usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/logs/error.log" &
pids+=($!)

# pollserver on a fresh database, HTTP only; the ready line carries its URL.
mkfifo "$work/ready"
"$server" --http 0 --db "$work/polls.sqlite" --threads "$threads" > "$work/ready" 2> "$work/pollserver.err" &
pids+=($!)
read -r ready_line < "$work/ready"
poll_port=${ready_line##*:}
echo "pollserver: $ready_line (threads $threads)"

for _ in $(seq 100); do  # nginx needs a moment to bind; the driver retries nothing
  python3 -c "import socket; socket.create_connection(('127.0.0.1',$nginx_port),1)" 2>/dev/null && break
  python3 -c 'import time; time.sleep(0.05)'
done
echo "nginx: http://127.0.0.1:$nginx_port/index.html"

# Alternating rounds, so both servers see the same (shared, noisy) machine;
# the medians are compared.
rounds=${ROUNDS:-3}
ballot_rates=(); nginx_rates=(); checks=ok
rate() { sed -n 's/.* rate=\([0-9]*\).*/\1/p' <<<"$1"; }
for round in $(seq "$rounds"); do
  echo "== round $round: pollserver ballots ($connections connections, at most $requests ballots or ${seconds}s)"
  out=$("$driver" --mode ballots --port "$poll_port" --connections $connections --requests "$requests" \
    --seconds "$seconds" --polls 8 --run "r$round") || checks=FAILED
  echo "$out"
  ballot_rates+=("$(rate "$out")")
  echo "== round $round: nginx static file (same driver, same limits)"
  out=$("$driver" --mode static --port "$nginx_port" --path /index.html --connections $connections \
    --requests "$requests" --seconds "$seconds") || checks=FAILED
  echo "$out"
  nginx_rates+=("$(rate "$out")")
done
# The HTTP layer's own ceiling: a route that touches no storage (404 with the
# short error document), same server, same driver.
echo "== pollserver without storage (unknown route), same driver"
bare_out=$("$driver" --mode static --port "$poll_port" --path /none --connections $connections \
  --requests "$requests" --seconds "$seconds" || true)
echo "$bare_out"
bare_rate=$(rate "$bare_out")
wrk_rate=0
if command -v wrk >/dev/null; then
  echo "== for reference, wrk on nginx (2 threads, $connections connections, 5s)"
  wrk_out=$(wrk -t2 -c$connections -d5s "http://127.0.0.1:$nginx_port/index.html")
  grep -E "Requests/sec|Latency" <<<"$wrk_out" || true
  wrk_rate=$(sed -n 's/^Requests\/sec: *\([0-9]*\).*/\1/p' <<<"$wrk_out")
fi

median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ballot_rate=$(median "${ballot_rates[@]}")
nginx_rate=$(median "${nginx_rates[@]}")
ratio=$(python3 -c "print(f'{$ballot_rate/$nginx_rate:.2f}')")
wrk_ratio=$(python3 -c "print(f'{$ballot_rate/max($wrk_rate,1):.2f}')")
echo "SUMMARY ballots_per_s=$ballot_rate nginx_req_per_s=$nginx_rate ratio=$ratio goal=0.50" \
  "(nginx_wrk_req_per_s=$wrk_rate ratio_to_wrk=$wrk_ratio http_layer_req_per_s=$bare_rate)" \
  "counts_checked=$checks rounds=$rounds"
[[ $checks == ok ]]
