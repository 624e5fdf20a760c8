#!/usr/bin/env bash
# Keep-alive ballots per second with the PostgreSQL store, with one and with two
# PollServers on one database, beside the embedded SQLite store in the same run
# (alternating rounds, medians compared): the cost of the shared database.
#   bench/pollserver/run_pg.sh [build-dir] [max-requests-per-phase] [seconds-per-phase]
# Phases, each with 64 keep-alive connections from pollserver_load:
#   sqlite   one pollserver on a SQLite file (the embedded default)
#   pg-one   one pollserver on PostgreSQL
#   pg-two   two pollservers on the same PostgreSQL database, 32 connections
#            each (two drivers at once; the rate is their sum)
#   nginx    nginx serving a static file of a ballot reply's size (the ceiling
#            of this machine and driver, as in run.sh)
# Every phase checks each count it made. PostgreSQL runs with its durable
# defaults (fsync, synchronous_commit) in a temporary folder on a free loopback
# port, as the postgres user when run as root; everything this script starts is
# stopped by process id (PostgreSQL by pg_ctl) when it ends.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/pollserver
build=${1:-$root/build}
requests=${2:-400000}
seconds=${3:-5}
rounds=${ROUNDS:-3}
driver=$build/bin/pollserver_load
server=$build/bin/pollserver
pgbin=/usr/lib/postgresql/15/bin
for exe in "$driver" "$server" "$pgbin/pg_ctl"; do
  [[ -x $exe ]] || { echo "missing $exe (cmake --build $build --target pollserver pollserver_load; Debian package postgresql)" >&2; exit 2; }
done
ulimit -n "$(ulimit -Hn)"

work=$(mktemp -d /tmp/pollserver-pg-bench-XXXXXX)
chmod 755 "$work"
as_pg=()
if [[ $(id -u) == 0 ]]; then as_pg=(runuser -u postgres --); chown postgres "$work"; fi
pids=()
pg_started=0
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if ((pg_started)); then (cd "$work" && "${as_pg[@]}" "$pgbin/pg_ctl" -D "$work/data" -w -s -m fast stop) || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# shellcheck source=common.sh
source "$here/common.sh"

pg_port=$(free_port)
(cd "$work" && "${as_pg[@]}" "$pgbin/initdb" -D "$work/data" -U quibra -A trust -E UTF8 --locale=C >"$work/initdb.log")
(cd "$work" && "${as_pg[@]}" "$pgbin/pg_ctl" -D "$work/data" -w -s -l "$work/postgres.log" \
  -o "-p $pg_port -k $work -c listen_addresses=127.0.0.1 -c max_connections=200" start)
pg_started=1
uri="postgresql://quibra@127.0.0.1:$pg_port/postgres"
echo "postgresql: $uri ($("$pgbin/postgres" --version))"

start_http_server sqlite --db "$work/polls.sqlite"
start_http_server pg1 --db "$uri"
start_http_server pg2 --db "$uri"
echo "pollservers: sqlite :$sqlite_port, postgresql :$pg1_port and :$pg2_port"

start_nginx "http://127.0.0.1:$sqlite_port"

checks=ok
declare -A rates
drive() {  # port connections run -> prints the driver's output
  nice "$driver" --connections "$2" --requests "$requests" --seconds "$seconds" --fresh 0 \
    --mode ballots --port "$1" --polls 8 --run "$3" || echo "CHECK FAILED (exit status)"
}
report() {  # phase rate outputs...
  local phase=$1 rate=$2; shift 2
  printf '%s\n' "$@" | grep -q 'CHECK FAILED' && checks=FAILED
  echo "   $phase: rate=$rate $(printf '%s\n' "$@" | grep -E '^CHECK' | tr '\n' ' ')"
  rates[$phase]="${rates[$phase]:-} $rate"
}

for round in $(seq "$rounds"); do
  echo "== round $round"
  out=$(drive "$sqlite_port" 64 "s$round")
  report sqlite "$(driver_rate "$out")" "$out"
  out=$(drive "$pg1_port" 64 "p$round")
  report pg-one "$(driver_rate "$out")" "$out"
  drive "$pg1_port" 32 "a$round" > "$work/two-a" &
  first=$!
  out_b=$(drive "$pg2_port" 32 "b$round")
  wait "$first"
  out_a=$(cat "$work/two-a")
  report pg-two "$(($(driver_rate "$out_a") + $(driver_rate "$out_b")))" "$out_a" "$out_b"
  out=$(nice "$driver" --connections 64 --requests "$requests" --seconds "$seconds" --fresh 0 \
    --mode static --port "$nginx_port" --path /index.html) || checks=FAILED
  report nginx "$(driver_rate "$out")" "$out"
done

s=$(median "${rates[sqlite]}")
n=$(median "${rates[nginx]}")
for phase in sqlite pg-one pg-two; do
  m=$(median "${rates[$phase]}")
  echo "SUMMARY $phase ballots_per_s=$m of_sqlite=$(python3 -c "print(f'{$m/$s:.2f}')")" \
    "of_nginx=$(python3 -c "print(f'{$m/$n:.2f}')") (rounds:${rates[$phase]})"
done
echo "SUMMARY nginx static keep-alive req_per_s=$n (rounds:${rates[nginx]})"
echo "SUMMARY counts_checked=$checks rounds=$rounds seconds_per_phase=$seconds"
[[ $checks == ok ]]
