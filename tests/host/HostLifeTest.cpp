#include <gtest/gtest.h>
#include <signal.h>

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>

#include "HostProcess.h"
#include "ServerJobs.h"
#include "pollserver/PollServerProcess.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

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
    ServerJobs jobs(server.HttpUrl());
    const std::string pollId = jobs.Create("p", "Q");
    ASSERT_FALSE(pollId.empty());
    ASSERT_EQ(jobs.SetStatus(pollId, "O"), 200);

    // The poll is open when the attendee subscribes: its voting dialog opens.
    HostProcess host(home, {"--role", "attendee", "--user", "bob", "--server",
                            QString::fromStdString(server.HttpUrl())});
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
