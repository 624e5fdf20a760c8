#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <memory>
#include <string>

#include "HostOptions.h"
#include "PluginLibrary.h"

class ConferenceChannel;
class HostSession;
class HostWindow;
class ServerTally;

// One host: its window, the plug-in it loads, the conference channel and the
// relays between them. The plug-in is freed first on the way out, while the
// window it reports to still exists.
class HostApp : public QObject {
    Q_OBJECT
public:
    explicit HostApp(HostOptions options, QObject* parent = nullptr);
    ~HostApp() override;

    // Prepares the user's configuration, checks the server, opens the channel,
    // loads the plug-in and sends init and putuserid. False with a message a
    // person can act on.
    bool Start(QString& error);

    HostWindow* Window() const { return m_window.get(); }
    HostSession* Session() const { return m_session; }
    ConferenceChannel* Channel() const { return m_channel; }
    PluginLibrary& Plugin() { return m_plugin; }
    const HostOptions& Options() const { return m_options; }
    bool UseSsl() const { return m_useSsl; }

    // The init message's payload, as the plug-in reads it.
    std::string InitMessage(const std::string& skinFolder, const std::string& tempFolder) const;
    // One real request to the server in the chosen scheme (ServerProbe), skipped
    // when a proxy is configured in the environment, through which the plug-in
    // would go instead. False with what a person can do about it in `why`.
    static bool ServerAnswers(const std::string& host, int port, bool ssl, const std::string& token,
                              QString& why);

private:
    // Logs each plug-in window as it opens, as the host window logs their closing.
    void LogOpenedWindows();

    HostOptions m_options;
    bool m_useSsl = true;
    std::unique_ptr<QTemporaryDir> m_temp;  // made by Start
    std::unique_ptr<HostWindow> m_window;
    ConferenceChannel* m_channel = nullptr;
    HostSession* m_session = nullptr;
    ServerTally* m_tally = nullptr;  // confirms status changes before they are relayed
    PluginLibrary m_plugin;
    QTimer m_windowWatch;
    QList<QPointer<QWidget>> m_shownWindows;
};
