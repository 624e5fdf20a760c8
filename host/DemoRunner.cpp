#include "DemoRunner.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QProcessEnvironment>
#include <QTextStream>
#include <QTimer>
#include <QXmlStreamReader>
#include <cstdio>
#include <cstdlib>

#include "ChildProcess.h"
#include "DemoAgent.h"
#include "EventStream.h"
#include "HostApp.h"
#include "HostSession.h"
#include "HostWindow.h"
#include "InstallLayout.h"
#include "QuitOnSignal.h"
#include "ServerTally.h"
#include "Walkthrough.h"

namespace {

struct DemoPerson {
    const char* userId;
    const char* name;
    const char* lang;  // empty: the demo's own
};

// The presenter and up to eight attendees, in English and in Chinese.
constexpr DemoPerson kPresenter = {"mira", "Mira Castell", ""};  // an invented presenter
constexpr DemoPerson kAttendees[] = {
    {"alice", "Alice", ""},        {"liming", "李明", "zh_CN"},   {"bob", "Bob", ""},
    {"wangfang", "王芳", "zh_CN"}, {"carol", "Carol", ""},        {"zhangwei", "张伟", "zh_CN"},
    {"dave", "Dave", ""},          {"chenjing", "陈静", "zh_CN"},
};

// A user's own settings root, temporary and runtime folders, with a documents
// folder inside the demo's temporary folder so that nothing of the demo lands
// in the real home.
bool MakeUserHome(const QString& root, QString& error) {
    for (const char* sub : {"/config", "/Documents", "/tmp", "/runtime"}) {
        if (!QDir().mkpath(root + sub)) {
            error = QStringLiteral("cannot make ") + root + sub;
            return false;
        }
    }
    // A runtime folder is the user's alone.
    QFile::setPermissions(root + "/runtime",
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile dirs(root + "/config/user-dirs.dirs");
    if (!dirs.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        error = QStringLiteral("cannot write ") + dirs.fileName();
        return false;
    }
    dirs.write("XDG_DOCUMENTS_DIR=\"" + (root + "/Documents").toUtf8() + "\"\n");
    return true;
}

}  // namespace

DemoRunner::DemoRunner(HostOptions options, bool scripted, QObject* parent)
    : QObject(parent),
      m_options(std::move(options)),
      m_scripted(scripted),
      m_temp(QDir::tempPath() + "/quibra-demo-XXXXXX") {}

DemoRunner::~DemoRunner() {
    StopAll();
}

void DemoRunner::Say(const QString& line) const {
    std::printf("quibra-host: %s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

bool DemoRunner::Prepare(QString& error) {
    if (!m_temp.isValid()) {
        error = QStringLiteral("cannot make a temporary folder: ") + m_temp.errorString();
        return false;
    }
    m_out = QDir(QString::fromStdString(m_options.out)).absolutePath();
    if (!QDir().mkpath(m_out)) {
        error = QStringLiteral("cannot make the output folder ") + m_out;
        return false;
    }

    const QString exeFolder = QCoreApplication::applicationDirPath();
    if (m_options.serverGiven) {
        const bool ssl = m_options.useSsl.value_or(true);
        m_serverUrl = QString::fromLatin1(ssl ? "https://" : "http://") +
                      QString::fromStdString(m_options.ManagerIp(ssl));
        // A server of its own keeps this run's polls apart from anyone else's.
        if (m_options.module == HostOptions().module)
            m_options.module = "demo-" + std::to_string(QCoreApplication::applicationPid()) + "-" +
                               std::to_string(QDateTime::currentSecsSinceEpoch());
        Say(QStringLiteral("the PollServer at %1, module %2")
                .arg(m_serverUrl, QString::fromStdString(m_options.module)));
    } else {
        QStringList serverArgs;
        if (Secured()) {
            if (!MakeKeys(error)) return false;
            serverArgs = {QStringLiteral("--cert"),     m_temp.filePath("server.pem"),
                          QStringLiteral("--key"),      m_temp.filePath("server.key"),
                          QStringLiteral("--auth-key"), m_temp.filePath("signing.pub.pem")};
        }
        if (!m_server.Start(InstallLayout::PollServerPath(exeFolder), m_temp.filePath("polls.db"),
                            error, serverArgs))
            return false;
        m_serverUrl = m_server.HttpsUrl();
        Say(QStringLiteral("PollServer (pid %1) at %2 and %3, database in %4")
                .arg(m_server.Pid())
                .arg(m_server.HttpUrl(), m_server.HttpsUrl(), m_temp.path()));
    }

    // The presenter: this process, its settings in the temporary folder.
    const QString home = m_temp.filePath("presenter");
    if (!MakeUserHome(home, error)) return false;
    qputenv("XDG_CONFIG_HOME", (home + "/config").toUtf8());
    HostOptions presenter;
    presenter.role = HostOptions::Role::Presenter;
    presenter.user = kPresenter.userId;
    presenter.name = kPresenter.name;
    presenter.session = "demo-" + std::to_string(QCoreApplication::applicationPid());
    presenter.module = m_options.module;
    std::string parse;
    std::vector<std::string> presenterArgs = {"--server", m_serverUrl.toStdString()};
    for (const auto& [option, value] : {std::pair{"--server-ca", m_options.serverCa},
                                        std::pair{"--server-pin", m_options.serverPin}})
        if (!value.empty()) presenterArgs.insert(presenterArgs.end(), {option, value});
    if (Secured()) {
        m_presenterToken = Token(QString::fromUtf8(kPresenter.userId),
                                 QString::fromUtf8(kPresenter.name), "presenter");
        if (m_presenterToken.isEmpty()) {
            error = QStringLiteral("pollserver token made no token for the presenter");
            return false;
        }
        presenterArgs.insert(presenterArgs.end(),
                             {"--token", m_presenterToken.toStdString(), "--server-ca",
                              m_temp.filePath("ca.pem").toStdString()});
    }
    HostOptions::Outcome outcome = HostOptions::Parse(presenterArgs, presenter, parse);
    if (outcome != HostOptions::Outcome::Run) {
        error = QString::fromStdString(parse);
        return false;
    }
    m_options.session = presenter.session;

    // The attendees first: started while this process has no thread of its own
    // yet (its event stream's), as ThreadSanitizer wants of a process that forks.
    m_attendees.reserve(m_options.attendees);
    for (int i = 0; i < m_options.attendees; ++i) {
        Attendee attendee;
        attendee.userId = QString::fromUtf8(kAttendees[i].userId);
        attendee.name = QString::fromUtf8(kAttendees[i].name);
        attendee.lang = QString::fromUtf8(kAttendees[i].lang);
        m_attendees.push_back(std::move(attendee));
        if (!StartAttendee(m_attendees.back(), i, error)) return false;
    }
    m_presenter = std::make_unique<HostApp>(presenter);
    if (!m_presenter->Start(error)) return false;
    return WaitForAttendees(error);
}

bool DemoRunner::StartAttendee(Attendee& attendee, int index, QString& error) {
    const QString home = m_temp.filePath(QStringLiteral("attendee-%1").arg(index + 1));
    if (!MakeUserHome(home, error)) return false;
    attendee.process = std::make_unique<QProcess>();
    QProcess& process = *attendee.process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + "/config");
    env.insert(QStringLiteral("TMPDIR"), home + "/tmp");
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home + "/runtime");
    if (m_scripted) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.remove(QStringLiteral("LC_ALL"));  // each attendee's own --lang decides
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    ChildProcess::DieWithParent(process);
    QStringList args = {QStringLiteral("--role"),    QStringLiteral("attendee"),
                        QStringLiteral("--user"),    attendee.userId,
                        QStringLiteral("--name"),    attendee.name,
                        QStringLiteral("--session"), QString::fromStdString(m_options.session),
                        QStringLiteral("--module"),  QString::fromStdString(m_options.module),
                        QStringLiteral("--server"),  m_serverUrl,
                        QStringLiteral("--agent")};
    if (!attendee.lang.isEmpty()) args << QStringLiteral("--lang") << attendee.lang;
    if (!m_options.serverCa.empty())
        args << QStringLiteral("--server-ca") << QString::fromStdString(m_options.serverCa);
    if (!m_options.serverPin.empty())
        args << QStringLiteral("--server-pin") << QString::fromStdString(m_options.serverPin);
    if (Secured()) {
        attendee.token = Token(attendee.userId, attendee.name, "attendee");
        if (attendee.token.isEmpty()) {
            error = QStringLiteral("pollserver token made no token for ") + attendee.name;
            return false;
        }
        args << QStringLiteral("--token") << attendee.token << QStringLiteral("--server-ca")
             << m_temp.filePath("ca.pem");
    }
    // Each attendee's log goes to the output folder and, prefixed, to ours;
    // its agent's messages go to the walkthrough.
    auto log = std::make_shared<QFile>(m_out + "/" + attendee.userId + ".log");
    log->open(QIODevice::WriteOnly | QIODevice::Truncate);
    const QString prefix = QStringLiteral("[%1] ").arg(attendee.name);
    const QString userId = attendee.userId;
    connect(&process, &QProcess::readyRead, this, [this, &process, log, prefix, userId] {
        while (process.canReadLine()) {
            const QByteArray line = process.readLine();
            QString path;
            QByteArray xml;
            if (DemoAgent::Decode(line.chopped(line.endsWith('\n') ? 1 : 0), path, xml)) {
                if (path != QLatin1String("/demo/ready")) {
                    emit AgentMessage(userId, path, xml);
                    continue;
                }
                for (Attendee& each : m_attendees) each.ready |= each.userId == userId;
            }
            log->write(line);
            log->flush();
            std::fputs((prefix.toUtf8() + line).constData(), stdout);
        }
        std::fflush(stdout);
    });
    process.start(QCoreApplication::applicationFilePath(), args);
    if (!process.waitForStarted(10000)) {
        error = QStringLiteral("cannot start the attendee ") + attendee.name + ": " +
                process.errorString();
        return false;
    }
    Say(QStringLiteral("attendee %1 (pid %2)").arg(attendee.name).arg(process.processId()));
    return true;
}

void DemoRunner::SendToAgent(const QString& userId, const QString& path, const QString& xml) {
    for (Attendee& attendee : m_attendees)
        if (attendee.userId == userId && attendee.process->state() == QProcess::Running)
            attendee.process->write(DemoAgent::Encode(path, xml));
}

bool DemoRunner::WaitForAttendees(QString& error) {
    QEventLoop loop;
    QTimer tick;
    QDeadlineTimer deadline(60000);
    auto check = [&] {
        bool all = true;
        for (Attendee& attendee : m_attendees) {
            if (attendee.process->state() == QProcess::NotRunning) {
                error = QStringLiteral("the attendee %1 ended before joining (exit %2)")
                            .arg(attendee.name)
                            .arg(attendee.process->exitCode());
                loop.exit(1);
                return;
            }
            all = all && attendee.ready;
        }
        // Every host hears the server before anything happens.
        if (all && m_presenter->Stream()->CurrentState() == EventStream::State::Connected)
            loop.exit(0);
        if (deadline.hasExpired()) {
            error = QStringLiteral("the hosts' event streams did not connect within a minute");
            loop.exit(1);
        }
    };
    connect(&tick, &QTimer::timeout, &loop, check);
    tick.start(20);
    check();
    const int result = loop.exec();
    if (QuitOnSignal::Received() != 0) {
        error = QStringLiteral("stopped by signal %1").arg(QuitOnSignal::Received());
        return false;
    }
    return result == 0;
}

bool DemoRunner::MakeKeys(QString& error) {
    const auto at = [this](const char* name) { return m_temp.filePath(QString::fromLatin1(name)); };
    const QStringList ec = {QStringLiteral("-newkey"), QStringLiteral("ec"),
                            QStringLiteral("-pkeyopt"), QStringLiteral("ec_paramgen_curve:P-256"),
                            QStringLiteral("-nodes")};
    const std::vector<QStringList> steps = {
        {"genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
         at("signing.pem")},
        {"pkey", "-in", at("signing.pem"), "-pubout", "-out", at("signing.pub.pem")},
        QStringList{"req", "-x509"} + ec +
            QStringList{"-subj", "/CN=Quibra demo CA", "-days", "2", "-keyout", at("ca.key"),
                        "-out", at("ca.pem")},
        QStringList{"req"} + ec +
            QStringList{"-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                        "-keyout", at("server.key"), "-out", at("server.csr")},
        {"x509", "-req", "-in", at("server.csr"), "-CA", at("ca.pem"), "-CAkey", at("ca.key"),
         "-CAcreateserial", "-copy_extensions", "copy", "-days", "2", "-out", at("server.pem")},
    };
    for (const QStringList& step : steps) {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), step);
        if (!openssl.waitForFinished(30000) || openssl.exitStatus() != QProcess::NormalExit ||
            openssl.exitCode() != 0) {
            error = QStringLiteral("openssl ") + step.first() + QStringLiteral(" failed: ") +
                    QString::fromUtf8(openssl.readAll()).trimmed();
            return false;
        }
    }
    Say(QStringLiteral("secured: tokens signed with %1, the PollServer's certificate from %2")
            .arg(at("signing.pem"), at("ca.pem")));
    return true;
}

