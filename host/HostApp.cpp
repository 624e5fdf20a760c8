#include "HostApp.h"

#include <QApplication>
#include <QCoreApplication>
#include <cstdint>
#include <cstdlib>

#include "EventStream.h"
#include "HostSession.h"
#include "HostWindow.h"
#include "InstallLayout.h"
#include "NodeText.h"
#include "ServerProbe.h"
#include "UserConfig.h"

namespace {

struct SkinButton {
    const char* id;
    int tipMsgId;
    const char* image;
};

// The tooltips of the shipped skin's buttons, by the ids of the language files.
constexpr SkinButton kSkinButtons[] = {
    {"ok_btn", 15050, "ok_btn.png"},
    {"cancel_btn", 15051, "cancel_btn.png"},
    {"poll_new_btn", 15052, "new_btn.png"},
    {"poll_edit_btn", 15053, "edit_btn.png"},
    {"poll_start_btn", 15054, "start_btn.png"},
    {"poll_stop_btn", 15055, "stop_btn.png"},
    {"poll_publish_btn", 15056, "publish_btn.png"},
    {"poll_delete_btn", 15057, "delete_btn.png"},
    {"poll_post_btn", 15058, "submit_btn.png"},
    {"poll_disclaim_btn", 15059, "decline_btn.png"},
};
// The editor's background behind its radio buttons and check box, as the
// shipped skin paints it (245, 243, 238), red in the low byte.
constexpr int kDialogBackground = 0x00EEF3F5;

std::string Element(const char* name, const std::string& text) {
    return std::string("<") + name + ">" + NodeText::Escape(text) + "</" + name + ">";
}

}  // namespace

HostApp::HostApp(HostOptions options, QObject* parent)
    : QObject(parent), m_options(std::move(options)) {}

HostApp::~HostApp() {
    // The plug-in's windows and notifications go before the window they name.
    // No event reaches a plug-in that is gone.
    delete m_stream;
    m_plugin.Free();
    delete m_session;
    m_window.reset();
    m_temp.reset();
}

void HostApp::LogOpenedWindows() {
    // Polled rather than filtered: an application-wide event filter would read
    // every event posted from Qt's own threads.
    QList<QPointer<QWidget>> shown;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (widget == m_window.get() || !widget->isVisible() ||
            (type != Qt::Window && type != Qt::Dialog))
            continue;
        shown.append(widget);
        if (m_shownWindows.contains(widget)) continue;
        m_window->AppendLog(tr("a plug-in window opened: %1").arg(widget->windowTitle()));
        if (!m_windowTag.isEmpty() && !widget->windowTitle().endsWith(m_windowTag))
            widget->setWindowTitle(widget->windowTitle() + m_windowTag);
    }
    m_shownWindows = shown;
}

bool HostApp::ServerAnswers(const std::string& host, int port, bool ssl, const std::string& token,
                            QString& why) {
    for (const char* name :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"}) {
        const char* value = std::getenv(name);
        if (value != nullptr && *value != '\0') return true;
    }
    return ServerProbe::Check(host, port, ssl, why, token);
}

std::string HostApp::InitMessage(const std::string& skinFolder,
                                 const std::string& tempFolder) const {
    const auto* window = m_window.get();
    std::string xml = "<init>";
    xml += Element("skinfolder", skinFolder);
    xml += Element("mainhwnd", std::to_string(reinterpret_cast<std::uintptr_t>(window)));
    xml += "<skincfg background=\"background_console.png\" dlg_background_color=\"" +
           std::to_string(kDialogBackground) + "\">";
    for (const SkinButton& button : kSkinButtons)
        xml += std::string("<item id=\"") + button.id + "\" tip_msg_id=\"" +
               std::to_string(button.tipMsgId) + "\" image=\"" + button.image + "\"/>";
    xml += "</skincfg>";
    xml += Element("userid", m_options.user);
    xml += Element("username", m_options.name);
    xml += Element("sessionid", m_options.session);
    xml += Element("modulename", m_options.module);
    xml += Element("proxyuser", "");
    xml += Element("proxypw", "");
    xml += Element("managerip", m_options.ManagerIp(m_useSsl));
    // The presenter owns the polls it creates under its own user id.
    xml += Element("authorname", m_options.user);
    xml += Element("tmpfolder", tempFolder);
    if (!m_options.token.empty()) xml += Element("authtoken", m_options.token);
    return xml + "</init>";
}

