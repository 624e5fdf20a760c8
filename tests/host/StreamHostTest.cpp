#include <gtest/gtest.h>

#include "HostProcess.h"
#include "ServerJobs.h"
#include "pollserver/PollServerProcess.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

// An answer of the attendee's agent in its real voting dialog (choice A).
QString VoteRequest(const TempDir& shots) {
    return QStringLiteral("/demo/vote <Ask step=\"t\" dir=\"%1\" offset=\"0\" expect=\"1\"/>")
        .arg(QString::fromStdString(shots.Path().string()));
}

// A presenter's and an attendee's host, each with folders of its own, meet only
// through the PollServer's event stream: a poll opened reaches the attendee's
// plug-in, its ballot the presenter's; both reconnect after the server restarts
// and get what was committed meanwhile; with the presenter gone the attendee
// still answers.
TEST(StreamHost, HostsMeetThroughTheServerAndCarryOnAfterARestart) {
    TempDir serverHome, presenterHome, attendeeHome, shots;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(serverHome / "polls.db")) << server.Error();
    const std::string url = server.HttpUrl();
    const QString serverUrl = QString::fromStdString(url);
    auto presenter = std::make_unique<HostProcess>(
        presenterHome,
        QStringList{"--role", "presenter", "--user", "grace", "--server", serverUrl});
    HostProcess attendee(
        attendeeHome, {"--role", "attendee", "--user", "alice", "--server", serverUrl, "--agent"});
    ASSERT_TRUE(presenter->Says("event stream: connected")) << presenter->output.toStdString();
    ASSERT_TRUE(attendee.Says("/demo/ready")) << attendee.output.toStdString();

    ServerJobs jobs(url);
    const std::string first = jobs.Create("grace", "Tea?");
    ASSERT_EQ(jobs.SetStatus(first, "O"), 200);
    const QString id1 = QString::fromStdString(first);
    EXPECT_TRUE(attendee.Says("stream: open " + id1 + " -> /polling/in/authholdpolling"));
    attendee.Write(VoteRequest(shots));
    EXPECT_TRUE(attendee.Says("/demo/voted")) << attendee.output.toStdString();
    EXPECT_TRUE(
        presenter->Says("stream: ballot " + id1 + " by alice -> /polling/in/clientnotifypolling"))
        << presenter->output.toStdString();

    // The server goes away and comes back on the same port with the same database.
    const std::string port = url.substr(url.rfind(':') + 1);
    ASSERT_EQ(server.Stop(), 0);
    EXPECT_TRUE(attendee.Says("event stream: reconnecting since"));
    EXPECT_TRUE(presenter->Says("event stream: reconnecting since"));
    ASSERT_TRUE(server.Start(serverHome / "polls.db", {"--http", port})) << server.Error();
    ASSERT_EQ(jobs.SetStatus(first, "C"), 200);
    EXPECT_TRUE(attendee.Says("stream: close " + id1 + " -> /polling/in/stoppolling"))
        << attendee.output.toStdString();
    EXPECT_TRUE(attendee.Says("event stream: connected", 2));
    // Resumed after the last event it had: the poll still open is not offered again.
    EXPECT_EQ(attendee.output.count("stream: open " + id1 + " -> "), 1);

    // The presenter's host quits; the attendee answers the next poll on its own
    // (as in the interactive demo), choice B.
    presenter.reset();
    attendee.Write("/demo/auto <Auto offset=\"1\" delay=\"0\"/>");
    const std::string second = jobs.Create("grace", "Coffee?");
    ASSERT_EQ(jobs.SetStatus(second, "O"), 200);
    EXPECT_TRUE(attendee.Says("stream: open " + QString::fromStdString(second)));
    EXPECT_TRUE(attendee.Says("/demo/voted", 2)) << attendee.output.toStdString();
    const std::string list = jobs.List("grace");
    const std::size_t record = list.find("PollingId=\"" + second + "\"");
    ASSERT_NE(record, std::string::npos) << list;
    EXPECT_NE(list.find("UserCount=\"1\"", record), std::string::npos) << list;
    const std::size_t choiceB = list.find("ItemName=\"B\"", record);
    ASSERT_NE(choiceB, std::string::npos) << list;
    EXPECT_NE(list.find("PostCount=\"1\"", choiceB), std::string::npos) << list;
    EXPECT_FALSE(attendee.output.contains("error=")) << attendee.output.toStdString();
}

}  // namespace
