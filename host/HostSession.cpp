#include "HostSession.h"

#include <algorithm>

#include "ConferenceChannel.h"
#include "NodeText.h"
#include "ServerTally.h"

namespace {

enum class Side { Attendees, Presenter, Own };

struct Relay {
    const char* notifyPath;
    bool atPresenter;  // whose plug-in sends it
    const char* inPath;
    Side to;
};

constexpr Relay kRelays[] = {
    {"/polling/notify/open", true, "/polling/in/authholdpolling", Side::Attendees},
    {"/polling/notify/close", true, "/polling/in/stoppolling", Side::Attendees},
    {"/polling/notify/publish", true, "/polling/in/clientgetpollresult", Side::Attendees},
    {"/polling/notify/postpolling", false, "/polling/in/clientnotifypolling", Side::Presenter},
    // A presenter who answers a poll itself refreshes its own console.
    {"/polling/notify/postpolling", true, "/polling/in/clientnotifypolling", Side::Own},
};

// What each side lets through to its plug-in from the channel.
constexpr const char* kAttendeeAccepts[] = {
    "/polling/in/authholdpolling", "/polling/in/stoppolling", "/polling/in/clientgetpollresult"};
constexpr const char* kPresenterAccepts[] = {"/polling/in/clientnotifypolling"};

std::string LowerAscii(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text) {
        const wchar_t c = *text;
        if (c > 0x7f) return {};  // no known path has anything but ASCII
        out += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return out;
}

std::string PollingDocument(const QStringList& ids) {
    std::string xml = "<Polling>";
    for (const QString& id : ids) xml += "<ID>" + NodeText::Escape(id.toStdString()) + "</ID>";
    return xml + "</Polling>";
}

}  // namespace

HostSession::HostSession(bool presenter, ConferenceChannel& channel, DeliverFn deliver,
                         QObject* parent)
    : QObject(parent), m_presenter(presenter), m_channel(channel), m_deliver(std::move(deliver)) {
    connect(&channel, &ConferenceChannel::Received, this, &HostSession::OnReceived);
    connect(&channel, &ConferenceChannel::AttendeeJoined, this, &HostSession::OnAttendeeJoined);
    connect(&channel, &ConferenceChannel::AttendeeLeft, this,
            [this](const QString& userId) { emit Log(userId + " has left"); });
    connect(&channel, &ConferenceChannel::Log, this, &HostSession::Log);
    m_again.setSingleShot(true);
    m_again.setInterval(100);
    connect(&m_again, &QTimer::timeout, this, &HostSession::ConfirmNext);
}

void HostSession::ConfirmWith(ServerTally* tally, int limitMs) {
    if (m_tally != nullptr) disconnect(m_tally, nullptr, this, nullptr);
    m_tally = tally;
    m_confirmLimitMs = limitMs;
    if (tally != nullptr) connect(tally, &ServerTally::Fetched, this, &HostSession::OnFetched);
}

void HostSession::Broadcast(const PendingRelay& relay) {
    m_channel.Broadcast(relay.inPath, relay.xml);
    emit Log(relay.shown + " -> attendees: " + QString::fromStdString(relay.inPath));
}

void HostSession::ConfirmNext() {
    if (m_pending.empty() || m_tally == nullptr || !m_tally->Done()) return;
    m_tally->Fetch();
}

void HostSession::OnFetched() {
    if (m_pending.empty()) return;
    PendingRelay& head = m_pending.front();
    bool shown = m_tally->Ok();
    for (const QString& id : head.ids) {
        const auto& polls = m_tally->Polls();
        const auto poll = std::find_if(polls.begin(), polls.end(),
                                       [&](const ServerTally::Poll& p) { return p.id == id; });
        if (poll == polls.end() ||
            (head.state == QLatin1String("published") ? !poll->published
                                                      : poll->status != head.state))
            shown = false;
    }
    if (!shown && head.waiting.elapsed() < m_confirmLimitMs) {
        m_again.start();
        return;
    }
    if (!shown)
        emit Log(QStringLiteral("the server has not confirmed %1; relayed anyway").arg(head.shown));
    Broadcast(head);
    m_pending.pop_front();
    if (!m_pending.empty()) m_again.start(0);
}

