#include "QuitOnSignal.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <atomic>

namespace {
int g_fds[2] = {-1, -1};
std::atomic<int> g_signal{0};
}  // namespace

QuitOnSignal::QuitOnSignal(QObject* parent) : QObject(parent) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_fds) != 0) return;
    m_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [] {
        char byte = 0;
        [[maybe_unused]] const ssize_t got = ::read(g_fds[1], &byte, 1);
        QuitNow();
    });
    struct sigaction action {};
    action.sa_handler = &QuitOnSignal::Handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

QuitOnSignal::~QuitOnSignal() {
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
    delete m_notifier;
    for (int& fd : g_fds) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

void QuitNow() {
    // Not quit(): that asks every window to close first, and a voting dialog
    // that waits for its host, or an open menu or message box, would refuse or
    // hold it. exit() ends every event loop of the thread, nested ones too; the
    // windows are then closed and the children stopped on the way out.
    QCoreApplication::exit(0);
}

int QuitOnSignal::Received() {
    return g_signal.load();
}

void QuitOnSignal::Handler(int signal) {
    g_signal.store(signal);
    const char byte = 1;
    if (g_fds[0] < 0) return;
    [[maybe_unused]] const ssize_t put = ::write(g_fds[0], &byte, 1);
}
