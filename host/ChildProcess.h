#pragma once

#include <QProcess>

// Helpers for the demo's children: each dies with its parent (so a killed
// host leaves nothing behind), and is stopped by its own process id.
namespace ChildProcess {

// Arranges for `process` to get SIGKILL when the host process ends.
void DieWithParent(QProcess& process);
// SIGTERM, up to `graceMs` to end, then SIGKILL; waits for it either way.
void Stop(QProcess& process, int graceMs = 5000);

}  // namespace ChildProcess
