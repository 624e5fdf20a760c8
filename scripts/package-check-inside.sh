#!/bin/sh
# Run by `scripts/setup.sh package-check` inside a fresh Debian 12 root, with the
# built packages in /tmp/quibra-debs: installs them with apt (which brings in
# what they depend on) and uses them only as installed.
set -eu
export DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8
step() { printf '\n== %s\n' "$*"; }

step "apt installs the packages"
apt-get update -qq
apt-get install -y -qq /tmp/quibra-debs/*.deb build-essential cmake pkg-config >/dev/null
dpkg-query -W -f='${Package} ${Version}\n' libquibra1 libquibra-dev quibra-host quibra-pollserver

step "the versions"
pollserver --version
quibra-host --version

step "the files"
ls /lib/systemd/system/quibra-pollserver.service /etc/default/quibra-pollserver \
  /usr/lib/x86_64-linux-gnu/libQuibra.so.1 /usr/share/quibra

step "the host's headless demo against the installed PollServer"
cd /tmp
quibra-host --demo --script --out /tmp/quibra-demo >/tmp/demo.log 2>&1 || {
  tail -n 40 /tmp/demo.log
  exit 1
}
grep -v 'This plugin does not support' /tmp/demo.log | tail -n 8

step "a program built on the SDK with find_package(Quibra)"
mkdir -p /tmp/sdk && cd /tmp/sdk
cat >CMakeLists.txt <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(SdkCheck CXX)
find_package(Quibra 0.1 CONFIG REQUIRED)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
add_executable(sdk-check main.cpp)
target_link_libraries(sdk-check PRIVATE Quibra::Quibra Qt6::Widgets)
CMAKE
cat >main.cpp <<'CPP'
#include <QApplication>
#include <cstdio>
#include <quibra/CQuibraExport.h>
#include <quibra/Version.h>
struct Host : IPollNotify {
    int32_t Notify(const wchar_t*, const CWenNode*) override { return 0; }
};
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    Host host;
    CQuibraExport plugin;
    IFeedBackNotify* manager = plugin.CreateQuibraManager(POLLMODE_PRESENTER, &host);
    std::printf("Quibra %s: manager %s\n", QUIBRA_VERSION, manager ? "created" : "missing");
    plugin.FreeAllPollingObject();
    std::puts("manager freed");
    return manager ? 0 : 1;
}
CPP
cmake -S . -B build -G "Unix Makefiles" >/dev/null
cmake --build build >/dev/null
QT_QPA_PLATFORM=offscreen ./build/sdk-check
echo "pkg-config: quibra $(pkg-config --modversion quibra): $(pkg-config --cflags --libs quibra)"

step "package-check passed"
