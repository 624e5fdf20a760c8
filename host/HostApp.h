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

class EventStream;
class HostSession;
class HostWindow;

// One host: its window, the plug-in it loads, and the module's event stream
// whose events it hands to the plug-in. The plug-in is freed first on the way out, while the
// window it reports to still exists.
class HostApp : public QObject {
    Q_OBJECT
public:
    explicit HostApp(HostOptions options, QObject* parent = nullptr);
    ~HostApp() override;

    // Prepares the user's configuration, checks the server, loads the plug-in,
    // sends init and putuserid and subscribes to the module's event stream. False with a message a
    // person can act on.
    bool Start(QString& error);

    HostWindow* Window() const { return m_window.get(); }
    HostSession* Session() const { return m_session; }
    EventStream* Stream() const { return m_stream; }
    PluginLibrary& Plugin() { return m_plugin; }
    // Appends `tag` to the title of every plug-in window as it opens.
    void TagWindows(QString tag) { m_windowTag = std::move(tag); }
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
    HostSession* m_session = nullptr;
    EventStream* m_stream = nullptr;
    PluginLibrary m_plugin;
    QTimer m_windowWatch;
    QList<QPointer<QWidget>> m_shownWindows;
    QString m_windowTag;
};