QString DemoRunner::Token(const QString& user, const QString& name, const char* role) const {
    QProcess mint;
    mint.start(InstallLayout::PollServerPath(QCoreApplication::applicationDirPath()),
               {QStringLiteral("token"), QStringLiteral("--key"), m_temp.filePath("signing.pem"),
                QStringLiteral("--user"), user, QStringLiteral("--name"), name,
                QStringLiteral("--module"), QString::fromStdString(m_options.module),
                QStringLiteral("--role"), QString::fromLatin1(role)});
    if (!mint.waitForFinished(30000) || mint.exitCode() != 0) return {};
    return QString::fromUtf8(mint.readAllStandardOutput()).trimmed();
}

void DemoRunner::Guide() {
    HostWindow* window = m_presenter->Window();
    const QString sample =
        InstallLayout::DataFolder(QCoreApplication::applicationDirPath()) + "/samples";
    // The console's file dialogs open in the current folder: the sample's.
    QDir::setCurrent(sample);
    const QString answer = m_options.manual
                               ? tr("answer in the attendees' voting dialogs")
                               : tr("the attendees answer on their own in a few seconds");
    window->SetGuide(
        tr("Next: in the Poll Manager press New (the first button), choose Import "
           "and open Sample.pol, or write a poll; then select the polls (Ctrl+A) "
           "and press Post."));
    connect(m_presenter->Session(), &HostSession::Notified, window,
            [window, answer](const QString& path) {
                if (path == QLatin1String("/polling/notify/open"))
                    window->SetGuide(tr("Posted: %1. Ballots show in the console; then select "
                                        "the polls and press Stop.")
                                         .arg(answer));
                else if (path == QLatin1String("/polling/notify/close"))
                    window->SetGuide(
                        tr("Stopped. Select the polls, press the results button "
                           "and choose Publish, so the attendees see them."));
                else if (path == QLatin1String("/polling/notify/publish"))
                    window->SetGuide(
                        tr("Published: every attendee sees the results. The "
                           "results button's Export writes an HTML report; close "
                           "this window to end the demo."));
            });
    // Each attendee answers from another choice, a few seconds after a poll opens.
    for (std::size_t i = 0; !m_options.manual && i < m_attendees.size(); ++i)
        SendToAgent(m_attendees[i].userId, QStringLiteral("/demo/auto"),
                    QStringLiteral("<Auto offset=\"%1\" delay=\"3000\"/>").arg(i));
    connect(this, &DemoRunner::AgentMessage, this,
            [this](const QString&, const QString& path, const QByteArray& xml) {
                if (path != QLatin1String("/demo/voted")) return;
                QXmlStreamReader reader(xml);
                while (!reader.atEnd()) {
                    if (reader.readNext() != QXmlStreamReader::StartElement ||
                        reader.name() != QLatin1String("Poll"))
                        continue;
                    const auto a = reader.attributes();
                    for (const QString& choice :
                         a.value("choices").toString().split(',', Qt::SkipEmptyParts))
                        ++m_answered[a.value("title").toString()][choice];
                }
            });
}

