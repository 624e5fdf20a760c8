#!/usr/bin/env bash
# TLS costs of the PollServer against nginx with the same P-256 certificate, in
# alternating rounds (medians compared):
#   https-fresh-resumed  wrk -t2 -c64, "Connection: close": a TLS connection per
#                        ballot, resumption allowed on both sides (wrk resumes)
#   https-fresh-full     the same with resumption off on the servers (pollserver:
#                        QUIBRA_POLLSERVER_NO_RESUMPTION=1; nginx: no tickets, no
#                        cache), so every handshake is full whatever wrk offers
# with the server's CPU per request (utime+stime from /proc). Then, once:
# 10,000 idle TLS connections (idle_tls_clients.py, full handshakes) held on the
# pollserver: its memory per idle connection (VmRSS delta), its CPU while they
# idle, and https-fresh-resumed ballots beside them against the rate without.
#   bench/pollserver/tls.sh [build-dir] [seconds-per-phase] [idle-connections]
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/pollserver
build=${1:-$root/build}
seconds=${2:-6}
idle_count=${3:-10000}
rounds=${ROUNDS:-3}
# shellcheck source=common.sh
source "$here/common.sh"
bench_workspace pollserver-tls

# A server with room for the idle connections, which must outlive the head time-out.
bounds=(--max-connections 19000 --max-per-address 19000 --head-timeout 3600)
start_pollserver() {  # name [env...]: sets <name>_url and <name>_pid
  local name=$1; shift
  mkfifo "$work/ready-$name"
  env "$@" "$server" --http 0 --https 0 --db "$work/$name.sqlite" "${bounds[@]}" \
    --cert "$work/pollserver-cert.pem" --key "$work/pollserver-key.pem" \
    > "$work/ready-$name" 2> "$work/$name.err" &
  pids+=($!)
  printf -v "${name}_pid" %s "$!"
  local line
  read -r line < "$work/ready-$name"
  printf -v "${name}_https" %s "${line##* }"
  line=${line% *}
  printf -v "${name}_port" %s "${line##*:}"
}
# The certificate the pollserver makes at first start, for both servers and nginx.
mkfifo "$work/ready-first"
"$server" --https 0 --db "$work/first.sqlite" > "$work/ready-first" 2>/dev/null &
first=$!
read -r _ < "$work/ready-first"
kill "$first"; wait "$first" 2>/dev/null || true
start_pollserver resumed
start_pollserver full QUIBRA_POLLSERVER_NO_RESUMPTION=1
start_nginx "http://127.0.0.1:$resumed_port" tls
nginx_master=${pids[-1]}
echo "pollserver: $resumed_https (resumption on) $full_https (off); nginx: $nginx_tls_port (on) $nginx_full_port (off)"

polls_of() { local p; p=$("$driver" --mode setup --port "$1" --run wrk --polls 8); echo "${p#POLLS }"; }
resumed_polls=$(polls_of "$resumed_port")
full_polls=$(polls_of "$full_port")

nginx_pids() { echo "$nginx_master $(pgrep -P "$nginx_master" | tr '\n' ' ')"; }
hz=$(getconf CLK_TCK)
declare -A rates cpu
add() { rates[$1]="${rates[$1]:-} $2"; cpu[$1]="${cpu[$1]:-} $3"; }
run_wrk() {  # phase who url pids [lua args...]
  local phase=$1 who=$2 url=$3 watch=$4; shift 4
  local before after out total rate per
  before=$(cpu_ticks $watch)
  if (($#)); then
    out=$(wrk -t2 -c64 -d"${seconds}s" -H "Connection: close" -s "$here/ballots.lua" "$url" -- "$@")
  else
    out=$(wrk -t2 -c64 -d"${seconds}s" -H "Connection: close" "$url")
  fi
  after=$(cpu_ticks $watch)
  total=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' <<<"$out")
  rate=$(sed -n 's/^Requests\/sec: *\([0-9]*\).*/\1/p' <<<"$out")
  per=$(cpu_us_per "$before" "$after" "$total")
  echo "   $who: requests=$total rate=$rate server_cpu_us_per_request=$per $(grep -E 'Non-2xx|Socket errors' <<<"$out" | tr '\n' ' ')"
  add "$phase-$who" "$rate" "$per"
}

for round in $(seq "$rounds"); do
  echo "== round $round: https-fresh-resumed"
  # shellcheck disable=SC2086
  run_wrk https-fresh-resumed pollserver "$resumed_https/" "$resumed_pid" "r${round}" $resumed_polls
  run_wrk https-fresh-resumed nginx "https://127.0.0.1:$nginx_tls_port/index.html" "$(nginx_pids)"
  echo "== round $round: https-fresh-full"
  # shellcheck disable=SC2086
  run_wrk https-fresh-full pollserver "$full_https/" "$full_pid" "r${round}" $full_polls
  run_wrk https-fresh-full nginx "https://127.0.0.1:$nginx_full_port/index.html" "$(nginx_pids)"
done
for phase in https-fresh-resumed https-fresh-full; do
  p=$(median "${rates[$phase-pollserver]}"); n=$(median "${rates[$phase-nginx]}")
  echo "SUMMARY $phase ballots_per_s=$p nginx_req_per_s=$n ratio=$(python3 -c "print(f'{$p/$n:.2f}')")" \
    "server_cpu_us_per_request=$(median "${cpu[$phase-pollserver]}") nginx=$(median "${cpu[$phase-nginx]}")" \
    "(rounds:${rates[$phase-pollserver]} /${rates[$phase-nginx]})"
done

echo "== $idle_count idle TLS connections on the pollserver"
rss() { awk '/^VmRSS/ {print $2}' "/proc/$resumed_pid/status"; }
rss_before=$(rss)
mkfifo "$work/idle-out"
python3 "$here/idle_tls_clients.py" "${resumed_https##*:}" "$idle_count" > "$work/idle-out" &
idle_pid=$!
pids+=($idle_pid)
exec 3< "$work/idle-out"
read -r ready_word held <&3
rss_after=$(rss)
idle_before=$(cpu_ticks "$resumed_pid")
python3 -c 'import time; time.sleep(10)'
idle_after=$(cpu_ticks "$resumed_pid")
echo "SUMMARY idle_tls held=$held rss_kib_before=$rss_before after=$rss_after" \
  "kib_per_connection=$(python3 -c "print(f'{($rss_after-$rss_before)/$held:.1f}')")" \
  "server_cpu_ms_over_10s_idle=$(( (idle_after - idle_before) * 1000 / hz ))"
run_wrk https-fresh-idle pollserver "$resumed_https/" "$resumed_pid" "idle" $resumed_polls
p=$(median "${rates[https-fresh-resumed-pollserver]}")
i=${rates[https-fresh-idle-pollserver]# }
echo "SUMMARY https-fresh-resumed beside $held idle TLS connections: ballots_per_s=$i without=$p" \
  "ratio=$(python3 -c "print(f'{$i/$p:.2f}')")"
