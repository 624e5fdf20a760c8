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
        QObject::connect(&channel, &ConferenceChannel::Log,
                         [this](const QString& line) { log.append(line); });
        QObject::connect(session_.get(), &HostSession::Log,
                         [this](const QString& line) { log.append(line); });
        if (presenter) {
            QString error;
            listening = channel.Listen(session, error);
        } else {
            channel.Join(session, user, user + " 名", 20);
        }
    }
    int32_t Notify(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode root = doc.LoadXml(xml);
        return session_->Notify(path, &root);
    }
    bool Logged(const QString& part) const {
        return std::any_of(log.begin(), log.end(),
                           [&](const QString& line) { return line.contains(part); });
    }

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

TEST(ConferenceChannel, RelaysReachTheRightSideAndALateAttendeeGetsTheOpenPolls) {
    const std::string session = NewSession();
    Host presenter(true, session);
    ASSERT_TRUE(presenter.listening);
    Host ann(false, session, "ann");
    Host bo(false, session, "bo");
    ASSERT_TRUE(WaitFor([&] { return presenter.channel.Attendees() == QStringList{"ann", "bo"}; }));

    presenter.Notify(L"/polling/notify/open", kIds7And8);
    // Line breaks travel as references (the parser has made CR LF a line feed).
    const std::string open =
        "/polling/in/authholdpolling <Polling>&#10;\t<ID>7</ID>&#10;\t<ID>8</ID>&#10;</Polling>";
    ASSERT_TRUE(WaitFor([&] { return ann.delivered.size() == 1 && bo.delivered.size() == 1; }));
    EXPECT_EQ(ann.delivered[0], open);
    EXPECT_EQ(bo.delivered[0], open);

    ann.Notify(L"/polling/notify/postpolling", "<Polling><ID>7</ID></Polling>");
    ASSERT_TRUE(WaitFor([&] { return presenter.delivered.size() == 1; }));
    EXPECT_EQ(presenter.delivered[0],
              "/polling/in/clientnotifypolling <Polling><ID>7</ID></Polling>");

    presenter.Notify(L"/polling/notify/close", "<Polling><ID>7</ID></Polling>");
    presenter.Notify(L"/POLLING/NOTIFY/PUBLISH", "<Polling><ID>7</ID></Polling>");
    ASSERT_TRUE(WaitFor([&] { return bo.delivered.size() == 3; }));
    EXPECT_EQ(bo.delivered[1], "/polling/in/stoppolling <Polling><ID>7</ID></Polling>");
    EXPECT_EQ(bo.delivered[2], "/polling/in/clientgetpollresult <Polling><ID>7</ID></Polling>");
    EXPECT_EQ(presenter.delivered.size(), 1u) << "the presenter's own notices are not its input";
    EXPECT_EQ(presenter.session_->OpenPolls(), QStringList{"8"});

    // Joining after the posting: only the poll still open is handed over.
    Host late(false, session, "cy");
    ASSERT_TRUE(WaitFor([&] { return late.delivered.size() == 1; }));
    EXPECT_EQ(late.delivered[0], "/polling/in/authholdpolling <Polling><ID>8</ID></Polling>");
    EXPECT_TRUE(presenter.Logged("sent the open polls 8 to cy"));
    EXPECT_EQ(ann.delivered.size(), 3u);
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
    EXPECT_TRUE(presenter.Logged("has not said hello"));
    EXPECT_TRUE(presenter.Logged("dropped a malformed line from zed: no path at all"));
    EXPECT_TRUE(presenter.Logged("ignored /polling/in/init from zed: not for this side"));
    EXPECT_TRUE(
        presenter.Logged("dropped a malformed line from zed: /polling/in/"
                         "clientnotifypolling not xml"));
    EXPECT_TRUE(presenter.Logged("dropped /polling/in/clientnotifypolling from zed: the payload"));
    EXPECT_EQ(raw.state(), QLocalSocket::ConnectedState);

    // A line without end, beyond the limit, ends only that connection.
    raw.write(QByteArray(ConferenceChannel::kMaxLine + 10, 'x'));
    EXPECT_TRUE(WaitFor([&] { return raw.state() == QLocalSocket::UnconnectedState; }));
    EXPECT_TRUE(presenter.Logged("closing that connection"));
}

TEST(ConferenceChannel, AnAttendeeWaitsForThePresenterAndOutlivesIt) {
    const std::string session = NewSession();
    Host ann(false, session, "ann");
    EXPECT_TRUE(WaitFor([&] { return ann.Logged("waiting for the presenter"); }));
    ann.Notify(L"/polling/notify/postpolling", "<Polling><ID>1</ID></Polling>");
    EXPECT_TRUE(ann.Logged("no presenter to send /polling/in/clientnotifypolling to"));

    auto first = std::make_unique<Host>(true, session);
    ASSERT_TRUE(WaitFor([&] { return first->channel.Attendees().size() == 1; }));
    Host rival(true, session);
    EXPECT_FALSE(rival.listening) << "one presenter per session";

    first.reset();
    ASSERT_TRUE(WaitFor([&] { return ann.Logged("the presenter has left"); }));
    Host second(true, session);
    ASSERT_TRUE(second.listening);
    ASSERT_TRUE(WaitFor([&] { return second.channel.Attendees().size() == 1; }));
    second.Notify(L"/polling/notify/open", "<Polling><ID>5</ID></Polling>");
    EXPECT_TRUE(WaitFor([&] { return ann.delivered.size() == 1; }));
}

}  // namespace

TEST(ConferenceChannel, StatusChangesReachAttendeesOnceTheServerShowsThem) {
    TempDir work;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    HttpClient http;
    const std::string script = server.HttpUrl() + "/wendrake-idm/v4/polling/polling.asp?";
    const auto created = http.Get(script + HttpClient::Form({{"job", "CreatePolling"},
                                                             {"userid", "grace"},
                                                             {"modulename", "m"},
                                                             {"status", "N"},
                                                             {"ispublish", "0"},
                                                             {"title", "Tea?"},
                                                             {"type", "S"},
                                                             {"issign", "0"},
                                                             {"itemcount", "1"},
                                                             {"itemname_0", "A"},
                                                             {"content_0", "Yes"}}));
    const auto at = created.body.find("PollingId=\"");
    ASSERT_NE(at, std::string::npos) << created.body;
    const std::string id = created.body.substr(at + 11, created.body.find('"', at + 11) - at - 11);
    auto setStatus = [&](const std::string& status, const std::string& publish) {
        ASSERT_EQ(http.Get(script + HttpClient::Form({{"job", "UpdatePollingStatus"},
                                                      {"pollcount", "1"},
                                                      {"pollid_0", id},
                                                      {"status_0", status},
                                                      {"ispublish_0", publish}}))
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
