#!/usr/bin/env bash
# The event stream under load, on this machine:
#   bench/pollserver/streams.sh [build-dir] [fan-out rounds] [seconds-per-ballot-phase]
# 1. Fan-out over HTTPS: 1,000 and then 5,000 TLS subscribers of one module; a
#    poll is opened and closed one status job at a time, and the time from each
#    job's reply to its frame at every subscriber is taken (p50, p99).
# 2. Memory per idle TLS subscriber: the resident size of a second server
#    before and after 5,000 subscribers (each past its first frame) are held.
# 3. Keep-alive ballots/s on that server beside its 5,000 idle subscribers
#    (attendees of the module the ballots go to) against a third server without
#    any, alternating rounds, medians compared; every count is checked.
# Every server runs on a fresh SQLite file and is stopped by its process id.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/pollserver
build=${1:-$root/build}
fanout_rounds=${2:-20}
seconds=${3:-6}
rounds=${ROUNDS:-3}
idle=${IDLE_SUBSCRIBERS:-5000}

# shellcheck source=common.sh
source "$here/common.sh"
bench_workspace pollserver-streams
streams=$build/bin/pollserver_streams
[[ -x $streams ]] || { echo "missing $streams: cmake --build $build --target pollserver_streams" >&2; exit 2; }

start() {  # name: sets http_port, https_port and server_pid
  local name=$1 line
  mkdir -p "$work/$name"
  mkfifo "$work/ready-$name"
  "$server" --http 0 --https 0 --db "$work/$name/polls.sqlite" \
    --max-connections 12000 --max-per-address 12000 > "$work/ready-$name" 2> "$work/$name.err" &
  server_pid=$!
  pids+=("$server_pid")
  read -r line < "$work/ready-$name"
  https_port=${line##*:}
  line=${line% https*}
  http_port=${line##*:}
}
rss_kib() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }

start fanout
fan_https=$https_port
for n in 1000 5000; do
  out=$("$streams" --mode fanout --tls 1 --port "$fan_https" --subscribers "$n" --rounds "$fanout_rounds")
  echo "$out"
  echo "SUMMARY fanout-https subscribers=$n $(sed -n 's/^RESULT .*\(p50_ms=.*\)/\1/p' <<<"$out")"
done

start idle
idle_http=$http_port idle_https=$https_port idle_pid=$server_pid
start plain
plain_http=$http_port
# Warm: a few streams and ballots first, so the figure is the subscribers' alone.
"$streams" --mode fanout --tls 1 --port "$idle_https" --subscribers 10 --rounds 2 > /dev/null
"$driver" --port "$idle_http" --connections 8 --requests 2000 --seconds 2 --mode ballots --run warm > /dev/null
before=$(rss_kib "$idle_pid")
mkfifo "$work/hold" "$work/idle-out"
"$streams" --mode idle --tls 1 --port "$idle_https" --subscribers "$idle" --module load \
  < "$work/hold" > "$work/idle-out" &
pids+=($!)
exec 7> "$work/hold"
read -r ready < "$work/idle-out"
after=$(rss_kib "$idle_pid")
echo "SUMMARY idle-tls-subscribers=${ready#READY } rss_before_kib=$before rss_after_kib=$after" \
  "per_subscriber_kib=$(python3 -c "print(f'{($after-$before)/$idle:.1f}')")"

checks=ok
plain_rates=''
idle_rates=''
for round in $(seq "$rounds"); do
  for who in plain idle; do
    port=$plain_http
    [[ $who == idle ]] && port=$idle_http
    out=$("$driver" --port "$port" --connections 64 --requests 400000 --seconds "$seconds" \
          --fresh 0 --mode ballots --polls 8 --run "r$round$who") || checks=FAILED
    rate=$(driver_rate "$out")
    if [[ $who == plain ]]; then plain_rates="$plain_rates $rate"; else idle_rates="$idle_rates $rate"; fi
    echo "== round $round $who: $(grep -E '^(RESULT|CHECK)' <<<"$out" | tr '\n' ' ')"
  done
done
exec 7>&-
p=$(median "$plain_rates")
i=$(median "$idle_rates")
echo "SUMMARY http-keepalive ballots_per_s without=$p beside_${idle}_idle_streams=$i" \
  "ratio=$(python3 -c "print(f'{$i/$p:.2f}')") (rounds:$plain_rates /$idle_rates)"
echo "SUMMARY counts_checked=$checks rounds=$rounds seconds_per_phase=$seconds"
[[ $checks == ok ]]
