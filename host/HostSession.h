#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <string>

#include "StreamEvent.h"
#include "quibra/IPollNotify.h"

// What a conferencing client does between the plug-in and the conference:
// the PollServer's event stream tells every host of the module what changed,
// and each host hands its own plug-in the "/polling/in/" message its side
// expects:
//   at an attendee:  open    -> "/polling/in/authholdpolling"
//                    close   -> "/polling/in/stoppolling"
//                    publish -> "/polling/in/clientgetpollresult"
//   at the presenter: ballot, resync -> "/polling/in/clientnotifypolling"
// Hosts share nothing else, so the plug-in's own notifications are only
// logged. UI thread only.
class HostSession : public QObject, public IPollNotify {
    Q_OBJECT
public:
    // Hands a message to this host's plug-in; returns Notify's result, or -1
    // when the payload is not XML or there is no plug-in.
    using DeliverFn = std::function<int32_t(const std::wstring& path, const std::string& xml)>;

    HostSession(bool presenter, DeliverFn deliver, QObject* parent = nullptr);

    int32_t Notify(const wchar_t* path, const CWenNode* payload) override;
    // One event of the module's stream.
    void OnEvent(const StreamEvent& event);

    // The plug-in's message for `event` at this side, with its payload; false
    // when this side has nothing to do with it.
    static bool PathFor(bool presenter, const StreamEvent& event, std::string& path,
                        std::string& xml);

signals:
    void Log(const QString& line);
    // Every notification of the plug-in, with the poll ids it names.
    void Notified(const QString& path, const QStringList& ids);
    // An event was handed to the plug-in as `path`.
    void Delivered(const QString& path);

private:
    bool m_presenter;
    DeliverFn m_deliver;
};
