#include "HostProcess.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>

using quibra::test::WaitFor;

HostProcess::HostProcess(const quibra::test::TempDir& home, const QStringList& args) {
    const QString root = QString::fromStdString(home.Path().string());
    QDir().mkpath(root + "/runtime");
    QFile::setPermissions(root + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("XDG_RUNTIME_DIR", root + "/runtime");
    env.insert("TMPDIR", root);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* proxy :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(proxy);
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QUIBRA_HOST_EXE, args);
}

HostProcess::~HostProcess() {
    process.kill();
    process.waitForFinished();
}

bool HostProcess::Says(const QString& part, int times) {
    const auto said = [&] { return output.count(part) >= times; };
    return WaitFor([&] {
               output += QString::fromUtf8(process.readAll());
               return said() || process.state() == QProcess::NotRunning;
           }) &&
           said();
}

void HostProcess::Write(const QString& line) {
    process.write(line.toUtf8() + '\n');
    process.waitForBytesWritten();
}
