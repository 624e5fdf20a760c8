// Malformed requests get a 4xx reply with a short error document and change nothing.
#include "PollServerTest.h"

namespace quibra::test {
namespace {

struct BadRequest {
    const char* what;
    bool results;  // the result script rather than the polling script
    std::string query;
    long status;
};

class PollServerBadInputTest : public PollServerTest {
protected:
    // Everything a reply could show, taken before and after each bad request.
    std::string Snapshot() {
        const PollServerSession::Fields ids = {{"pollcount", "3"}, {"pollid_0", m_open}, {"pollid_1", m_draft},
                                              {"pollid_2", m_published}};
        auto with = [&](const char* job) {
            auto fields = ids;
            fields.insert(fields.begin(), {"job", job});
            return fields;
        };
        return Session().Results({{"job", "GetPollingResult"}, {"modulename", "m1"}, {"userid", "a7"}}).body +
               Session().Results(with("GetPollingInfo")).body + Session().Results(with("GetPollingResult2")).body;
    }

    void SetUp() override {
        PollServerTest::SetUp();
        m_open = OpenPoll("S", true);
        m_draft = Session().Create("a7", "m1", "Draft", "M", false, {{"A", "a"}, {"B", "b"}});
        m_published = OpenPoll("M", true);
        ASSERT_EQ(Session().Vote(m_open, "u1", "Ann", {"A"}), 200);
        ASSERT_EQ(Session().Vote(m_published, "u1", "Ann", {"A", "C"}), 200);
        ASSERT_EQ(Session().SetStatus(m_published, "C", "1"), 200);
    }

