#!/usr/bin/env bash
# Keep-alive ballots per second with bearer tokens against without, same
# machine, same driver, same run, alternating rounds (medians compared):
#   bench/pollserver/tokens.sh [build-dir] [max-requests-per-phase] [seconds-per-phase]
# Two pollservers on fresh SQLite files: one as it runs by default, one with
# tokens: --auth-key ES256 (the costliest signature to check; TOKEN_ALG=EdDSA or
# HS256 for the others). With tokens each voter
# casts one ballot on every one of the 8 polls in turn with its own token, so a
# token is verified once and then served from the server's cache. Every phase
# checks each count it made. Both servers are stopped by their process ids.
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
here=$root/bench/pollserver
build=${1:-$root/build}
requests=${2:-400000}
seconds=${3:-6}
rounds=${ROUNDS:-3}

# shellcheck source=common.sh
source "$here/common.sh"
bench_workspace pollserver-tokens

alg=${TOKEN_ALG:-ES256}  # ES256, EdDSA or HS256
case $alg in
  ES256) openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$work/signing.pem" 2>/dev/null ;;
  EdDSA) openssl genpkey -algorithm ED25519 -out "$work/signing.pem" ;;
  HS256) openssl rand -out "$work/signing.pem" -hex 32 ;;
  *) echo "TOKEN_ALG is ES256, EdDSA or HS256" >&2; exit 2 ;;
esac
if [[ $alg == HS256 ]]; then
  server_key=(--auth-secret "$work/signing.pem"); driver_key=(--token-secret "$work/signing.pem")
else
  openssl pkey -in "$work/signing.pem" -pubout -out "$work/signing.pub.pem"
  server_key=(--auth-key "$work/signing.pub.pem"); driver_key=(--token-key "$work/signing.pem")
fi

start_http_server plain --db "$work/plain.sqlite"
start_http_server tokens --db "$work/tokens.sqlite" "${server_key[@]}"
echo "pollserver: plain on $plain_port, with $alg tokens (${server_key[0]}) on $tokens_port"

checks=ok
declare -A rates cpu
for round in $(seq "$rounds"); do
  for who in plain tokens; do
    args=(--connections 64 --requests "$requests" --seconds "$seconds" --fresh 0 --mode ballots --polls 8 --run "r$round$who")
    [[ $who == tokens ]] && args+=("${driver_key[@]}")
    pid_var=${who}_pid port_var=${who}_port
    before=$(cpu_ticks "${!pid_var}")
    out=$("$driver" "${args[@]}" --port "${!port_var}") || checks=FAILED
    after=$(cpu_ticks "${!pid_var}")
    # The server's own CPU per ballot does not depend on what else the box runs.
    per=$(cpu_us_per "$before" "$after" "$(driver_requests "$out")")
    rates[$who]="${rates[$who]:-} $(driver_rate "$out")"
    cpu[$who]="${cpu[$who]:-} $per"
    echo "== round $round $who: server_cpu_us_per_ballot=$per $(grep -E '^(RESULT|CHECK)' <<<"$out" | tr '\n' ' ')"
  done
done
p=$(median "${rates[plain]}")
t=$(median "${rates[tokens]}")
pc=$(median "${cpu[plain]}")
tc=$(median "${cpu[tokens]}")
echo "SUMMARY http-keepalive ballots_per_s without=$p with_tokens=$t" \
  "ratio=$(python3 -c "print(f'{$t/$p:.2f}')") (rounds:${rates[plain]} /${rates[tokens]})"
echo "SUMMARY server_cpu_us_per_ballot without=$pc with_tokens=$tc" \
  "ratio=$(python3 -c "print(f'{$pc/max($tc,1):.2f}')") (rounds:${cpu[plain]} /${cpu[tokens]})"
echo "SUMMARY counts_checked=$checks rounds=$rounds seconds_per_phase=$seconds token_alg=$alg"
[[ $checks == ok ]]
