#!/usr/bin/env bash
# Installs what Quibra needs on Debian 12, configures and builds, then runs what
# was asked for:
#   scripts/setup.sh test       build and pass the test suites (the CI command)
#   scripts/setup.sh sanitize   the same suites under AddressSanitizer + UBSan
#   scripts/setup.sh tsan       the same suites under ThreadSanitizer
#   scripts/setup.sh build      install and build only
#   scripts/setup.sh demo       the reference host's demo: a PollServer, a presenter and
#                               three attendees; output in build/quibra-demo
set -euo pipefail

mode=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)

packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev libxml2-dev libcurl4-openssl-dev libpacparser-dev libglib2.0-dev
  libsqlite3-dev libcpp-httplib-dev libssl-dev openssl xsltproc
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  tinyproxy gsettings-desktop-schemas dconf-gsettings-backend nginx-light wrk iproute2
  qt6-svg-dev fonts-noto-cjk fonts-liberation2
  # the poll report is opened in a real browser by its tests
  chromium
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
# The packaged services are started by the tests themselves, on loopback ports.
for svc in tinyproxy nginx; do
  if command -v systemctl >/dev/null 2>&1; then systemctl disable --now "$svc" >/dev/null 2>&1 || true; fi
  service "$svc" stop >/dev/null 2>&1 || true
done

jobs=$(nproc)
configure() {  # build-dir [cmake options...]
  local dir=$1; shift
  cmake -S "$root" -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}
run_tests() {  # build-dir
  ctest --test-dir "$1" --output-on-failure -j "$jobs" --timeout 600
}

case "$mode" in
  build) configure "$root/build" ;;
  test) configure "$root/build" && run_tests "$root/build" ;;
  sanitize)
    configure "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUIBRA_SANITIZE=ON -DQUIBRA_BUILD_BENCH=OFF
    ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 run_tests "$root/build-asan" ;;
  tsan)
    configure "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DQUIBRA_TSAN=ON -DQUIBRA_BUILD_BENCH=OFF
    TSAN_OPTIONS=halt_on_error=1 run_tests "$root/build-tsan" ;;
  demo)
    # With a display the demo is interactive; without one (or with --script)
    # it runs the walkthrough and exits 0 only when every count matches.
    configure "$root/build"
    exec "$root/build/bin/quibra-host" --demo --out "$root/build/quibra-demo" ;;
  *) echo "usage: $0 [build|test|sanitize|tsan|demo]" >&2; exit 2 ;;
esac
