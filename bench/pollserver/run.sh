#!/usr/bin/env bash
# Ballots per second of the reference PollServer against nginx serving a static
# file of the ballot reply's size: same machine, same load tool, same run, in
# alternating rounds (medians compared).
#   bench/pollserver/run.sh [build-dir] [max-requests-per-phase] [seconds-per-phase]
# Phases, each paired with nginx:
#   http-keepalive   pollserver_load, 64 keep-alive connections (a load balancer in front)
#   http-fresh       pollserver_load, a new connection per request (the plug-in's pattern)
#   https-keepalive  wrk -t2 -c64 with ballots.lua
#   https-fresh      the same with "Connection: close"
#   http-keepalive-idle  the first phase again beside 1,000 idle half-sent
#                    connections (idle_clients.py); pollserver only
#   http-keepalive-normal-sync  the first phase on a second pollserver run with
#                    --synchronous normal (the default is full); pollserver only
# Every HTTP ballot phase checks each count it made; the HTTPS phases check the
# total at the end. Both servers run on free loopback ports as children of this
# script and are stopped (by their process ids) when it ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/pollserver
build=${1:-$root/build}
requests=${2:-400000}
seconds=${3:-6}
connections=64
threads_args=()  # the server's default unless POLLSERVER_THREADS is given
[[ -n ${POLLSERVER_THREADS:-} ]] && threads_args=(--threads "$POLLSERVER_THREADS")
rounds=${ROUNDS:-3}
command -v wrk >/dev/null || { echo "missing wrk (Debian package wrk)" >&2; exit 2; }

# shellcheck source=common.sh
source "$here/common.sh"
bench_workspace pollserver-bench

