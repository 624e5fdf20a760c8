#include <gtest/gtest.h>
#include <QLocalSocket>
#include <QUuid>

#include <memory>

#include "ConferenceChannel.h"
#include "HostSession.h"
#include "ServerTally.h"
#include "pollserver/HttpClient.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CWenDoc.h"
#include "support/TestSupport.h"

using namespace quibra::test;

namespace {

// One host of the conference: a channel, its relays, and what reached its plug-in.
struct Host {
    Host(bool presenter, const std::string& session, const std::string& user = "") {
        session_ = std::make_unique<HostSession>(
            presenter, channel, [this](const std::wstring& path, const std::string& xml) {
                delivered.push_back(QString::fromStdWString(path).toStdString() + " " + xml);
                return xml.rfind("<", 0) == 0 && xml.back() == '>' ? 0 : -1;
            });
        const auto keep = [this](const QString& line) { log.append(line); };
        QObject::connect(&channel, &ConferenceChannel::Log, keep);
        QObject::connect(session_.get(), &HostSession::Log, keep);
        QString error;
        if (presenter)
            listening = channel.Listen(session, error);
        else
            channel.Join(session, user, user + " 名", 20);
    }
    int32_t Notify(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode root = doc.LoadXml(xml);
        return session_->Notify(path, &root);
    }
    bool Logged(const QString& part) const { return log.join('\n').contains(part); }

    ConferenceChannel channel;
    std::unique_ptr<HostSession> session_;
    std::vector<std::string> delivered;
    QStringList log;
    bool listening = false;
};

std::string NewSession() {
    return "t" + QUuid::createUuid().toString(QUuid::Id128).left(12).toStdString();
}

const char kIds7And8[] = "<Polling>\r\n\t<ID>7</ID>\r\n\t<ID>8</ID>\r\n</Polling>";

// The relays themselves (open, ballot, close, publish to every attendee) are
// the walkthrough's; here what it does not show: an attendee before, between
// and after presenters, the relays' bytes, a late attendee.
TEST(ConferenceChannel, AttendeesOutliveThePresenterAndALateOneGetsTheOpenPolls) {
    const std::string session = NewSession();
    Host ann(false, session, "ann");
    EXPECT_TRUE(WaitFor([&] { return ann.Logged("waiting for the presenter"); }));
    ann.Notify(L"/polling/notify/postpolling", "<Polling><ID>1</ID></Polling>");
    EXPECT_TRUE(ann.Logged("no presenter to send /polling/in/clientnotifypolling to"));
    auto presenter = std::make_unique<Host>(true, session);
    ASSERT_TRUE(presenter->listening);
    ASSERT_TRUE(WaitFor([&] { return presenter->channel.Attendees() == QStringList{"ann"}; }));
    Host rival(true, session);
    EXPECT_FALSE(rival.listening) << "one presenter per session";

    presenter->Notify(L"/polling/notify/open", kIds7And8);
    // Line breaks travel as references (the parser has made CR LF a line feed).
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 1; }));
    EXPECT_EQ(
        ann.delivered[0],
        "/polling/in/authholdpolling <Polling>&#10;\t<ID>7</ID>&#10;\t<ID>8</ID>&#10;</Polling>");
    presenter->Notify(L"/POLLING/NOTIFY/CLOSE", "<Polling><ID>7</ID></Polling>");
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 2; }));
    EXPECT_EQ(ann.delivered[1], "/polling/in/stoppolling <Polling><ID>7</ID></Polling>");
    EXPECT_TRUE(presenter->delivered.empty()) << "the presenter's own notices are not its input";
    EXPECT_EQ(presenter->session_->OpenPolls(), QStringList{"8"});

    // Joining after the posting: only the poll still open is handed over.
    Host late(false, session, "cy");
    ASSERT_TRUE(WaitFor([&] { return late.delivered.size() == 1; }));
    EXPECT_EQ(late.delivered[0], "/polling/in/authholdpolling <Polling><ID>8</ID></Polling>");
    EXPECT_TRUE(presenter->Logged("sent the open polls 8 to cy"));

    // The presenter leaves; the next one reaches the attendees still there.
    presenter.reset();
    ASSERT_TRUE(WaitFor([&] { return ann.Logged("the presenter has left"); }));
    Host second(true, session);
    ASSERT_TRUE(second.listening);
    ASSERT_TRUE(WaitFor([&] { return second.channel.Attendees().size() == 2; }));
    second.Notify(L"/polling/notify/open", "<Polling><ID>5</ID></Polling>");
    EXPECT_TRUE(WaitFor([&] { return ann.delivered.size() == 3; }));
}

