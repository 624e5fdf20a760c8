// Malformed requests get a 4xx reply with a short error document and change nothing.
#include "PollServerTest.h"
#include "RawConnection.h"

namespace quibra::test {
namespace {

class PollServerBadInputTest : public PollServerTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(PollServerTest::SetUp());
        m_open = OpenPoll("S", true);
        m_draft = Session().Create("a7", "m1", "Draft", "M", false, {{"A", "a"}, {"B", "b"}});
        m_published = OpenPoll("M", true);
        ASSERT_EQ(Session().Vote(m_open, "u1", "Ann", {"A"}), 200);
        ASSERT_EQ(Session().Vote(m_published, "u1", "Ann", {"A", "C"}), 200);
        ASSERT_EQ(Session().SetStatus(m_published, "C", "1"), 200);
    }
    // Everything a reply could show, taken before and after the bad requests.
    std::string Snapshot() { return Session().Everything({m_open, m_draft, m_published}); }

    static void ExpectRefused(const HttpClient::Reply& reply, long status,
                              const std::string& what) {
        EXPECT_EQ(reply.status, status) << what << "\n" << reply.body;
        EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size())) << what;
        PollListReply parsed;
        ASSERT_TRUE(parsed.Parse(reply.body)) << what << "\n" << reply.body;
        EXPECT_EQ(parsed.ResultName(), "Error") << what;
        auto result = parsed.Result();
        EXPECT_EQ(result["Code"], std::to_string(status)) << what;
        EXPECT_FALSE(result["Message"].empty()) << what;
        EXPECT_LT(reply.body.size(), 400u) << what;
    }

    std::string m_open;
    std::string m_draft;
    std::string m_published;
};

std::string Repeat(const std::string& unit, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += unit;
    return text;
}

