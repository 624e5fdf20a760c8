#!/usr/bin/env bash
# Installs what Quibra needs on Debian 12, configures and builds, then runs what
# was asked for:
#   scripts/setup.sh test       build and pass the test suites (the CI command)
#   scripts/setup.sh sanitize   the same suites under AddressSanitizer + UBSan
#   scripts/setup.sh tsan       the same suites under ThreadSanitizer
#   scripts/setup.sh build      install and build only
#   scripts/setup.sh demo       the reference host's demo: a PollServer, a presenter and
#                               three attendees; output in build/quibra-demo
#   scripts/setup.sh fuzz [S]   every libFuzzer harness for S seconds (60 by default); fails on
#                               any crash, leak, sanitizer report, or memory above 512 MB
#   scripts/setup.sh package    the Debian packages (debian/), checked by lintian, into
#                               build/packages
#   scripts/setup.sh package-check
#                               installs those packages into a fresh Debian 12 root and runs
#                               the server, the host's demo and a program built on the SDK
set -euo pipefail

mode=${1:-build}
root=$(cd "$(dirname "$0")/.." && pwd)

# The build's own packages are debian/control's Build-Depends too: keep both in step.
packages=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-svg-dev libxml2-dev libcurl4-openssl-dev libpacparser-dev libglib2.0-dev
  libsqlite3-dev libpq-dev libssl-dev nlohmann-json3-dev
  # the tests'
  postgresql libcpp-httplib-dev openssl xsltproc
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  tinyproxy gsettings-desktop-schemas dconf-gsettings-backend nginx-light wrk iproute2
  fonts-noto-cjk fonts-liberation2
  # the metrics are checked by promtool, the service unit by systemd-analyze
  prometheus systemd
  locales clang-15 libfuzzer-15-dev
  # the poll report is opened in a real browser by its tests
  chromium
  # the screen reader's walk: an X server, the AT-SPI bus and its Python bindings, keys;
  # Qt's own words for the message box's buttons
  xvfb xdotool dbus at-spi2-core python3-pyatspi qt6-translations-l10n
)

# Making and checking the Debian packages needs these too.
case "${1:-build}" in
  package | package-check) packages+=(debhelper dpkg-dev fakeroot lintian mmdebstrap) ;;
