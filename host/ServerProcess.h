#pragma once

#include <QProcess>
#include <QString>

// The built pollserver as a child process on free loopback ports, with its
// database at a given path. Stopped by its process id (SIGTERM, then SIGKILL
// after a grace period) when Stop is called or this object goes away; it also
// dies with the host should the host itself be killed.
class ServerProcess {
public:
    ServerProcess() = default;
    ~ServerProcess() { Stop(); }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Waits (at most `limitMs`) for the ready line. False with the reason.
    // `extra`: more arguments (a certificate, a token key).
    bool Start(const QString& executable, const QString& database, QString& error,
               const QStringList& extra = {}, int limitMs = 30000);
    void Stop();

    qint64 Pid() const { return m_process.processId(); }
    const QString& HttpUrl() const { return m_http; }
    const QString& HttpsUrl() const { return m_https; }

private:
    QProcess m_process;
    QString m_http;
    QString m_https;
};