TEST_F(PollServerBadInputTest, MalformedJobsAreRefusedAndChangeNothing) {
    const std::string create =
        "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=N&issign=0&ispublish=0";
    const std::string update = "&title=T&type=S&issign=0&ispublish=0&itemcount=0";
    const std::string status = "job=UpdatePollingStatus&pollcount=1&pollid_0=" + m_open;
    const std::string ballot = "job=PostPolling&pollid=" + m_open + "&userid=u9&username=N";
    struct BadRequest {
        const char* what;
        bool results;  // the result script rather than the polling script
        std::string query;
        long status = 400;
    };
    const std::vector<BadRequest> requests = {
        {"no job", false, "userid=a7"},
        {"empty job", false, "job=&userid=a7"},
        {"unknown job", false, "job=DropEverything"},
        {"job names are exact", false, "job=createpolling&userid=a7"},
        {"result job on the polling script", false, "job=GetPollingResult&userid=a7&modulename=m1"},
        {"polling job on the result script", true,
         "job=DeletePolling&pollcount=1&pollid_0=" + m_open},
        {"count above 64", false, create + "&itemcount=65"},
        {"count missing", false, create},
        {"count larger than fields", false,
         create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b"},
        {"unknown type", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=X&status=N&issign=0&ispublish=0"
         "&itemcount=0"},
        {"unknown status letter", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=Q&issign=0"
         "&ispublish=0&itemcount=0"},
        {"issign not a flag", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=N&issign=2"
         "&ispublish=0&itemcount=0"},
        {"repeated choice name", false,
         create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b&itemname_1=A"},
        {"empty choice name", false, create + "&itemcount=1&content_0=a&itemname_0="},
        {"truncated escape", false, create + "&itemcount=1&content_0=a&itemname_0=A%4"},
        // Each decoding fault has its own case in FormFieldsTest; here, that one refuses the job.
        {"invalid UTF-8", false, create + "&itemcount=1&itemname_0=A&content_0=%C3%28"},
        {"field sent twice", false, create + "&itemcount=0&title=Again"},
        {"update without id", false, "job=UpdatePolling" + update},
        {"update id not numeric", false, "job=UpdatePolling&pollid=" + m_draft + "x" + update},
        {"update id zero", false, "job=UpdatePolling&pollid=0" + update},
        {"update count above 64", false,
         "job=UpdatePolling&pollid=" + m_draft +
             "&title=T&type=S&issign=0&ispublish=0&itemcount=99"},
        {"status count above 64", false, "job=UpdatePollingStatus&pollcount=65&pollid_0=" + m_open},
        {"status id not numeric", false,
         "job=UpdatePollingStatus&pollcount=1&pollid_0=1%2B1&status_0=C"},
        {"status letter unknown", false, status + "&status_0=X&ispublish_0=1"},
        {"status letters are upper case", false, status + "&status_0=c&ispublish_0=0"},
        {"publish not a flag", false, status + "&status_0=C&ispublish_0=yes"},
        {"status count larger than fields", false,
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + m_open + "&status_0=C&ispublish_0=1"},
        {"one unknown poll spoils the job", false,
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + m_open +
             "&status_0=C&ispublish_0=1&pollid_1=99999&status_1=C",
         404},
        {"delete count missing", false, "job=DeletePolling&pollid_0=" + m_open},
        {"delete count larger than fields", false,
         "job=DeletePolling&pollcount=2&pollid_0=" + m_open},
        {"delete id not numeric", false,
         "job=DeletePolling&pollcount=2&pollid_0=" + m_open + "&pollid_1=abc"},
        {"ballot without poll", false,
         "job=PostPolling&userid=u9&username=N&itemcount=1&itemname_0=A"},
        {"ballot without user", false,
         "job=PostPolling&pollid=" + m_open + "&username=N&itemcount=1&itemname_0=A"},
        {"ballot count above 64", false, ballot + "&itemcount=65&itemname_0=A"},
        {"ballot count larger than fields", false, ballot + "&itemcount=2&itemname_0=A"},
        {"list without author", true, "job=GetPollingResult&modulename=m1"},
        {"info count negative", true, "job=GetPollingInfo&pollcount=-1"},
        {"info id not numeric", true, "job=GetPollingInfo&pollcount=1&pollid_0=" + m_open + ".0"},
        {"results count larger than fields", true,
         "job=GetPollingResult2&pollcount=3&pollid_0=" + m_open},
        {"results id overflows", true,
         "job=GetPollingResult2&pollcount=1&pollid_0=99999999999999999999999"},
    };

    const auto before = Snapshot();
    HttpClient client;
    for (const auto& request : requests) {
        const auto path =
            request.results ? PollServerSession::ResultsPath() : PollServerSession::PollingPath();
        ExpectRefused(client.Get(m_server.HttpUrl() + path + "?" + request.query + "&_rnd=1"),
                      request.status, request.what);
        ASSERT_EQ(Snapshot(), before) << request.what << " changed something";
    }
}

TEST_F(PollServerBadInputTest, OverlongTextsOtherRoutesAndMethodsAreRefused) {
    const auto before = Snapshot();
    HttpClient client;
    const auto base = m_server.HttpUrl();
    const auto polling = base + PollServerSession::PollingPath();
    auto post = [&](const PollServerSession::Fields& fields) {
        return client.Send("POST", polling, HttpClient::Form(fields),
                           "application/x-www-form-urlencoded;");
    };

    // 8193 characters, one more than any text may hold, in each text field.
    for (const char* field : {"title", "content_0", "itemname_0", "userid", "modulename"}) {
        PollServerSession::Fields fields = {
            {"job", "CreatePolling"}, {"userid", "a7"},   {"modulename", "m1"},
            {"title", "T"},           {"type", "S"},      {"status", "N"},
            {"issign", "0"},          {"ispublish", "0"}, {"itemcount", "1"},
            {"content_0", "c"},       {"itemname_0", "A"}};
        for (auto& [name, value] : fields)
            if (name == field) value = Repeat("é", 8193);
        ExpectRefused(post(fields), 400, field);
    }
    ExpectRefused(post({{"job", "PostPolling"},
                        {"pollid", m_open},
                        {"userid", "u5"},
                        {"username", Repeat("x", 8193)},
                        {"itemcount", "1"},
                        {"itemname_0", "B"}}),
                  400, "overlong user name");
    // A request line beyond what the server reads at all.
    ExpectRefused(client.Get(polling + "?job=CreatePolling&title=" + Repeat("%E4%B8%AD", 3000)),
                  414, "overlong request line");

    for (const char* path :
         {"/", "/wendrake-idm/v4/polling/other.asp?job=GetPollingResult",
          "/wendrake-idm/v4/polling/polling.asp/extra?job=PostPolling",
          "/WENDRAKE-IDM/v4/polling/get_polling.asp?job=GetPollingResult" /* paths are exact */})
        ExpectRefused(client.Get(base + path), 404, path);
    ExpectRefused(client.Send("DELETE", polling + "?job=DeletePolling"), 405, "DELETE");
    ExpectRefused(client.Send("PUT", polling), 405, "PUT");

    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(Session().Vote(m_open, "u5", "Eve", {"B"}), 200) << "the server is still serving";
}

TEST_F(PollServerBadInputTest, OversizedRequestsAreAnsweredOnTheirHeadAndClosed) {
    const auto before = Snapshot();
    const std::string target = PollServerSession::ResultsPath() + "?job=GetPollingInfo&pollcount=0";
    struct Oversized {
        const char* what;
        std::string head;  // sent whole; nothing follows
        long status;
        bool ownDocument;  // past what the server holds in memory at all, only the status
    };
    const std::vector<Oversized> requests = {
        {"request line",
         "GET " + target + "&_rnd=" + Repeat("1", 9000) + " HTTP/1.1\r\nHost: x\r\n\r\n", 414,
         true},
        {"huge request line",
         "GET " + target + "&_rnd=" + Repeat("1", 200000) + " HTTP/1.1\r\n\r\n", 414, false},
        {"headers",
         "GET " + target + " HTTP/1.1\r\nHost: x\r\nX-Filler: " + Repeat("y", 17000) + "\r\n\r\n",
         431, true},
        {"huge headers",
         "GET " + target + " HTTP/1.1\r\nHost: x\r\nX-Filler: " + Repeat("y", 200000) + "\r\n\r\n",
         431, false},
        // Announced only: the answer comes without a byte of the body.
        {"body",
         "POST " + PollServerSession::PollingPath() +
             " HTTP/1.1\r\nHost: x\r\nContent-Length: 8388609\r\n\r\n",
         413, true},
    };
    for (const auto& request : requests) {
        RawConnection connection;
        ASSERT_TRUE(connection.Connect(m_server.HttpUrl())) << request.what;
        // A server that waits for more never closes: the limit is far below the time-outs.
        connection.Send(request.head);
        std::string reply;
        EXPECT_TRUE(connection.ReadUntilClosed(std::chrono::milliseconds(2000), &reply))
            << request.what << " left the connection open";
        EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 " + std::to_string(request.status))
            << request.what;
        if (request.ownDocument) {
            const auto headEnd = reply.find("\r\n\r\n");
            ASSERT_NE(headEnd, std::string::npos) << request.what;
            PollListReply parsed;
            ASSERT_TRUE(parsed.Parse(reply.substr(headEnd + 4))) << request.what << "\n" << reply;
            EXPECT_EQ(parsed.Result().at("Code"), std::to_string(request.status)) << request.what;
        }
    }
    EXPECT_EQ(Snapshot(), before);
}

}  // namespace
}  // namespace quibra::test
