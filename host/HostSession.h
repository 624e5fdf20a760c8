#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <functional>
#include <string>

#include "quibra/IPollNotify.h"

class ConferenceChannel;
class ServerTally;

// What a conferencing client does with the plug-in's notifications: it relays
// them to the other side of the conference, as "/polling/in/" messages.
//   presenter's "/polling/notify/open"    -> attendees' "/polling/in/authholdpolling"
//   presenter's "/polling/notify/close"   -> attendees' "/polling/in/stoppolling"
//   presenter's "/polling/notify/publish" -> attendees' "/polling/in/clientgetpollresult"
//   an attendee's "/polling/notify/postpolling" -> presenter's "/polling/in/clientnotifypolling"
// Messages arriving over the channel are handed to this host's plug-in only
// when they are ones its side expects. An attendee that joins late is sent
// the polls that are open. UI thread only.
class HostSession : public QObject, public IPollNotify {
    Q_OBJECT
public:
    // Hands a message to this host's plug-in; returns Notify's result, or -1
    // when the payload is not XML or there is no plug-in.
    using DeliverFn = std::function<int32_t(const std::wstring& path, const std::string& xml)>;

    HostSession(bool presenter, ConferenceChannel& channel, DeliverFn deliver,
                QObject* parent = nullptr);

    int32_t Notify(const wchar_t* path, const CWenNode* payload) override;

    // Poll ids posted and not yet stopped, in posting order (presenter).
    const QStringList& OpenPolls() const { return m_open; }
    // Lets "/demo/" messages through to DemoMessage (the demo's walkthrough).
    void AllowDemoMessages(bool allow) { m_demoMessages = allow; }
    // The presenter's plug-in announces a status change as its request to the
    // server starts; an attendee that asked the server at once could find the
    // polls not yet open (or published) and be shown nothing. With a tally,
    // the relays to the attendees wait, in order, until the server shows the
    // change (at most `limitMs`, then they go regardless); without one they
    // go at once. The tally stays owned by the caller.
    void ConfirmWith(ServerTally* tally, int limitMs = 5000);

signals:
    void Log(const QString& line);
    // Every notification of the plug-in, with the poll ids it names.
    void Notified(const QString& path, const QStringList& ids);
    void DemoMessage(const QString& from, const QString& path, const QByteArray& xml);
    // A message from the channel (or this host) was handed to the plug-in.
    void Delivered(const QString& path);

private:
    struct PendingRelay {
        std::string inPath;
        std::string xml;
        QStringList ids;
        QString state;  // what the server must show: "O", "C" or "published"
        QString shown;
        QElapsedTimer waiting;
    };
    void Broadcast(const PendingRelay& relay);
    void ConfirmNext();
    void OnFetched();
    void OnReceived(const QString& from, const QString& path, const QByteArray& xml);
    void OnAttendeeJoined(const QString& userId, const QString& userName);
    void DeliverToPlugin(const QString& path, const std::string& xml, const QString& from);

    bool m_presenter;
    ConferenceChannel& m_channel;
    std::function<int32_t(const std::wstring&, const std::string&)> m_deliver;
    QStringList m_open;
    bool m_demoMessages = false;
    ServerTally* m_tally = nullptr;
    int m_confirmLimitMs = 5000;
    std::deque<PendingRelay> m_pending;
    QTimer m_again;
};