void DemoRunner::WriteSummary(double seconds) {
    // The server's own count of the presenter's polls, asked once at the end.
    ServerTally tally(m_serverUrl, QString::fromStdString(m_presenter->Options().user),
                      QString::fromStdString(m_options.module));
    tally.SetToken(m_presenterToken.toUtf8());
    QEventLoop loop;
    connect(&tally, &ServerTally::Fetched, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    tally.Fetch();
    if (!tally.Done()) loop.exec();
    QFile file(m_out + "/summary.txt");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    QStringList names;
    for (const Attendee& attendee : m_attendees) names.append(attendee.name);
    out << "Quibra demo, played by hand\n";
    out << "attendees: " << m_attendees.size() << " (" << names.join(", ") << "), answering "
        << (m_options.manual ? "by hand" : "on their own") << "\n";
    out << "run time: " << QString::number(seconds, 'f', 1) << " s\n\n";
    if (!tally.Ok()) {
        out << "The server's count could not be read: " << tally.Error() << "\n";
        return;
    }
    out << "Ballots per choice: counted by the server / answered by the attendees on their "
           "own\n";
    for (const ServerTally::Poll& poll : tally.Polls()) {
        out << "  " << poll.title << "  (" << poll.status << (poll.published ? ", published" : "")
            << ", voters " << poll.voters << ")\n";
        for (const ServerTally::Choice& choice : poll.choices)
            out << "    " << choice.name << "  server " << choice.count << "  answered "
                << m_answered[poll.title][choice.name] << "\n";
    }
}

void DemoRunner::StopAll() {
    for (Attendee& attendee : m_attendees) {
        if (!attendee.process || attendee.process->state() == QProcess::NotRunning) continue;
        const qint64 pid = attendee.process->processId();
        attendee.process->disconnect(this);
        ChildProcess::Stop(*attendee.process);
        Say(QStringLiteral("stopped attendee %1 (pid %2)").arg(attendee.name).arg(pid));
    }
    m_attendees.clear();
    m_presenter.reset();
    if (m_server.Pid() > 0) {
        const qint64 pid = m_server.Pid();
        m_server.Stop();
        Say(QStringLiteral("stopped the PollServer (pid %1)").arg(pid));
    }
}

int DemoRunner::Run() {
    QElapsedTimer clock;
    clock.start();
    QString error;
    if (!Prepare(error)) {
        std::fprintf(stderr, "quibra-host: %s\n", error.toUtf8().constData());
        StopAll();
        return 1;
    }
    int code = 0;
    m_presenter->Window()->show();
    if (m_scripted) {
        std::vector<Walkthrough::Attendee> people;
        for (const Attendee& attendee : m_attendees)
            people.push_back({attendee.userId, attendee.name, attendee.token.toUtf8()});
        Walkthrough walk(*m_presenter, people, m_out, m_serverUrl, m_presenterToken.toUtf8());
        walk.SetAgentLink([this](const QString& userId, const QString& path, const QString& xml) {
            SendToAgent(userId, path, xml);
        });
        connect(this, &DemoRunner::AgentMessage, &walk, &Walkthrough::OnAgent);
        connect(&walk, &Walkthrough::Finished, qApp,
                [](int result) { QCoreApplication::exit(result); });
        QTimer::singleShot(0, &walk, &Walkthrough::Start);
        code = QCoreApplication::exec();
        if (code == 0 && !walk.Succeeded()) code = 1;
    } else {
        HostWindow* window = m_presenter->Window();
        QApplication::setQuitOnLastWindowClosed(false);
        connect(window, &HostWindow::Closing, qApp, [] { QuitNow(); });
        Guide();
        m_presenter->Plugin().Send(L"/polling/in/showmanager");
        Say(QStringLiteral("the demo is running; close the host window or press Ctrl+C to end it"));
        code = QCoreApplication::exec();
        WriteSummary(double(clock.elapsed()) / 1000.0);
    }
    StopAll();
    Say(QStringLiteral("demo %1 in %2 s; output in %3")
            .arg(code == 0 ? QStringLiteral("done") : QStringLiteral("FAILED"))
            .arg(double(clock.elapsed()) / 1000.0, 0, 'f', 1)
            .arg(m_out));
    return code;
}