    void ExpectRefused(HttpClient::Reply reply, long status, const std::string& what) {
        EXPECT_EQ(reply.status, status) << what << "\n" << reply.body;
        ASSERT_TRUE(reply.contentLength.has_value()) << what;
        EXPECT_EQ(*reply.contentLength, reply.body.size()) << what;
        PollListReply parsed;
        ASSERT_TRUE(parsed.Parse(reply.body)) << what << "\n" << reply.body;
        EXPECT_EQ(parsed.ResultName(), "Error") << what;
        EXPECT_EQ(parsed.Result().count("Code") ? parsed.Result().at("Code") : "", std::to_string(status)) << what;
        EXPECT_FALSE(parsed.Result().count("Message") == 0 || parsed.Result().at("Message").empty()) << what;
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
    const std::string open = m_open;
    const std::string draft = m_draft;
    const std::vector<BadRequest> requests = {
        {"no job", false, "userid=a7", 400},
        {"empty job", false, "job=&userid=a7", 400},
        {"unknown job", false, "job=DropEverything", 400},
        {"job names are exact", false, "job=createpolling&userid=a7", 400},
        {"result job on the polling script", false, "job=GetPollingResult&userid=a7&modulename=m1", 400},
        {"polling job on the result script", true, "job=DeletePolling&pollcount=1&pollid_0=" + open, 400},
        {"negative count", false, create + "&itemcount=-1", 400},
        {"count above 64", false, create + "&itemcount=65", 400},
        {"count not a number", false, create + "&itemcount=two", 400},
        {"count missing", false, create, 400},
        {"count larger than fields", false, create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b", 400},
        {"unknown type", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=X&status=N&issign=0&ispublish=0&itemcount=0", 400},
        {"unknown status letter", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=Q&issign=0&ispublish=0&itemcount=0", 400},
        {"issign not a flag", false,
         "job=CreatePolling&userid=a7&modulename=m1&title=T&type=S&status=N&issign=2&ispublish=0&itemcount=0", 400},
        {"repeated choice name", false, create + "&itemcount=2&content_0=a&itemname_0=A&content_1=b&itemname_1=A", 400},
        {"empty choice name", false, create + "&itemcount=1&content_0=a&itemname_0=", 400},
        {"broken escape", false, create + "&itemcount=1&content_0=%G1&itemname_0=A", 400},
        {"truncated escape", false, create + "&itemcount=1&content_0=a&itemname_0=A%4", 400},
        {"invalid UTF-8", false, create + "&itemcount=1&content_0=%C3%28&itemname_0=A", 400},
        {"surrogate in UTF-8", false, create + "&itemcount=1&content_0=%ED%A0%80&itemname_0=A", 400},
        {"control character", false, create + "&itemcount=1&content_0=a%01b&itemname_0=A", 400},
        {"field sent twice", false, create + "&itemcount=0&title=Again", 400},
        {"update without id", false, "job=UpdatePolling&title=T&type=S&issign=0&ispublish=0&itemcount=0", 400},
        {"update id not numeric", false,
         "job=UpdatePolling&pollid=" + draft + "x&title=T&type=S&issign=0&ispublish=0&itemcount=0", 400},
        {"update id zero", false, "job=UpdatePolling&pollid=0&title=T&type=S&issign=0&ispublish=0&itemcount=0", 400},
        {"update id negative", false,
         "job=UpdatePolling&pollid=-" + draft + "&title=T&type=S&issign=0&ispublish=0&itemcount=0", 400},
        {"update count above 64", false,
         "job=UpdatePolling&pollid=" + draft + "&title=T&type=S&issign=0&ispublish=0&itemcount=99", 400},
        {"status count above 64", false, "job=UpdatePollingStatus&pollcount=65&pollid_0=" + open, 400},
        {"status id not numeric", false, "job=UpdatePollingStatus&pollcount=1&pollid_0=1%2B1&status_0=C", 400},
        {"status letter unknown", false,
         "job=UpdatePollingStatus&pollcount=1&pollid_0=" + open + "&status_0=X&ispublish_0=1", 400},
        {"status letters are upper case", false,
         "job=UpdatePollingStatus&pollcount=1&pollid_0=" + open + "&status_0=c&ispublish_0=0", 400},
        {"publish not a flag", false,
         "job=UpdatePollingStatus&pollcount=1&pollid_0=" + open + "&status_0=C&ispublish_0=yes", 400},
        {"status count larger than fields", false,
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + open + "&status_0=C&ispublish_0=1", 400},
        {"one unknown poll spoils the job", false,
         "job=UpdatePollingStatus&pollcount=2&pollid_0=" + open + "&status_0=C&ispublish_0=1&pollid_1=99999&status_1=C",
         404},
        {"delete count missing", false, "job=DeletePolling&pollid_0=" + open, 400},
        {"delete count larger than fields", false, "job=DeletePolling&pollcount=2&pollid_0=" + open, 400},
        {"delete id not numeric", false, "job=DeletePolling&pollcount=2&pollid_0=" + open + "&pollid_1=abc", 400},
        {"ballot without poll", false, "job=PostPolling&userid=u9&username=N&itemcount=1&itemname_0=A", 400},
        {"ballot without user", false, "job=PostPolling&pollid=" + open + "&username=N&itemcount=1&itemname_0=A", 400},
        {"ballot count above 64", false,
         "job=PostPolling&pollid=" + open + "&userid=u9&username=N&itemcount=65&itemname_0=A", 400},
        {"ballot count larger than fields", false,
         "job=PostPolling&pollid=" + open + "&userid=u9&username=N&itemcount=2&itemname_0=A", 400},
        {"list without author", true, "job=GetPollingResult&modulename=m1", 400},
        {"info count negative", true, "job=GetPollingInfo&pollcount=-1", 400},
        {"info id not numeric", true, "job=GetPollingInfo&pollcount=1&pollid_0=" + open + ".0", 400},
        {"results count larger than fields", true, "job=GetPollingResult2&pollcount=3&pollid_0=" + open, 400},
        {"results id overflows", true, "job=GetPollingResult2&pollcount=1&pollid_0=99999999999999999999999", 400},
    };

    const auto before = Snapshot();
    for (const auto& request : requests) {
        const auto path = request.results ? PollServerSession::ResultsPath() : PollServerSession::PollingPath();
        HttpClient client;
        ExpectRefused(client.Get(m_server.HttpUrl() + path + "?" + request.query + "&_rnd=1"), request.status,
                      request.what);
        ASSERT_EQ(Snapshot(), before) << request.what << " changed something";
    }
}

TEST_F(PollServerBadInputTest, OverlongTextsOtherRoutesAndMethodsAreRefused) {
    const auto before = Snapshot();
    HttpClient client;
    const auto base = m_server.HttpUrl();

    // 8193 characters, one more than any text may hold, in each text field.
    for (const char* field : {"title", "content_0", "itemname_0", "userid", "modulename"}) {
        PollServerSession::Fields fields = {{"job", "CreatePolling"}, {"userid", "a7"}, {"modulename", "m1"},
                                            {"title", "T"}, {"type", "S"}, {"status", "N"}, {"issign", "0"},
                                            {"ispublish", "0"}, {"itemcount", "1"}, {"content_0", "c"},
                                            {"itemname_0", "A"}};
        for (auto& [name, value] : fields)
            if (name == field) value = Repeat("é", 8193);
        ExpectRefused(client.Post(base + PollServerSession::PollingPath(), HttpClient::Form(fields),
                                  "application/x-www-form-urlencoded;"),
                      400, field);
    }
    PollServerSession::Fields ballot = {{"job", "PostPolling"}, {"pollid", m_open}, {"userid", "u5"},
                                        {"username", Repeat("x", 8193)}, {"itemcount", "1"}, {"itemname_0", "B"}};
    ExpectRefused(client.Post(base + PollServerSession::PollingPath(), HttpClient::Form(ballot),
                              "application/x-www-form-urlencoded"),
                  400, "overlong user name");
    // A request line beyond what the server reads at all.
    ExpectRefused(client.Get(base + PollServerSession::PollingPath() + "?job=CreatePolling&title=" +
                             Repeat("%E4%B8%AD", 3000)),
                  414, "overlong request line");

    ExpectRefused(client.Get(base + "/"), 404, "root");
    ExpectRefused(client.Get(base + "/wendrake-idm/v4/polling/other.asp?job=GetPollingResult"), 404, "other script");
    ExpectRefused(client.Get(base + "/wendrake-idm/v4/polling/polling.asp/extra?job=PostPolling"), 404, "sub path");
    ExpectRefused(client.Get(base + "/WENDRAKE-IDM/v4/polling/get_polling.asp?job=GetPollingResult"), 404,
                  "paths are exact");
    ExpectRefused(client.Send("DELETE", base + PollServerSession::PollingPath() + "?job=DeletePolling"), 405,
                  "DELETE");
    ExpectRefused(client.Send("PUT", base + PollServerSession::PollingPath()), 405, "PUT");

    EXPECT_EQ(Snapshot(), before);
    // And the server is still serving.
    EXPECT_EQ(Session().Vote(m_open, "u5", "Eve", {"B"}), 200);
}

}  // namespace
}  // namespace quibra::test
