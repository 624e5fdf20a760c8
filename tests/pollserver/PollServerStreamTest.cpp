// The event stream of the real pollserver: what a subscriber is sent after
// each commit, where it starts, how it resumes, and who is refused.
#include <sys/resource.h>

#include <fstream>

#include "EventStreamClient.h"
#include "JwsKey.h"
#include "PollServerTest.h"
#include "TokenMinter.h"
#include "TokenVerifier.h"

namespace quibra::test {
namespace {

using Subscriber = std::unique_ptr<EventStreamClient>;

// A subscriber of the server at `url` whose reply head is in (status 200 expected).
Subscriber SubscribeAt(const std::string& url, const std::string& query,
                       const std::string& headers = {}) {
    auto subscriber = std::make_unique<EventStreamClient>();
    EXPECT_TRUE(subscriber->Open(url, query, headers));
    EXPECT_EQ(subscriber->Status(), 200) << subscriber->Head();
    return subscriber;
}

// The next `count` frames as "event data" lines, in id order.
Strings Events(EventStreamClient& subscriber, std::size_t count) {
    Strings events;
    long long last = 0;
    while (events.size() < count) {
        const auto frame = subscriber.Next();
        if (!frame) break;
        const long long id = std::stoll(frame->id);
        EXPECT_GE(id, last) << frame->event << " " << frame->data;
        last = id;
        events.push_back(frame->event + " " + frame->data);
    }
    return events;
}

class PollServerStreamTest : public PollServerTest {
protected:
    Subscriber Subscribe(const std::string& query, const std::string& headers = {}) {
        return SubscribeAt(m_server.HttpUrl(), query, headers);
    }
    // A subscriber of a7 in m1 that never reads, with a small receive buffer.
    void NeverRead(RawConnection& stuck) {
        const int small = 4096;
        ASSERT_TRUE(stuck.Connect(m_server.HttpUrl()));
        setsockopt(stuck.Fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
        ASSERT_TRUE(stuck.Send(
            "GET /quibra/v1/events?modulename=m1&userid=a7 HTTP/1.1\r\nHost: x\r\n\r\n"));
    }
    std::string OpenIn(const std::string& module) {
        const auto id = Session().Create("a7", module, "Q", "S", false, {{"A", "yes"}});
        EXPECT_EQ(Session().SetStatus(id, "O", ""), 200);
        return id;
    }
};

TEST_F(PollServerStreamTest, EventsFollowTheirCommitsInOrderAndBallotsReachOnlyTheAuthor) {
    auto presenter = Subscribe("modulename=m1&userid=a7");
    auto attendee = Subscribe("modulename=m1&userid=u1");
    auto elsewhere = Subscribe("modulename=m2&userid=a7");
    for (const char* line : {"Content-Type: text/event-stream\r\n", "Cache-Control: no-cache\r\n",
                             "X-Accel-Buffering: no\r\n", "Transfer-Encoding: chunked\r\n"})
        EXPECT_NE(presenter->Head().find(line), std::string::npos) << line;
    for (auto* subscriber : {&presenter, &attendee, &elsewhere})
        EXPECT_EQ((*subscriber)->NextEvent(), "open ") << "nothing is open yet";

    const auto first = OpenPoll("S", false);
    const auto second = Session().Create("a7", "m1", "Q2", "S", false, {{"A", "yes"}});
    ASSERT_EQ(Session().Vote(first, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(first, "u \n%2", "Bob", {"B"}), 200);
    ASSERT_EQ(Session().Vote(first, "u3", "Cy", {"Z"}), 400) << "refused: no event";
    ASSERT_EQ(
        Session()
            .Polling("job=UpdatePollingStatus&pollcount=2&pollid_0=" + first +
                     "&status_0=C&ispublish_0=1&pollid_1=" + second + "&status_1=O&ispublish_1=")
            .status,
        200);
    const auto m2 = OpenIn("m2");

    EXPECT_EQ(Events(*presenter, 6),
              (Strings{"open " + first, "ballot " + first + ",u1", "ballot " + first + ",u %0A%252",
                       "open " + second, "close " + first, "publish " + first}));
    EXPECT_EQ(Events(*attendee, 3), (Strings{"open " + first, "open " + second, "close " + first}));
    EXPECT_EQ(elsewhere->NextEvent(), "open " + m2);
}

TEST_F(PollServerStreamTest, ALateSubscriberStartsFromTheOpenPollsOfItsModule) {
    const auto first = OpenPoll("S", false);
    const auto closed = OpenIn("m1");
    OpenIn("m2");
    const auto last = OpenIn("m1");
    auto early = Subscribe("modulename=m1");
    ASSERT_EQ(early->NextEvent(), "open " + first + "," + closed + "," + last);
    ASSERT_EQ(Session().SetStatus(closed, "C", ""), 200);
    const auto closing = early->Next();
    ASSERT_TRUE(closing);

    const auto late = Subscribe("modulename=m1")->Next();
    ASSERT_TRUE(late);
    EXPECT_EQ(late->event + " " + late->data, "open " + first + "," + last);
    EXPECT_EQ(late->id, closing->id)
        << "a resume from the open frame starts after the log's newest";
}

TEST_F(PollServerStreamTest, LastEventIdResumesAcrossARestartOrStartsOver) {
    const auto id = OpenPoll("S", false);
    const auto start = Subscribe("modulename=m1&userid=a7")->Next();
    ASSERT_TRUE(start);
    ASSERT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().SetStatus(id, "C", "1"), 200);
    ASSERT_NO_FATAL_FAILURE(Restart());

    auto resumed = Subscribe("modulename=m1&userid=a7", "Last-Event-ID: " + start->id + "\r\n");
    EXPECT_EQ(Events(*resumed, 3),
              (Strings{"ballot " + id + ",u1", "close " + id, "publish " + id}));
    // An id the log never had, or not an id at all: the subscriber refetches.
    for (const char* last : {"999999", "0", "x1", ""}) {
        auto restarted = Subscribe("modulename=m1", "Last-Event-ID: " + std::string(last) + "\r\n");
        EXPECT_EQ(Events(*restarted, 2), (Strings{"resync ", "open "})) << last;
    }
}

TEST_F(PollServerStreamTest, QuietStreamsAreKeptAliveAndAStopEndsThemCleanlyAlsoOverTls) {
    ASSERT_NO_FATAL_FAILURE(Stop());
    ASSERT_NO_FATAL_FAILURE(Start({"--stream-keepalive", "1"}));
    const auto tls = RawConnection::ClientContext();
    auto plain = Subscribe("modulename=m1");
    EventStreamClient secure;
    secure.UseTls(tls.get());
    ASSERT_TRUE(secure.Open(m_server.HttpsUrl(), "modulename=m1"));
    ASSERT_EQ(secure.Status(), 200);
    for (auto* subscriber : {plain.get(), &secure}) {
        ASSERT_EQ(subscriber->NextEvent(), "open ");
        const auto quiet = subscriber->Next();
        ASSERT_TRUE(quiet);
        EXPECT_EQ(quiet->comment, " keep-alive");
    }
    const auto id = OpenPoll("S", false);
    EXPECT_EQ(secure.NextEvent(), "open " + id);
    EXPECT_EQ(m_server.Stop(), 0);
    EXPECT_TRUE(plain->EndsCleanly());
    EXPECT_TRUE(secure.EndsCleanly());
}

TEST_F(PollServerStreamTest, BadRequestsAreRefusedAndHttp10EndsWithTheConnection) {
    const struct {
        std::string query;
        std::string method;
        int status;
    } cases[] = {{"", "GET", 400},
                 {"modulename=", "GET", 400},
                 {"modulename=%ZZ", "GET", 400},
                 {"modulename=m1", "POST", 405}};
    for (const auto& refused : cases) {
        EventStreamClient subscriber;
        ASSERT_TRUE(subscriber.Open(m_server.HttpUrl(), refused.query, "", refused.method));
        EXPECT_EQ(subscriber.Status(), refused.status) << refused.query;
        EXPECT_NE(subscriber.Head().find("text/xml"), std::string::npos) << refused.query;
    }
    EventStreamClient old;
    ASSERT_TRUE(old.Open(m_server.HttpUrl(), "modulename=m1", "", "GET", "HTTP/1.0"));
    ASSERT_EQ(old.Status(), 200);
    EXPECT_NE(old.Head().find("Connection: close\r\n"), std::string::npos);
    EXPECT_EQ(old.NextEvent(), "open ");
}

TEST_F(PollServerStreamTest, ASubscriberThatFallsBehindIsDroppedAndTheOthersGoOn) {
    ASSERT_NO_FATAL_FAILURE(Stop());
    ASSERT_NO_FATAL_FAILURE(Start({"--synchronous", "normal", "--metrics", "127.0.0.1:0"}));
    const auto id = OpenPoll("S", false);
    RawConnection stuck;
    ASSERT_NO_FATAL_FAILURE(NeverRead(stuck));
    auto reader = Subscribe("modulename=m1&userid=a7");
    ASSERT_EQ(reader->NextEvent(), "open " + id);
    // Ballots of long user ids: more frames than the stuck one's buffers and queue hold.
    const std::string voter(8000, 'v');
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(Session().Vote(id, voter + std::to_string(i), "V", {"A"}), 200);
        ASSERT_EQ(reader->NextEvent(), "ballot " + id + "," + voter + std::to_string(i));
    }
    // Dropped by the server, its frames unread: the connection is reset.
    pollfd ended{stuck.Fd(), POLLRDHUP, 0};
    ASSERT_EQ(::poll(&ended, 1, static_cast<int>(EventStreamClient::kPatience.count())), 1);
    EXPECT_NE(ended.revents & (POLLHUP | POLLERR), 0);
    EXPECT_NE(HttpClient()
                  .Get(m_server.MetricsUrl() + "/metrics")
                  .body.find("{bound=\"stream_queue\"} 1\n"),
              std::string::npos);
}

// Tokens: a stream of the token's own module only; ballots to the token's user.
class PollServerStreamTokenTest : public PollServerStreamTest {
protected:
    void SetUp() override {
        const auto secret = m_dir / "secret";
        std::ofstream(secret) << std::string(40, 's');
        std::string reason;
        m_key = pollserver::JwsKey::SecretFile(secret, reason);
        ASSERT_TRUE(m_key) << reason;
        Start({"--auth-secret", secret.string()});
    }
    std::string Bearer(const std::string& user, const std::string& module,
                       const std::string& role) {
        pollserver::TokenMinter::Claims claims;
        claims.user = claims.name = user;
        claims.module = module;
        claims.role = role;
        claims.issuedAt = pollserver::TokenVerifier::Now();
        return "Authorization: Bearer " + *pollserver::TokenMinter::Mint(*m_key, claims) + "\r\n";
    }
    long Job(const std::string& bearer, const std::string& form) {
        HttpClient client;
        client.SetHeader(bearer.substr(0, bearer.size() - 2));
        return client.Get(m_server.HttpUrl() + PollServerSession::PollingPath() + "?" + form)
            .status;
    }
    std::unique_ptr<pollserver::JwsKey> m_key;
};

TEST_F(PollServerStreamTokenTest, AStreamNeedsATokenOfItsModuleAndBallotsGoToTheTokensUser) {
    const auto presenterToken = Bearer("a7", "m1", "presenter");
    const auto voterToken = Bearer("u1", "m1", "attendee");
    for (const auto& [headers, status] :
         std::vector<std::pair<std::string, int>>{{"", 401},
                                                  {"Authorization: Bearer x.y.z\r\n", 401},
                                                  {Bearer("a7", "m2", "presenter"), 403}}) {
        EventStreamClient refused;
        ASSERT_TRUE(refused.Open(m_server.HttpUrl(), "modulename=m1", headers));
        EXPECT_EQ(refused.Status(), status) << headers;
    }
    auto presenter = Subscribe("modulename=m1", presenterToken);
    // The userid field is not taken when a token says who the subscriber is.
    auto attendee = Subscribe("modulename=m1&userid=a7", voterToken);
    ASSERT_EQ(Job(presenterToken,
                  "job=CreatePolling&userid=a7&modulename=m1&status=O&title=T&type=S&issign=0&"
                  "ispublish=0&itemcount=1&itemname_0=A&content_0=yes"),
              200);
    const auto id = std::to_string(1);
    ASSERT_EQ(
        Job(voterToken, "job=PostPolling&pollid=1&userid=u1&username=U&itemcount=1&itemname_0=A"),
        200);
    ASSERT_EQ(Job(presenterToken, "job=UpdatePollingStatus&pollcount=1&pollid_0=1&status_0=C"),
              200);
    EXPECT_EQ(Events(*presenter, 4),
              (Strings{"open ", "open " + id, "ballot " + id + ",u1", "close " + id}));
    EXPECT_EQ(Events(*attendee, 3), (Strings{"open ", "open " + id, "close " + id}));
}

// Many quiet subscribers and one that never reads: while ballots flow, every
// subscriber that reads gets every event.
TEST_F(PollServerStreamTest, TwoThousandSubscribersGetEveryBallotBesideOneThatNeverReads) {
    constexpr int kSubscribers = 2000;
    constexpr int kBallots = 100;
    rlimit files{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &files), 0);
    if (files.rlim_max < 2 * kSubscribers + 256) GTEST_SKIP() << "too few file descriptors";
    files.rlim_cur = files.rlim_max;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &files), 0);
    ASSERT_NO_FATAL_FAILURE(Stop());
    ASSERT_NO_FATAL_FAILURE(Start(
        {"--max-connections", "5000", "--max-per-address", "5000", "--synchronous", "normal"}));
    const auto id = OpenPoll("M", false);

    RawConnection stuck;
    ASSERT_NO_FATAL_FAILURE(NeverRead(stuck));
    std::vector<Subscriber> subscribers(kSubscribers);
    for (auto& subscriber : subscribers) {
        subscriber = std::make_unique<EventStreamClient>();
        ASSERT_TRUE(subscriber->Open(m_server.HttpUrl(), "modulename=m1&userid=a7"));
    }
    // Each has its first frame: all are subscribed.
    for (auto& subscriber : subscribers) {
        ASSERT_EQ(subscriber->Status(), 200);
        ASSERT_EQ(subscriber->NextEvent(), "open " + id);
    }
    Strings expected;
    for (int i = 0; i < kBallots; ++i) {
        const auto voter = "u" + std::to_string(i);
        ASSERT_EQ(Session().Vote(id, voter, voter, {"A", "B"}), 200);
        expected.push_back("ballot " + id + "," + voter);
    }
    for (auto& subscriber : subscribers) ASSERT_EQ(Events(*subscriber, kBallots), expected);
}

