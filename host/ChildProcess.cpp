#include "ChildProcess.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace ChildProcess {

void DieWithParent(QProcess& process) {
    const pid_t parent = ::getpid();
    process.setChildProcessModifier([parent] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The parent may have gone between fork and prctl.
        if (::getppid() != parent) ::_exit(127);
    });
}

void Stop(QProcess& process, int graceMs) {
    if (process.state() == QProcess::NotRunning) return;
    process.terminate();  // SIGTERM to its pid
    if (!process.waitForFinished(graceMs)) {
        process.kill();
        process.waitForFinished(graceMs);
    }
}

}  // namespace ChildProcess
