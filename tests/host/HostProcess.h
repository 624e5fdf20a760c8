#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include "support/TestSupport.h"

// A quibra-host on the offscreen platform with its own configuration, temporary
// and runtime folders under `home`, no proxy; stdout and stderr together.
class HostProcess {
public:
    HostProcess(const quibra::test::TempDir& home, const QStringList& args);
    ~HostProcess();

    // What it has written contains `part` at least `times` times (within the
    // guard time, or until it ends).
    bool Says(const QString& part, int times = 1);
    // A line on its standard input.
    void Write(const QString& line);

    QProcess process;
    QString output;
};