int32_t HostSession::Notify(const wchar_t* path, const CWenNode* payload) {
    const std::string notifyPath = LowerAscii(path);
    QStringList ids;
    for (const std::string& id : NodeText::ChildTexts(payload))
        ids.append(QString::fromStdString(id));
    emit Notified(QString::fromStdString(notifyPath), ids);

    const Relay* relay = nullptr;
    for (const Relay& row : kRelays)
        if (notifyPath == row.notifyPath && row.atPresenter == m_presenter) relay = &row;
    const QString shown = QString::fromStdString(notifyPath) + " " + ids.join(',');
    if (relay == nullptr) {
        emit Log(QStringLiteral("not relayed: ") + shown);
        return 0;
    }
    if (notifyPath == "/polling/notify/open") {
        for (const QString& id : ids)
            if (!m_open.contains(id)) m_open.append(id);
    } else if (notifyPath == "/polling/notify/close") {
        for (const QString& id : ids) m_open.removeAll(id);
    }
    const std::string xml = NodeText::OneLine(payload);
    const QString inPath = QString::fromLatin1(relay->inPath);
    switch (relay->to) {
        case Side::Attendees: {
            PendingRelay pending{relay->inPath, xml, ids, {}, shown, {}};
            pending.state = notifyPath == "/polling/notify/open"    ? QStringLiteral("O")
                            : notifyPath == "/polling/notify/close" ? QStringLiteral("C")
                                                                    : QStringLiteral("published");
            if (m_tally == nullptr) {
                Broadcast(pending);
                break;
            }
            pending.waiting.start();
            m_pending.push_back(std::move(pending));
            if (m_pending.size() == 1) ConfirmNext();
            break;
        }
        case Side::Presenter:
            if (m_channel.SendToPresenter(relay->inPath, xml))
                emit Log(shown + " -> presenter: " + inPath);
            break;
        case Side::Own:
            DeliverToPlugin(inPath, xml, QStringLiteral("this host"));
            break;
    }
    return 0;
}

void HostSession::OnReceived(const QString& from, const QString& path, const QByteArray& xml) {
    if (path.startsWith(QLatin1String("/demo/"))) {
        if (m_demoMessages)
            emit DemoMessage(from, path, xml);
        else
            emit Log(QStringLiteral("ignored ") + path + " from " + from);
        return;
    }
    bool accepted = false;
    if (m_presenter) {
        for (const char* allowed : kPresenterAccepts) accepted |= path == QLatin1String(allowed);
    } else {
        for (const char* allowed : kAttendeeAccepts) accepted |= path == QLatin1String(allowed);
    }
    if (!accepted) {
        emit Log(QStringLiteral("ignored ") + path + " from " + from + ": not for this side");
        return;
    }
    DeliverToPlugin(path, xml.toStdString(), from);
}

void HostSession::DeliverToPlugin(const QString& path, const std::string& xml,
                                  const QString& from) {
    const int32_t result = m_deliver ? m_deliver(path.toStdWString(), xml) : -1;
    if (result < 0)
        emit Log(QStringLiteral("dropped ") + path + " from " + from + ": the payload is not XML");
    else {
        emit Log(from + " -> " + path);
        emit Delivered(path);
    }
}

void HostSession::OnAttendeeJoined(const QString& userId, const QString& userName) {
    emit Log(userName + " (" + userId + ") has joined");
    if (!m_presenter || m_open.isEmpty()) return;
    // Joined after polls were posted: hand over those still open.
    m_channel.SendTo(userId, "/polling/in/authholdpolling", PollingDocument(m_open));
    emit Log(QStringLiteral("sent the open polls %1 to %2, who joined late")
                 .arg(m_open.join(','), userId));
}
