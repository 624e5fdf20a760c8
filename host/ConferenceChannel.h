#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <string>

class QLocalServer;
class QLocalSocket;

// The conference's signalling between the hosts of one session, standing in
// for what a real conferencing client carries: the presenter's host listens
// on a local socket named after the session, attendees' hosts connect to it.
// One message a line: a path, one space, an XML payload without line breaks.
// An attendee introduces itself first with "/conference/hello" and its
// <Attendee userid="..." username="..."/>. Lines that do not have this form
// are logged and dropped; the connection stays. UI thread only.
class ConferenceChannel : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kHelloPath = "/conference/hello";
    // A longer line is taken for garbage and ends that connection.
    static constexpr qsizetype kMaxLine = 1 << 20;

    explicit ConferenceChannel(QObject* parent = nullptr);
    ~ConferenceChannel() override;

    // The local socket name of a session's channel.
    static QString SocketName(const std::string& session);

    // Presenter: listens for the session. A socket left behind by a presenter
    // that died is taken over; one that answers belongs to a live presenter
    // of the same session, and Listen fails with a message.
    bool Listen(const std::string& session, QString& error);
    // Attendee: connects and introduces itself; while no presenter answers it
    // tries again every `retryMs`, and after the presenter has gone it waits
    // for the next one.
    void Join(const std::string& session, const std::string& userId, const std::string& userName,
              int retryMs = 500);

    // Presenter: to every attendee, or to those whose user id is `userId`.
    void Broadcast(const std::string& path, const std::string& xml);
    void SendTo(const QString& userId, const std::string& path, const std::string& xml);
    // Attendee: to the presenter; false (logged) when not connected.
    bool SendToPresenter(const std::string& path, const std::string& xml);

    bool IsPresenter() const { return m_server != nullptr; }
    bool Connected() const;
    // Attendees that have introduced themselves.
    QStringList Attendees() const;

    // One line of the wire format, and its reading (false for a malformed line).
    static QByteArray Encode(const std::string& path, const std::string& xml);
    static bool Decode(const QByteArray& line, std::string& path, std::string& xml);

signals:
    // `from` is the attendee's user id at the presenter, "presenter" at an attendee.
    void Received(const QString& from, const QString& path, const QByteArray& xml);
    void AttendeeJoined(const QString& userId, const QString& userName);
    void AttendeeLeft(const QString& userId);
    void PresenterConnected();
    void PresenterLeft();
    void Log(const QString& line);

private:
    void OnNewConnection();
    void OnReadable(QLocalSocket* socket);
    void OnDisconnected(QLocalSocket* socket);
    void HandleLine(QLocalSocket* socket, const QByteArray& line);
    void TryConnect();
    void Write(QLocalSocket* socket, const QByteArray& line);

    QLocalServer* m_server = nullptr;
    QList<QPointer<QLocalSocket>> m_peers;    // presenter: attendees' connections
    QHash<QLocalSocket*, QString> m_peerIds;  // presenter: user id after hello
    QHash<QLocalSocket*, QString> m_peerNames;
    QPointer<QLocalSocket> m_presenter;  // attendee: the connection
    QPointer<QLocalSocket> m_joined;     // attendee: the connection once it is up
    QTimer m_retry;
    QString m_socketName;
    QByteArray m_hello;
    bool m_waitingLogged = false;
};
