#pragma once

#include <QObject>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <map>
#include <memory>
#include <vector>

#include "HostOptions.h"
#include "ServerProcess.h"

class HostApp;

// quibra-host --demo: a PollServer on free loopback ports with a fresh
// database in a temporary folder (or, with --server, one already running), the
// presenter in this process and the attendees as child processes of their own
// (one plug-in per process), each with its own temporary, settings and runtime
// folders: they share nothing with the presenter but the server's URL and meet
// only through its event stream. The harness speaks with each attendee's
// DemoAgent over the child's standard input and output. With a display a
// person plays the presenter; scripted, the walkthrough drives the real
// windows. Everything started is stopped by process id on the way out.
class DemoRunner : public QObject {
    Q_OBJECT
public:
    struct Attendee {
        QString userId;
        QString name;
        QString lang;   // empty: the demo's own language
        QString token;  // secured demo: the attendee's own bearer token
        std::unique_ptr<QProcess> process;
        bool ready = false;  // its event stream is connected
    };

    DemoRunner(HostOptions options, bool scripted, QObject* parent = nullptr);
    ~DemoRunner() override;

    // The process exit code: 0 only when the demo ran through (scripted: when
    // every step was done and every count matched).
    int Run();

signals:
    // A "/demo/" message from an attendee's agent.
    void AgentMessage(const QString& userId, const QString& path, const QByteArray& xml);

private:
    void SendToAgent(const QString& userId, const QString& path, const QString& xml);
    // The interactive demo: the presenter's guide, the attendees answering on
    // their own, and summary.txt at the end.
    void Guide();
    void WriteSummary(double seconds);
    bool Prepare(QString& error);
    bool StartAttendee(Attendee& attendee, int index, QString& error);
    // Secured demo: a token signing key, a CA and the PollServer's certificate
    // signed by it, made with the openssl command in the temporary folder.
    bool MakeKeys(QString& error);
    // A token of `pollserver token` for one participant; empty on failure.
    QString Token(const QString& user, const QString& name, const char* role) const;
    // Tokens and a verified certificate: the demo's own server, unless --insecure.
    bool Secured() const { return !m_options.insecure && !m_options.serverGiven; }
    bool WaitForAttendees(QString& error);
    void StopAll();
    void Say(const QString& line) const;

    HostOptions m_options;
    bool m_scripted;
    QTemporaryDir m_temp;
    QString m_presenterToken;
    QString m_out;
    QString m_serverUrl;  // the PollServer every host is given
    ServerProcess m_server;
    std::unique_ptr<HostApp> m_presenter;
    std::vector<Attendee> m_attendees;
    std::map<QString, std::map<QString, int>> m_answered;  // per poll title, per choice
};