// Several servers on one PostgreSQL database: a change made through one
// reaches the subscribers of every one, and an id resumes at any of them.
class PollServerStreamSharedTest : public PollServerStoreTest {};

TEST_P(PollServerStreamSharedTest, AChangeThroughOneServerReachesTheSubscribersOfAnother) {
    PollServerProcess other;
    ASSERT_TRUE(other.Start(m_databaseUri)) << other.Error();
    auto subscriber = SubscribeAt(other.HttpUrl(), "modulename=m1&userid=a7");
    const auto start = subscriber->Next();
    ASSERT_TRUE(start);
    const auto id = OpenPoll("S", false);
    ASSERT_EQ(PollServerSession(other.HttpUrl()).Vote(id, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(id, "u2", "Bo", {"B"}), 200);
    const Strings expected{"open " + id, "ballot " + id + ",u1", "ballot " + id + ",u2"};
    EXPECT_EQ(Events(*subscriber, 3), expected);
    auto resumed = SubscribeAt(m_server.HttpUrl(), "modulename=m1&userid=a7",
                               "Last-Event-ID: " + start->id + "\r\n");
    EXPECT_EQ(Events(*resumed, 3), expected);
}

INSTANTIATE_TEST_SUITE_P(Stores, PollServerStreamSharedTest, ::testing::Values("postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quibra::test
