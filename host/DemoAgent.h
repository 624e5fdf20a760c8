#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

class ActionQueue;
class HostApp;
class QSocketNotifier;

// An attendee's hands in the demo, which started it with --agent. The demo
// harness and the agent talk over the child's standard input and output, not
// through any conference road: one message a line, a path under "/demo/", a
// space, an XML payload. The agent says "/demo/ready" once its event stream
// is connected; on the walkthrough's requests it answers the open voting
// dialogs, reads and closes the result dialogs, and photographs its windows,
// and reports back what it did.
class DemoAgent : public QObject {
    Q_OBJECT
public:
    explicit DemoAgent(HostApp& host, QObject* parent = nullptr);

    // One line of the harness's wire: "/demo/... <xml>", without line breaks.
    static QByteArray Encode(const QString& path, const QString& xml);
    // False for a line that is not a "/demo/" message.
    static bool Decode(const QByteArray& line, QString& path, QByteArray& xml);

private:
    void OnReadable();
    void OnMessage(const QString& path, const QByteArray& xml);
    // Answers the voting dialogs open (at least `expect`); its queue, running.
    ActionQueue* Vote(int offset, int expect, const QString& step, const QString& dir);
    // The interactive demo: answers each poll `delayMs` after it opens.
    void AnswerOnYourOwn(int offset, int delayMs);
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
    QSocketNotifier* m_input;
    QByteArray m_pending;  // a partial line of standard input
    bool m_ready = false;
    QTimer m_autoTimer;
    int m_autoOffset = 0;
    bool m_autoOn = false;
    bool m_pollsOpened = false;
    bool m_autoBusy = false;
};