esac

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
# The packaged services are started by the tests themselves, on loopback ports
# (prometheus is there for promtool only).
for svc in tinyproxy nginx postgresql prometheus; do
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
# The harnesses are built with clang in a folder of their own, and only they are built.
build_fuzzers() {  # build-dir
  cmake -S "$root" -B "$1" -G Ninja -DCMAKE_CXX_COMPILER=clang++-15 -DQUIBRA_FUZZ=ON \
    -DQUIBRA_BUILD_TESTS=OFF -DQUIBRA_BUILD_BENCH=OFF >/dev/null
  cmake --build "$1" -j "$jobs" --target quibra_fuzzers
}
# Runs every harness one after the other with the given limit (-runs=N or
# -max_total_time=S). New inputs go to a corpus in the build folder; the seeds
# in fuzz/corpus are only read. A crash, a leak, a time-out of one input, a
# sanitizer report or more than 512 MB fails the run; the input is kept beside.
run_fuzzers() {  # build-dir limit
  local dir=$1 limit=$2 failed=0 seeds name log
  for seeds in "$root"/fuzz/corpus/*/; do
    name=$(basename "$seeds")
    mkdir -p "$dir/corpus/$name"
    log="$dir/fuzz-$name.log"
    if ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      nice "$dir/bin/fuzz_$name" "$limit" -rss_limit_mb=512 -malloc_limit_mb=512 -timeout=25 \
      -print_final_stats=1 -artifact_prefix="$dir/$name-" "$dir/corpus/$name" "$seeds" \
      >"$log" 2>&1 && ! grep -qE 'ERROR: [A-Za-z]+Sanitizer|runtime error:|WARNING: [A-Za-z]+Sanitizer' "$log"; then
      echo "fuzz_$name: $(grep -m1 -oE 'number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+') runs, no findings"
    else
      failed=1
      echo "fuzz_$name FAILED (full log: $log):" >&2
      tail -n 40 "$log" >&2
    fi
  done
  return "$failed"
}

# The Debian packages, built from a copy of the work tree (tracked and new files,
# not the build folders) so dpkg-buildpackage leaves nothing beside it.
# Their version is the CMake project's; debian/changelog must say the same.
build_packages() {  # out-dir
  local out=$1 version changelog src
  version=$(sed -n 's/^project(Quibra VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  changelog=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
  if [[ "$version" != "$changelog" ]]; then
    echo "debian/changelog says $changelog, CMakeLists.txt's project() $version: add an entry" >&2
    return 1
  fi
  src="$out/quibra-$version"
  rm -rf "$out" && mkdir -p "$src"
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
    tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$src"
  # debhelper gives the build a home of its own: keep ccache's.
  export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache}
  (cd "$src" && DEB_BUILD_OPTIONS="parallel=$jobs nocheck" dpkg-buildpackage -b -uc -us) \
    >"$out/build.log" 2>&1 || { tail -n 60 "$out/build.log" >&2; return 1; }
  ls -1 "$out"/*.deb
  # Errors fail; the warnings are listed for the record.
  lintian --fail-on error --tag-display-limit 0 "$out"/quibra_"${version}"_*.changes |
    tee "$out/lintian.log"
}

# A fresh Debian 12 root from Debian's registry; apt installs the packages there
# with what they depend on, then the server, the host's headless demo against the
# installed PollServer, and a small program built on the SDK with
# find_package(Quibra) run inside it. Its log is build/package-check/check.log.
check_packages() {  # packages-dir work-dir
  local debs=$1 work=$2
  rm -rf "$work" && mkdir -p "$work/in"
  cp "$debs"/*.deb "$root/scripts/package-check-inside.sh" "$work/in/"
  rm -f "$work"/in/*-dbgsym_*.deb
  mmdebstrap --mode=root --variant=apt --include=ca-certificates bookworm "$work/root" \
    "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main" \
    --customize-hook='mkdir -p "$1/tmp/quibra-debs"' \
    --customize-hook="sync-in $work/in /tmp/quibra-debs" \
    --customize-hook='chroot "$1" sh /tmp/quibra-debs/package-check-inside.sh' \
    2>&1 | tee "$work/check.log"
  return "${PIPESTATUS[0]}"
}

case "$mode" in
  build) configure "$root/build" ;;
  package) build_packages "$root/build/packages" ;;
  package-check)
    [[ -n "$(ls "$root"/build/packages/*.deb 2>/dev/null)" ]] || build_packages "$root/build/packages"
    check_packages "$root/build/packages" "$root/build/package-check" ;;
  test)
    configure "$root/build"
    run_tests "$root/build"
    # A harness that no longer builds or fails at once is caught here; the long runs are `fuzz`.
    build_fuzzers "$root/build-fuzz"
    run_fuzzers "$root/build-fuzz" -runs=3000 ;;
  fuzz)
    build_fuzzers "$root/build-fuzz"
    run_fuzzers "$root/build-fuzz" -max_total_time="${2:-60}" ;;
  sanitize)
    configure "$root/build-asan" -DCMAKE_BUILD_TYPE=Debug -DQUIBRA_SANITIZE=ON -DQUIBRA_BUILD_BENCH=OFF
    # GCC 12's leak checker misreads some dynamic TLS blocks as an old glibc's
    # and its tracer crashes after a test passed; it need not intercept them.
    ASAN_OPTIONS=detect_leaks=1:intercept_tls_get_addr=0 UBSAN_OPTIONS=print_stacktrace=1 \
      run_tests "$root/build-asan" ;;
  tsan)
    configure "$root/build-tsan" -DCMAKE_BUILD_TYPE=Debug -DQUIBRA_TSAN=ON -DQUIBRA_BUILD_BENCH=OFF
    # Debian's Qt and GLib are not built with ThreadSanitizer: what they do inside
    # (Qt's thread pool, GLib's main loop) is left out, and only that (see the file).
    TSAN_OPTIONS="halt_on_error=1 suppressions=$root/scripts/tsan.supp" run_tests "$root/build-tsan" ;;
  demo)
    # With a display the demo is interactive; without one (or with --script)
    # it runs the walkthrough and exits 0 only when every count matches.
    configure "$root/build"
    exec "$root/build/bin/quibra-host" --demo --out "$root/build/quibra-demo" ;;
  *) echo "usage: $0 [build|test|sanitize|tsan|demo|fuzz [SECONDS]|package|package-check]" >&2
     exit 2 ;;
esac
