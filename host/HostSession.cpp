#include "HostSession.h"

#include "NodeText.h"

namespace {

struct Route {
    StreamEvent::Kind kind;
    bool atPresenter;
    const char* inPath;
};

constexpr Route kRoutes[] = {
    {StreamEvent::Kind::Open, false, "/polling/in/authholdpolling"},
    {StreamEvent::Kind::Close, false, "/polling/in/stoppolling"},
    {StreamEvent::Kind::Publish, false, "/polling/in/clientgetpollresult"},
    {StreamEvent::Kind::Ballot, true, "/polling/in/clientnotifypolling"},
    // The presenter's list may have missed changes: the plug-in fetches it again.
    {StreamEvent::Kind::Resync, true, "/polling/in/clientnotifypolling"},
};

std::string LowerAscii(const wchar_t* text) {
    std::string out;
    for (; text != nullptr && *text != L'\0'; ++text) {
        const wchar_t c = *text;
        if (c > 0x7f) return {};  // no known path has anything but ASCII
        out += static_cast<char>(c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c);
    }
    return out;
}

}  // namespace

HostSession::HostSession(bool presenter, DeliverFn deliver, QObject* parent)
    : QObject(parent), m_presenter(presenter), m_deliver(std::move(deliver)) {}

int32_t HostSession::Notify(const wchar_t* path, const CWenNode* payload) {
    const QString notifyPath = QString::fromStdString(LowerAscii(path));
    QStringList ids;
    for (const std::string& id : NodeText::ChildTexts(payload))
        ids.append(QString::fromStdString(id));
    emit Notified(notifyPath, ids);
    // The server tells the other hosts once the change has committed.
    emit Log(QStringLiteral("the plug-in: ") + notifyPath + " " + ids.join(','));
    return 0;
}

bool HostSession::PathFor(bool presenter, const StreamEvent& event, std::string& path,
                          std::string& xml) {
    for (const Route& route : kRoutes) {
        if (route.kind != event.kind || route.atPresenter != presenter) continue;
        path = route.inPath;
        xml = "<Polling>";
        for (const std::string& id : event.pollIds) xml += "<ID>" + id + "</ID>";
        xml += "</Polling>";
        return true;
    }
    return false;
}

void HostSession::OnEvent(const StreamEvent& event) {
    QString shown = QString::fromLatin1(StreamEvent::KindName(event.kind));
    for (std::size_t i = 0; i < event.pollIds.size(); ++i)
        shown += (i == 0 ? " " : ",") + QString::fromStdString(event.pollIds[i]);
    if (event.kind == StreamEvent::Kind::Ballot)
        shown += QStringLiteral(" by ") + QString::fromStdString(event.userId);
    std::string path;
    std::string xml;
    // An open frame without polls (none open when this host subscribed) says nothing.
    if (!PathFor(m_presenter, event, path, xml) ||
        (event.kind == StreamEvent::Kind::Open && event.pollIds.empty())) {
        emit Log(QStringLiteral("stream: ") + shown + QStringLiteral(" (nothing to do here)"));
        return;
    }
    const QString inPath = QString::fromStdString(path);
    if (m_deliver && m_deliver(QString(inPath).toStdWString(), xml) >= 0) {
        emit Log(QStringLiteral("stream: ") + shown + " -> " + inPath);
        emit Delivered(inPath);
    } else {
        emit Log(QStringLiteral("stream: ") + shown + " -> " + inPath +
                 QStringLiteral(" was not taken by the plug-in"));
    }
}