bool HostApp::Start(QString& error) {
    UserConfig config;
    config.SetServerIdentity(m_options.serverCa, m_options.serverPin);
    std::string message;
    if (!config.Prepare(m_options.useSsl, message)) {
        error = QString::fromStdString(message);
        return false;
    }
    m_useSsl = config.UseSsl();
    const int port = m_options.EffectivePort(m_useSsl);
    QString why;
    if (!ServerAnswers(m_options.serverHost, port, m_useSsl, m_options.token, why)) {
        error = why;
        return false;
    }
    if (!config.Save(message)) {
        error = QString::fromStdString(message);
        return false;
    }
    // Made only once the host will run; removed with it, also when a signal ends it.
    m_temp = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/quibra-host-XXXXXX");
    if (!m_temp->isValid()) {
        error = QStringLiteral("cannot make a temporary folder: ") + m_temp->errorString();
        return false;
    }

    const bool presenter = m_options.IsPresenter();
    const QString server = QString::fromLatin1(m_useSsl ? "https://" : "http://") +
                           QString::fromStdString(m_options.ManagerIp(m_useSsl));
    m_window = std::make_unique<HostWindow>(
        presenter, QString::fromStdString(m_options.name + " (" + m_options.user + ")"),
        QString::fromStdString(m_options.session), server);
    m_session =
        new HostSession(presenter, [this](const std::wstring& path, const std::string& xml) {
            return m_plugin.SendXml(path.c_str(), xml);
        });
    HostWindow* window = m_window.get();
    connect(m_session, &HostSession::Log, window, &HostWindow::AppendLog);

    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (!m_plugin.Load(InstallLayout::PluginPath(exeFolder).toStdString())) {
        error = QString::fromStdString(m_plugin.Error());
        return false;
    }
    connect(&m_windowWatch, &QTimer::timeout, this, &HostApp::LogOpenedWindows);
    m_windowWatch.start(100);
    m_plugin.Create(m_session);
    const std::string skinFolder =
        InstallLayout::DataFolder(exeFolder).toStdString() + "/skin/" + config.SkinName();
    const int32_t init = m_plugin.SendXml(L"/polling/in/init",
                                          InitMessage(skinFolder, m_temp->path().toStdString()));
    m_plugin.SendText(L"/polling/in/putuserid",
                      QString::fromStdString(m_options.user).toStdWString());
    if (init != 0 && presenter)
        window->AppendLog(tr("the plug-in has no poll manager window in this build"));
    connect(window, &HostWindow::PollsRequested, this, [this, window] {
        if (m_plugin.Send(L"/polling/in/showmanager") != 0)
            window->AppendLog(tr("the poll manager window could not be shown"));
    });
    window->AppendLog(QStringLiteral("%1 %2 in session %3, server %4")
                          .arg(QString::fromStdString(m_options.name),
                               presenter ? tr("presents") : tr("attends"),
                               QString::fromStdString(m_options.session), server));

    EventStream::Settings stream;
    stream.serverUrl = server.toStdString();
    stream.module = m_options.module;
    // Without a token the server takes the presenter's word for who it is.
    if (presenter) stream.userId = m_options.user;
    stream.token = m_options.token;
    stream.caFile = m_options.serverCa;
    stream.pin = m_options.serverPin;
    m_stream = new EventStream(stream);
    connect(m_stream, &EventStream::Received, m_session, &HostSession::OnEvent);
    connect(m_stream, &EventStream::Log, window, &HostWindow::AppendLog);
    connect(m_stream, &EventStream::StateChanged, window, [window](const QString& state) {
        window->SetStreamState(state);
        window->AppendLog(QStringLiteral("event stream: ") + state);
    });
    m_stream->Start();
    return true;
}
