// Malformed requests get a 4xx reply with a short error document and change nothing.
#include <sys/socket.h>

#include <regex>

#include "HttpReply.h"
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
        m_before = Session().Everything({m_open, m_draft, m_published});
    }
    // Everything a reply could show is as it was before the bad requests.
    void TearDown() override {
        EXPECT_EQ(Session().Everything({m_open, m_draft, m_published}), m_before);
    }

    // The head of `reply` (from its status line on) is `status`; its document a short Error.
    static void ExpectRefused(const HttpClient::Reply& reply, long status,
                              const std::string& what) {
        SCOPED_TRACE(what + "\n" + reply.body);
        EXPECT_EQ(reply.contentLength, std::optional<std::size_t>(reply.body.size()));
        PollListReply parsed;
        ASSERT_TRUE(parsed.Parse(reply.body));
        auto result = parsed.Result();
        EXPECT_EQ(std::to_string(reply.status) + parsed.ResultName() + result["Code"],
                  std::to_string(status) + "Error" + std::to_string(status));
        EXPECT_TRUE(!result["Message"].empty() && reply.body.size() < 400u);
    }

    std::string m_open;
    std::string m_draft;
    std::string m_published;
    std::string m_before;
};

TEST_F(PollServerBadInputTest, MalformedJobsAreRefusedAndChangeNothing) {
    const std::string create =
        "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=N&issign=0&ispublish=0";
    const std::string valid = create + "&itemcount=0";
    const std::string update = "&title=T&type=S&issign=0&ispublish=0&itemcount=0";
    const std::string status = "job=UpdatePollingStatus&pollcount=1&pollid_0=" + m_open;
    const std::string ballot = "job=PostPolling&pollid=" + m_open + "&userid=u9&username=N";
    struct BadRequest {
        const char* what;
        std::string query;
        bool results = false;  // the result script rather than the polling script
        long status = 400;
    };
    const std::vector<BadRequest> requests = {
        {"no job", "userid=a7"},
        {"empty job", "job=&userid=a7"},
        {"unknown job", "job=DropEverything"},
        {"job names are exact", "job=createpolling&userid=a7"},
        {"result job on the polling script", "job=GetPollingResult&userid=a7&modulename=m1"},
        {"polling job on the result script", "job=DeletePolling&pollcount=1&pollid_0=" + m_open,
         true},
        {"count above 64", create + "&itemcount=65"},
        {"count missing", create},
        {"count larger than fields", create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b"},
        {"unknown type", std::regex_replace(valid, std::regex("type=S"), "type=X")},
        {"unknown status letter", std::regex_replace(valid, std::regex("status=N"), "status=Q")},
        {"issign not a flag", std::regex_replace(valid, std::regex("issign=0"), "issign=2")},
        {"repeated choice name",
         create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b&itemname_1=A"},
        {"empty choice name", create + "&itemcount=1&content_0=a&itemname_0="},
        {"truncated escape", create + "&itemcount=1&content_0=a&itemname_0=A%4"},
        // Each decoding fault has its own case in FormFieldsTest; here, that one refuses the job.
        {"invalid UTF-8", create + "&itemcount=1&itemname_0=A&content_0=%C3%28"},
        {"field sent twice", valid + "&title=Again"},
        {"update without id", "job=UpdatePolling" + update},
        {"update id not numeric", "job=UpdatePolling&pollid=" + m_draft + "x" + update},
        {"update id zero", "job=UpdatePolling&pollid=0" + update},
        {"update publish not a flag", "job=UpdatePolling&pollid=" + m_draft +
                                          "&title=T&type=S&issign=0&ispublish=2&itemcount=0"},
        {"status count above 64", "job=UpdatePollingStatus&pollcount=65&pollid_0=" + m_open},
        {"status id not numeric", "job=UpdatePollingStatus&pollcount=1&pollid_0=1%2B1&status_0=C"},
        {"status letter unknown", status + "&status_0=X&ispublish_0=1"},
        {"status letters are upper case", status + "&status_0=c&ispublish_0=0"},
        {"publish not a flag", status + "&status_0=C&ispublish_0=yes"},
        {"status count larger than fields",
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + m_open + "&status_0=C&ispublish_0=1"},
        {"one unknown poll spoils the job",
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + m_open +
             "&status_0=C&ispublish_0=1&pollid_1=99999&status_1=C",
         false, 404},
        {"delete count missing", "job=DeletePolling&pollid_0=" + m_open},
        {"delete id not numeric",
         "job=DeletePolling&pollcount=2&pollid_0=" + m_open + "&pollid_1=abc"},
        {"ballot without poll", "job=PostPolling&userid=u9&username=N&itemcount=1&itemname_0=A"},
        {"ballot without user",
         "job=PostPolling&pollid=" + m_open + "&username=N&itemcount=1&itemname_0=A"},
        {"ballot count above 64", ballot + "&itemcount=65&itemname_0=A"},
        {"ballot count larger than fields", ballot + "&itemcount=2&itemname_0=A"},
        {"list without author", "job=GetPollingResult&modulename=m1", true},
        {"info count negative", "job=GetPollingInfo&pollcount=-1", true},
        {"info id not numeric", "job=GetPollingInfo&pollcount=1&pollid_0=" + m_open + ".0", true},
        {"results count larger than fields", "job=GetPollingResult2&pollcount=3&pollid_0=1", true},
        {"results id overflows",
         "job=GetPollingResult2&pollcount=1&pollid_0=99999999999999999999999", true},
    };
    for (const auto& request : requests) {
        ExpectRefused(
            request.results ? Session().Results(request.query) : Session().Polling(request.query),
            request.status, request.what);
        ASSERT_EQ(Session().Everything({m_open, m_draft, m_published}), m_before)
            << request.what << " changed something";
    }
}

TEST_F(PollServerBadInputTest, OverlongTextsOtherRoutesAndMethodsAreRefused) {
    // 8193 characters, one more than any text may hold, in each text field.
    const auto overlong = HttpClient::Encode(Repeat("é", 8193));
    for (const std::string field : {"title", "content_0", "itemname_0", "userid", "modulename"}) {
        std::string form = "job=CreatePolling&type=S&status=N&issign=0&ispublish=0&itemcount=1";
        for (const std::string name : {"title", "content_0", "itemname_0", "userid", "modulename"})
            form += "&" + name + "=" + (name == field ? overlong : "x");
        ExpectRefused(Session().Post(form), 400, field);
    }
    ExpectRefused(
        Session().Post("job=PostPolling&pollid=" + m_open +
                       "&userid=u5&itemcount=1&itemname_0=B&username=" + Repeat("x", 8193)),
        400, "overlong user name");
    // A request line beyond what the server reads at all.
    ExpectRefused(Session().Polling("job=CreatePolling&title=" + Repeat("%E4%B8%AD", 3000)), 414,
                  "overlong request line");

    HttpClient client;
    const auto base = m_server.HttpUrl();
    for (const char* path :
         {"/", "/wendrake-idm/v4/polling/other.asp?job=GetPollingResult",
          "/wendrake-idm/v4/polling/polling.asp/extra?job=PostPolling",
          "/WENDRAKE-IDM/v4/polling/get_polling.asp?job=GetPollingResult" /* paths are exact */})
        ExpectRefused(client.Get(base + path), 404, path);
    const auto polling = base + PollServerSession::PollingPath();
    ExpectRefused(client.Send("DELETE", polling + "?job=DeletePolling"), 405, "DELETE");
    ExpectRefused(client.Send("PUT", polling), 405, "PUT");
    EXPECT_EQ(Session().Vote(m_open, "u1", "Ann", {"A"}), 200) << "the server is still serving";
}

TEST_F(PollServerBadInputTest,
       RawRequestsAreFramedAsHttpSaysAndBadOrOversizedOnesRefusedOnTheHead) {
    const std::string info = "GET " + PollServerSession::ResultsPath() +
                             "?job=GetPollingInfo&pollcount=1&pollid_0=" + m_open;
    const std::string post =
        "POST " + PollServerSession::PollingPath() + " HTTP/1.1\r\nHost: x\r\n";
    const std::string closing = "GET /end HTTP/1.1\r\nConnection: close\r\n\r\n";
    const std::string filler = " HTTP/1.1\r\nHost: x\r\nX-Filler: ";
    struct Exchange {
        const char* what;
        std::string sent;        // whole, then nothing more
        std::string statuses;    // the status lines of the replies, in order
        std::string last;        // what the last reply's document holds; "": no document
        bool halfClose = false;  // the client ends its side after sending
    };
    const std::vector<Exchange> exchanges = {
        {"requests in one piece, a line break between them, LF alone ending lines",
         info + " HTTP/1.1\r\nHost: x\r\n\r\n\r\n" + info + " HTTP/1.1\nHost: x\n\n" + closing,
         "200 OK|200 OK|404 Not Found", "Code=\"404\""},
        {"a chunked body, extensions and trailer",
         post + "Transfer-Encoding: chunked\r\n\r\n4;x=y\r\njob=\r\n19\r\n"
                "DeletePolling&pollcount=0\r\n0\r\nT: 1\r\n\r\n",
         "200 OK", "Job=\"DeletePolling\"", true},
        {"a client that waits to be asked for its body",
         post + "Content-Length: 25\r\nExpect: 100-continue\r\n\r\n", "100 Continue", "", true},
        {"a body of one byte", info + " HTTP/1.1\r\nContent-Length: 1\r\n\r\n&" + closing,
         "200 OK|404 Not Found", "Code=\"404\""},
        {"HEAD: the head alone", "HEAD " + info.substr(4) + " HTTP/1.1\r\n\r\n", "200 OK", "",
         true},
        {"HTTP/1.0 ends after its reply, unless it asks to keep its connection",
         info + " HTTP/1.0\r\nConnection: keep-alive\r\n\r\n" + info + " HTTP/1.0\r\n\r\n" +
             closing,
         "200 OK|200 OK", "<Records>"},
        {"not a request line", "GET /x\r\n\r\n" + closing, "400 Bad Request", "Code=\"400\""},
        {"a header without a colon", info + " HTTP/1.1\r\nHost x\r\n\r\n", "400 Bad Request",
         "Code=\"400\""},
        {"an unknown transfer coding", post + "Transfer-Encoding: gzip\r\n\r\n",
         "501 Not Implemented", "Code=\"501\""},
        {"two framings at once",
         post + "Transfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n0\r\n\r\n",
         "400 Bad Request", "Code=\"400\""},
        {"a chunk size that is no number", post + "Transfer-Encoding: chunked\r\n\r\nzz\r\n",
         "400 Bad Request", "Code=\"400\""},
        {"two lengths", post + "Content-Length: 1\r\nContent-Length: 2\r\n\r\nab",
         "400 Bad Request", "Code=\"400\""},
        {"a long request line", info + "&_rnd=" + Repeat("1", 9000) + " HTTP/1.1\r\n\r\n",
         "414 URI Too Long", "Code=\"414\""},
        {"a request line past what is read at all",
         info + "&_rnd=" + Repeat("1", 200000) + " HTTP/1.1\r\n\r\n", "414 URI Too Long",
         "Code=\"414\""},
        {"long headers", info + filler + Repeat("y", 17000) + "\r\n\r\n",
         "431 Request Header Fields Too Large", "Code=\"431\""},
        {"headers past what is read at all", info + filler + Repeat("y", 200000) + "\r\n\r\n",
         "431 Request Header Fields Too Large", "Code=\"431\""},
        // Announced only: the answer comes without a byte of the body.
        {"a long body", post + "Content-Length: 8388609\r\n\r\n", "413 Content Too Large",
         "Code=\"413\""},
        {"an unknown method", "PATCH " + info.substr(4) + " HTTP/1.1\r\n\r\n",
         "405 Method Not Allowed", "Code=\"405\""},
    };
    for (const auto& exchange : exchanges) {
        SCOPED_TRACE(exchange.what);
        RawConnection connection;
        ASSERT_TRUE(connection.Connect(m_server.HttpUrl()));
        connection.Send(exchange.sent);
        if (exchange.halfClose) ::shutdown(connection.Fd(), SHUT_WR);
        // A server that waits for more never closes: the limit is far below the time-outs.
        std::string replies;
        EXPECT_TRUE(connection.ReadUntilClosed(std::chrono::milliseconds(2000), &replies));
        std::string statuses;
        std::size_t last = 0;
        for (auto at = replies.find("HTTP/1.1 "); at != std::string::npos;
             at = replies.find("HTTP/1.1 ", at + 1)) {
            statuses += (statuses.empty() ? "" : "|") +
                        replies.substr(at + 9, replies.find('\r', at) - at - 9);
            last = at;
        }
        EXPECT_EQ(statuses, exchange.statuses) << replies;
        const auto document = replies.substr(last);
        EXPECT_EQ(document.find("</Wendrake>") != std::string::npos, !exchange.last.empty());
        EXPECT_NE(document.find(exchange.last), std::string::npos) << document;
    }
}

// The reason phrases of the statuses that no raw exchange above shows.
TEST(HttpReplyTest, EveryStatusHasItsReasonPhrase) {
    for (const auto& [status, reason] : {std::pair{401, "Unauthorized"},
                                         {408, "Request Timeout"},
                                         {409, "Conflict"},
                                         {500, "Internal Server Error"},
                                         {503, "Service Unavailable"},
                                         {299, "Unknown"}})
        EXPECT_EQ(pollserver::HttpReply::Reason(status), reason) << status;
}

}  // namespace
}  // namespace quibra::test