# pollserver first, on a fresh database: nginx's HTTPS uses the certificate it makes.
mkfifo "$work/ready"
"$server" --http 0 --https 0 --db "$work/polls.sqlite" "${threads_args[@]}" > "$work/ready" 2> "$work/pollserver.err" &
pids+=($!)
read -r ready_line < "$work/ready"
read -r _ _ poll_http poll_https <<<"$ready_line"
poll_port=${poll_http##*:}
echo "pollserver: $poll_http $poll_https (${threads_args[*]:-default threads})"
mkfifo "$work/ready-normal"
"$server" --http 0 --db "$work/polls-normal.sqlite" "${threads_args[@]}" --synchronous normal \
  > "$work/ready-normal" 2> "$work/pollserver-normal.err" &
pids+=($!)
read -r ready_normal < "$work/ready-normal"
normal_port=${ready_normal##*:}

start_nginx "$poll_http" tls
echo "nginx: http://127.0.0.1:$nginx_port/index.html https://127.0.0.1:$nginx_tls_port/index.html" \
  "($(wc -c < "$work/nginx/html/index.html") bytes)"

# Polls for the wrk phases (the pollserver_load phases make their own).
polls=$("$driver" --mode setup --port "$poll_port" --run wrk --polls 8)
polls=${polls#POLLS }

checks=ok
declare -A rates
add_rate() { rates[$1]="${rates[$1]:-} $2"; }
wrk_rate() { sed -n 's/^Requests\/sec: *\([0-9]*\).*/\1/p' <<<"$1"; }
wrk_ok=0  # ballots the HTTPS phases had acknowledged
wrk_runs=0
run_driver() {  # phase server-name fresh args...
  local phase=$1 who=$2 fresh=$3; shift 3
  local out
  out=$("$driver" --connections $connections --requests "$requests" --seconds "$seconds" --fresh "$fresh" "$@") || checks=FAILED
  echo "   $who: $(grep -E '^(RESULT|CHECK)' <<<"$out" | tr '\n' ' ')"
  add_rate "$phase-$who" "$(driver_rate "$out")"
}
run_wrk() {  # phase server-name fresh url [lua args...]
  local phase=$1 who=$2 fresh=$3 url=$4; shift 4
  local args=(-t2 -c$connections -d"${seconds}s")
  [[ $fresh == 1 ]] && args+=(-H "Connection: close")
  local out
  if (($#)); then out=$(wrk "${args[@]}" -s "$here/ballots.lua" "$url" -- "$@"); else out=$(wrk "${args[@]}" "$url"); fi
  local total non2xx
  total=$(sed -n 's/^ *\([0-9]*\) requests in.*/\1/p' <<<"$out")
  non2xx=$(sed -n 's/^ *Non-2xx or 3xx responses: *\([0-9]*\).*/\1/p' <<<"$out")
  echo "   $who: requests=$total non2xx=${non2xx:-0} rate=$(wrk_rate "$out") $(grep -E 'Socket errors' <<<"$out" || true)"
  [[ -z $non2xx ]] || checks=FAILED
  if (($#)); then wrk_ok=$((wrk_ok + total)); wrk_runs=$((wrk_runs + 1)); fi
  add_rate "$phase-$who" "$(wrk_rate "$out")"
}

for round in $(seq "$rounds"); do
  for fresh in 0 1; do
    phase=http-$([[ $fresh == 1 ]] && echo fresh || echo keepalive)
    echo "== round $round: $phase"
    run_driver "$phase" pollserver $fresh --mode ballots --port "$poll_port" --polls 8 --run "r${round}f$fresh"
    run_driver "$phase" nginx $fresh --mode static --port "$nginx_port" --path /index.html
  done
  for fresh in 0 1; do
    phase=https-$([[ $fresh == 1 ]] && echo fresh || echo keepalive)
    echo "== round $round: $phase"
    # shellcheck disable=SC2086
    run_wrk "$phase" pollserver $fresh "$poll_https/" "r${round}f$fresh" $polls
    run_wrk "$phase" nginx $fresh "https://127.0.0.1:$nginx_tls_port/index.html"
  done
  echo "== round $round: http-keepalive, --synchronous normal"
  run_driver http-keepalive-normal-sync pollserver 0 --mode ballots --port "$normal_port" --polls 8 --run "r${round}n"
  echo "== round $round: http-keepalive beside 1,000 idle half-sent connections"
  python3 "$here/idle_clients.py" "$poll_port" 1000 &
  idle_pid=$!
  pids+=($idle_pid)
  python3 -c 'import time; time.sleep(1)'
  run_driver http-keepalive-idle pollserver 0 --mode ballots --port "$poll_port" --polls 8 --run "r${round}idle"
  kill "$idle_pid"; wait "$idle_pid" 2>/dev/null || true
done

counted=$("$driver" --mode count --port "$poll_port" --run wrk)
counted=${counted#COUNTED }
# A ballot whose answer the load tool did not wait for at the end of a phase
# may have counted too: at most one per connection and phase.
if ((counted < wrk_ok || counted > wrk_ok + wrk_runs * connections)); then checks=FAILED; fi
echo "HTTPS ballots: acknowledged=$wrk_ok counted=$counted"

for phase in http-keepalive http-fresh https-keepalive https-fresh; do
  p=$(median "${rates[$phase-pollserver]}")
  n=$(median "${rates[$phase-nginx]}")
  echo "SUMMARY $phase ballots_per_s=$p nginx_req_per_s=$n ratio=$(python3 -c "print(f'{$p/$n:.2f}')")" \
    "(rounds:${rates[$phase-pollserver]} /${rates[$phase-nginx]})"
done
idle=$(median "${rates[http-keepalive-idle-pollserver]}")
plain=$(median "${rates[http-keepalive-pollserver]}")
echo "SUMMARY http-keepalive beside 1000 idle connections: ballots_per_s=$idle without=$plain" \
  "ratio=$(python3 -c "print(f'{$idle/$plain:.2f}')") (rounds:${rates[http-keepalive-idle-pollserver]})"
normal=$(median "${rates[http-keepalive-normal-sync-pollserver]}")
echo "SUMMARY http-keepalive --synchronous full: ballots_per_s=$plain normal: $normal" \
  "full/normal=$(python3 -c "print(f'{$plain/$normal:.2f}')") (rounds:${rates[http-keepalive-normal-sync-pollserver]})"
echo "SUMMARY counts_checked=$checks rounds=$rounds seconds_per_phase=$seconds ${threads_args[*]:-default threads}"
[[ $checks == ok ]]
