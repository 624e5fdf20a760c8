#include "ServerProcess.h"

#include <QDeadlineTimer>

#include "ChildProcess.h"

bool ServerProcess::Start(const QString& executable, const QString& database, QString& error,
                          const QStringList& extra, int limitMs) {
    ChildProcess::DieWithParent(m_process);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(executable, QStringList{QStringLiteral("--http"), QStringLiteral("0"),
                                            QStringLiteral("--https"), QStringLiteral("0"),
                                            QStringLiteral("--db"), database} +
                                    extra);
    if (!m_process.waitForStarted(limitMs)) {
        error = QStringLiteral("cannot start ") + executable + ": " + m_process.errorString();
        return false;
    }
    // "pollserver ready: http://127.0.0.1:P https://127.0.0.1:Q"
    QDeadlineTimer deadline(limitMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            error = QStringLiteral("the PollServer did not say it was ready");
            Stop();
            return false;
        }
    }
    const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
    for (const QString& word : line.split(' ', Qt::SkipEmptyParts)) {
        if (word.startsWith(QLatin1String("http://"))) m_http = word;
        if (word.startsWith(QLatin1String("https://"))) m_https = word;
    }
    if (m_http.isEmpty() || m_https.isEmpty()) {
        error = QStringLiteral("unexpected first line from the PollServer: ") + line;
        Stop();
        return false;
    }
    return true;
}

void ServerProcess::Stop() {
    ChildProcess::Stop(m_process);
}
