#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class ActionQueue;
class HostApp;

// An attendee's hands in the scripted demo: on the walkthrough's requests
// (over the conference channel, paths under "/demo/") it answers the open
// voting dialogs, reads and closes the result dialogs, and photographs its
// windows, and reports back what it did. Attendee hosts started with --agent.
class DemoAgent : public QObject {
    Q_OBJECT
public:
    explicit DemoAgent(HostApp& host, QObject* parent = nullptr);

private:
    void OnMessage(const QString& from, const QString& path, const QByteArray& xml);
    void Vote(int offset, int expect, const QString& step, const QString& dir);
    void Results(int expect, const QString& step, const QString& dir);
    void ShootAll(const QString& step, const QString& dir);
    // Photographs `windows` as dir/step-user-N.png, N counting from `first`;
    // the files and sizes as XML.
    QString Shoot(const QList<QWidget*>& windows, const QString& step, const QString& dir,
                  int first = 1);
    void Reply(const std::string& path, const QString& xml);
    void Run(ActionQueue* queue, const std::string& replyPath);

    HostApp& m_host;
    QString m_user;
    QString m_result;  // the reply being gathered by the running script
};
