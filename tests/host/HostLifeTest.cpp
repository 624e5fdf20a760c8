#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QUuid>

#include "ConferenceChannel.h"
#include "pollserver/HttpClient.h"
#include "pollserver/PollServerProcess.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

// A quibra-host on the offscreen platform with its own configuration and
// temporary folder; stdout and stderr together.
struct HostProcess {
    HostProcess(const TempDir& home, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        env.insert("TMPDIR", QString::fromStdString(home.Path().string()));
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char* proxy :
             {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            env.remove(proxy);
        process.setProcessEnvironment(env);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(QUIBRA_HOST_EXE, args);
    }
    ~HostProcess() {
        process.kill();
        process.waitForFinished();
    }
    // Everything written so far contains `part` (within the guard time).
    bool Says(const QString& part) {
        return WaitFor([&] {
                   output += QString::fromUtf8(process.readAll());
                   return output.contains(part) || process.state() == QProcess::NotRunning;
               }) &&
               output.contains(part);
    }
    QProcess process;
    QString output;
};

std::string Address(const std::string& url) {
    return url.substr(url.find("://") + 3);
}

}  // namespace

// The start-up check asks in the chosen scheme and names the one that answers.
TEST(HostLife, TheStartUpCheckNamesTheSchemeTheServerSpeaks) {
    TempDir home;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(home / "polls.db")) << server.Error();
    const std::pair<std::string, std::string> cases[] = {
        {"https://" + Address(server.HttpUrl()),
         "this is an HTTP server: use --server " + server.HttpUrl()},
        {"http://" + Address(server.HttpsUrl()),
         "this is an HTTPS server: use --server " + server.HttpsUrl()},
        {server.HttpUrl() + "/wendrake-idm", "without a path"}};
    for (const auto& [url, says] : cases) {
        HostProcess host(home, {"--server", QString::fromStdString(url)});
        ASSERT_TRUE(host.process.waitForFinished(30000));
        host.Says({});
        EXPECT_NE(host.process.exitCode(), 0);
        EXPECT_TRUE(host.output.contains(QString::fromStdString(says)))
            << host.output.toStdString();
    }
    EXPECT_TRUE(QDir(QString::fromStdString(home.Path().string()))
                    .entryList({"quibra-host-*"}, QDir::Dirs)
                    .isEmpty());
}

// SIGTERM ends an attendee's host at once while its voting dialog is open, and it
// leaves no temporary folder behind.
TEST(HostLife, SigtermEndsAHostWithAVotingDialogOpen) {
    TempDir home;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(home / "polls.db")) << server.Error();
    HttpClient http;
    const std::string script = server.HttpUrl() + "/wendrake-idm/v4/polling/polling.asp?";
    const HttpClient::Reply created =
        http.Get(script +
                 "job=CreatePolling&userid=p&modulename=quibra&title=Q&type=S&status=N&issign=0"
                 "&ispublish=0&itemcount=1&content_0=Yes&itemname_0=A");
    ASSERT_EQ(created.status, 200);
    const std::string id = created.body.substr(
        created.body.find_first_of("0123456789", created.body.find("PollingId")));
    const std::string pollId = id.substr(0, id.find_first_not_of("0123456789"));
    ASSERT_FALSE(pollId.empty()) << created.body;
    ASSERT_EQ(http.Get(script + "job=UpdatePollingStatus&pollcount=1&pollid_0=" + pollId +
                       "&status_0=O&ispublish_0=0")
                  .status,
              200);

    // The test plays the presenter of the session; its socket lies in the temporary
    // folder the host is given.
    ScopedEnv tmp("TMPDIR", home.Path().string());
    const std::string session =
        "t" + QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
    ConferenceChannel presenter;
    QString error;
    ASSERT_TRUE(presenter.Listen(session, error)) << error.toStdString();
    bool joined = false;
    QObject::connect(&presenter, &ConferenceChannel::AttendeeJoined, [&] { joined = true; });
    HostProcess host(
        home, {"--role", "attendee", "--user", "bob", "--session", QString::fromStdString(session),
               "--server", QString::fromStdString(server.HttpUrl())});
    ASSERT_TRUE(WaitFor([&] { return joined; })) << host.process.readAll().toStdString();
    presenter.Broadcast("/polling/in/authholdpolling",
                        "<Polling><ID>" + pollId + "</ID></Polling>");
    ASSERT_TRUE(host.Says("a plug-in window opened")) << host.output.toStdString();

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(host.process.processId()), SIGTERM);
    ASSERT_TRUE(host.process.waitForFinished(2000)) << "still running after 2 s";
    EXPECT_LT(clock.elapsed(), 2000);
    EXPECT_EQ(host.process.exitStatus(), QProcess::NormalExit);
    EXPECT_TRUE(QDir(QString::fromStdString(home.Path().string()))
                    .entryList({"quibra-host-*"}, QDir::Dirs)
                    .isEmpty());
}