TEST(ConferenceChannel, MalformedAndForeignLinesAreLoggedAndTheConnectionStays) {
    const std::string session = NewSession();
    Host presenter(true, session);
    QLocalSocket raw;
    raw.connectToServer(ConferenceChannel::SocketName(session));
    ASSERT_TRUE(raw.waitForConnected(5000));
    raw.write("/polling/in/clientnotifypolling <Polling/>\n");  // before hello
    raw.write("/conference/hello <Attendee userid=\"zed\"/>\n");
    raw.write("no path at all\n");
    raw.write("/polling/in/init <init><mainhwnd>1</mainhwnd></init>\n");
    raw.write("/polling/in/clientnotifypolling not xml\n");
    raw.write("/polling/in/clientnotifypolling <broken\n");
    raw.write("/polling/in/clientnotifypolling <Polling><ID>3</ID></Polling>\n");
    raw.flush();
    ASSERT_TRUE(WaitFor([&] { return presenter.delivered.size() == 2; }))
        << presenter.log.join('\n').toStdString();
    EXPECT_EQ(presenter.delivered[1],
              "/polling/in/clientnotifypolling <Polling><ID>3</ID></Polling>");
    for (const char* line :
         {"has not said hello", "dropped a malformed line from zed: no path at all",
          "ignored /polling/in/init from zed: not for this side",
          "dropped a malformed line from zed: /polling/in/clientnotifypolling not xml",
          "dropped /polling/in/clientnotifypolling from zed: the payload"})
        EXPECT_TRUE(presenter.Logged(line)) << line;
    EXPECT_EQ(raw.state(), QLocalSocket::ConnectedState);

    // A line without end, beyond the limit, ends only that connection.
    raw.write(QByteArray(ConferenceChannel::kMaxLine + 10, 'x'));
    EXPECT_TRUE(WaitFor([&] { return raw.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_TRUE(presenter.Logged("closing that connection"));
}

}  // namespace

TEST(ConferenceChannel, StatusChangesReachAttendeesOnceTheServerShowsThem) {
    TempDir work;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    HttpClient http;
    const std::string script = server.HttpUrl() + "/wendrake-idm/v4/polling/polling.asp?job=";
    const auto created =
        http.Get(script +
                 "CreatePolling&userid=grace&modulename=m&status=N&ispublish=0&"
                 "title=Tea&type=S&issign=0&itemcount=1&itemname_0=A&content_0=Yes");
    const auto at = created.body.find("PollingId=\"");
    ASSERT_NE(at, std::string::npos) << created.body;
    const std::string id = created.body.substr(at + 11, created.body.find('"', at + 11) - at - 11);
    auto setStatus = [&](const std::string& status, const std::string& publish) {
        ASSERT_EQ(http.Get(script + "UpdatePollingStatus&pollcount=1&pollid_0=" + id +
                           "&status_0=" + status + "&ispublish_0=" + publish)
                      .status,
                  200);
    };

    const std::string session = NewSession();
    Host presenter(true, session);
    ServerTally tally(QString::fromStdString(server.HttpUrl()), "grace", "m");
    int fetches = 0;
    QObject::connect(&tally, &ServerTally::Fetched, [&] { ++fetches; });
    presenter.session_->ConfirmWith(&tally, 20000);
    Host ann(false, session, "ann");
    ASSERT_TRUE(WaitFor([&] { return presenter.channel.Attendees().size() == 1; }));

    // Announced while the server still has the poll as a draft: held back.
    const std::string ids = "<Polling><ID>" + id + "</ID></Polling>";
    presenter.Notify(L"/polling/notify/open", ids);
    ASSERT_TRUE(WaitFor([&] { return fetches >= 3; }));
    EXPECT_TRUE(ann.delivered.empty());
    setStatus("O", "0");
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 1; }));
    EXPECT_EQ(ann.delivered[0], "/polling/in/authholdpolling " + ids);

    // Close and publish keep their order, each waiting for its own change.
    presenter.Notify(L"/polling/notify/close", ids);
    presenter.Notify(L"/polling/notify/publish", ids);
    fetches = 0;
    ASSERT_TRUE(WaitFor([&] { return fetches >= 3; }));
    EXPECT_EQ(ann.delivered.size(), 1u);
    setStatus("C", "");
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 2; }));
    EXPECT_EQ(ann.delivered[1], "/polling/in/stoppolling " + ids);
    setStatus("", "1");
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 3; }));
    EXPECT_EQ(ann.delivered[2], "/polling/in/clientgetpollresult " + ids);

    // A change the server never shows goes after the limit, with a word in the log.
    presenter.session_->ConfirmWith(&tally, 200);
    presenter.Notify(L"/polling/notify/open", "<Polling><ID>999999</ID></Polling>");
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 4; }));
    EXPECT_TRUE(presenter.Logged("has not confirmed"));
}
