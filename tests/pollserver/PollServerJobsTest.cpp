// Every job's effect, seen through the result script as the plug-in sees it.
#include <sqlite3.h>
#include <sys/stat.h>

#include <memory>

#include "PollServerTest.h"

namespace quibra::test {
namespace {

using Choices = std::vector<PollServerSession::Choice>;

std::vector<std::string> Ids(const PollListReply& reply) {
    std::vector<std::string> ids;
    for (const auto& record : reply.Records()) ids.push_back(record.Attr("PollingId"));
    return ids;
}

TEST_F(PollServerTest, CreateRepliesWithNewIdAndListsPollsOfAuthorAndModuleOnly) {
    const auto reply = Session().Polling({{"job", "CreatePolling"}, {"userid", "a7"}, {"modulename", "m1"},
                                          {"title", "Q1"}, {"type", "S"}, {"status", "N"}, {"issign", "0"},
                                          {"ispublish", "0"}, {"itemcount", "2"}, {"content_0", "yes"},
                                          {"itemname_0", "A"}, {"content_1", "no"}, {"itemname_1", "B"}});
    ASSERT_EQ(reply.status, 200);
    ASSERT_TRUE(reply.contentLength.has_value());
    EXPECT_EQ(*reply.contentLength, reply.body.size());
    EXPECT_NE(reply.contentType.find("xml"), std::string::npos);
    PollListReply created;
    ASSERT_TRUE(created.Parse(reply.body));
    const std::string first = created.Result().at("PollingId");

    const auto second = Session().Create("a7", "m1", "Q2", "M", true, {{"A", "red"}});
    const auto otherModule = Session().Create("a7", "m2", "Q3", "S", false, {{"A", "x"}});
    const auto otherAuthor = Session().Create("b8", "m1", "Q4", "S", false, {{"A", "x"}});
    ASSERT_FALSE(second.empty());
    EXPECT_GT(std::stoll(second), std::stoll(first));

    const auto list = Session().List("a7", "m1");
    EXPECT_EQ(Ids(list), (std::vector<std::string>{first, second}));
    const auto& q1 = list.Records()[0];
    EXPECT_EQ(q1.Attr("Type"), "S");
    EXPECT_EQ(q1.Attr("IsSign"), "0");
    EXPECT_EQ(q1.Attr("Title"), "Q1");
    EXPECT_EQ(q1.Attr("IsPublish"), "0");
    EXPECT_EQ(q1.Attr("Status"), "N");
    EXPECT_EQ(q1.Attr("UserCount"), "0");
    ASSERT_EQ(q1.items.size(), 2u);
    EXPECT_EQ(q1.items[0].attributes.at("ItemName"), "A");
    EXPECT_EQ(q1.items[0].attributes.at("Content"), "yes");
    EXPECT_EQ(q1.items[0].attributes.at("PostCount"), "0");
    EXPECT_EQ(q1.items[1].attributes.at("ItemName"), "B");
    EXPECT_EQ(q1.items[1].attributes.at("Content"), "no");
    EXPECT_EQ(list.Records()[1].Attr("Type"), "M");
    EXPECT_EQ(list.Records()[1].Attr("IsSign"), "1");

    EXPECT_EQ(Ids(Session().List("a7", "m2")), std::vector<std::string>{otherModule});
    EXPECT_EQ(Ids(Session().List("b8", "m1")), std::vector<std::string>{otherAuthor});
    EXPECT_TRUE(Session().List("nobody", "m1").Records().empty());
}

TEST_F(PollServerTest, UpdateRewritesANewPollOnlyAndStatusJobSetsStatusAndPublishing) {
    const auto id = Session().Create("a7", "m1", "Old", "S", false, {{"A", "a"}, {"B", "b"}});
    ASSERT_EQ(Session().Update(id, "New title", "M", true, {{"A", "one"}, {"B", "two"}, {"C", "three"}}), 200);
    auto record = *Session().List("a7", "m1").Find(id);
    EXPECT_EQ(record.Attr("Title"), "New title");
    EXPECT_EQ(record.Attr("Type"), "M");
    EXPECT_EQ(record.Attr("IsSign"), "1");
    ASSERT_EQ(record.items.size(), 3u);
    EXPECT_EQ(record.items[2].attributes.at("ItemName"), "C");
    EXPECT_EQ(record.items[2].attributes.at("Content"), "three");

    ASSERT_EQ(Session().SetStatus(id, "O", "0"), 200);
    EXPECT_EQ(Session().List("a7", "m1").Find(id)->Attr("Status"), "O");
    // Posted already: the poll keeps its text.
    EXPECT_EQ(Session().Update(id, "Too late", "S", false, {{"A", "x"}}), 409);
    EXPECT_EQ(Session().List("a7", "m1").Find(id)->Attr("Title"), "New title");
    EXPECT_EQ(Session().Update("999999", "Nobody", "S", false, {{"A", "x"}}), 404);

    // Publishing sends the current status with it; an empty status keeps the stored one.
    ASSERT_EQ(Session().SetStatus(id, "C", "1"), 200);
    record = *Session().List("a7", "m1").Find(id);
    EXPECT_EQ(record.Attr("Status"), "C");
    EXPECT_EQ(record.Attr("IsPublish"), "1");
    ASSERT_EQ(Session().SetStatus(id, "", "0"), 200);
    record = *Session().List("a7", "m1").Find(id);
    EXPECT_EQ(record.Attr("Status"), "C");
    EXPECT_EQ(record.Attr("IsPublish"), "0");
    ASSERT_EQ(Session().SetStatus(id, "D", "0"), 200);
    EXPECT_EQ(Session().List("a7", "m1").Find(id)->Attr("Status"), "D");

    // Several polls in one job, as the console sends them (last record first).
    const auto other = Session().Create("a7", "m1", "Other", "S", false, {{"A", "a"}});
    ASSERT_EQ(Session().Polling({{"job", "UpdatePollingStatus"}, {"pollcount", "2"}, {"pollid_0", other},
                                 {"status_0", "O"}, {"ispublish_0", "0"}, {"pollid_1", id}, {"status_1", "N"},
                                 {"ispublish_1", "0"}})
                  .status,
              200);
    const auto list = Session().List("a7", "m1");
    EXPECT_EQ(list.Find(other)->Attr("Status"), "O");
    EXPECT_EQ(list.Find(id)->Attr("Status"), "N");
    // Back to New after ballots were taken: rewriting would move the votes, so it is refused.
    ASSERT_EQ(Session().SetStatus(other, "O", "0"), 200);
    ASSERT_EQ(Session().Vote(other, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().SetStatus(other, "N", "0"), 200);
    EXPECT_EQ(Session().Update(other, "Changed", "S", false, {{"B", "b"}}), 409);
    EXPECT_EQ(Session().List("a7", "m1").Find(other)->items.at(0).attributes.at("PostCount"), "1");
}

TEST_F(PollServerTest, DeleteRemovesPollsWithTheirBallotsAndIgnoresPollsAlreadyGone) {
    const auto keep = OpenPoll("S", true);
    const auto drop1 = OpenPoll("S", true);
    const auto drop2 = Session().Create("a7", "m1", "Draft", "S", false, {{"A", "a"}});
    ASSERT_EQ(Session().Vote(drop1, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(keep, "u1", "Ann", {"B"}), 200);

    ASSERT_EQ(Session().Delete({drop1, drop2, "987654"}), 200);
    const auto list = Session().List("a7", "m1");
    EXPECT_EQ(Ids(list), std::vector<std::string>{keep});
    EXPECT_EQ(list.Find(keep)->items[1].attributes.at("PostCount"), "1");
    EXPECT_TRUE(Session().Info({drop1}).Records().empty());
    // A deleted poll takes no ballots.
    EXPECT_EQ(Session().Vote(drop1, "u2", "Bob", {"A"}), 404);
    EXPECT_EQ(Session().Delete({}), 200);

    // Nothing of the deleted polls stays behind in the database either.
    m_session.reset();
    ASSERT_EQ(m_server.Stop(), 0);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open_v2(Database().c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
    std::unique_ptr<sqlite3, int (*)(sqlite3*)> closer(db, sqlite3_close);
    for (const char* table : {"polls", "choices", "ballots"}) {
        const std::string sql = std::string("SELECT COUNT(*) FROM ") + table + " WHERE " +
                                (std::string(table) == "polls" ? "id" : "poll_id") + " IN (" + drop1 + ", " + drop2 + ")";
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr), SQLITE_OK) << sql;
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(stmt, 0), 0) << table;
        sqlite3_finalize(stmt);
    }
}

TEST_F(PollServerTest, InfoGivesPostedPollsWithChoicesButNoCountsOrVoters) {
    const auto open = OpenPoll("S", true);
    const auto draft = Session().Create("a7", "m1", "Draft", "M", true, {{"A", "a"}});
    ASSERT_EQ(Session().Vote(open, "u1", "Ann", {"A"}), 200);

    const auto info = Session().Info({draft, open, "424242", open});
    ASSERT_EQ(Ids(info), std::vector<std::string>{open});
    const auto& record = info.Records()[0];
    EXPECT_EQ(record.Attr("Title"), "Lunch?");
    EXPECT_EQ(record.Attr("Type"), "S");
    EXPECT_EQ(record.Attr("IsSign"), "1");
    EXPECT_EQ(record.attributes.count("UserCount"), 0u);
    ASSERT_EQ(record.items.size(), 3u);
    for (const auto& item : record.items) {
        EXPECT_EQ(item.attributes.count("PostCount"), 0u);
        EXPECT_TRUE(item.userNames.empty());
    }
    EXPECT_EQ(record.items[1].attributes.at("Content"), "no");
}

TEST_F(PollServerTest, TextsRoundTripByteForByteThroughEveryReply) {
    const std::string title = "多選題 — 🍕 or 🍣? \"quoted\" & 'single' <b>bold</b>\r\nline two\tand a tab";
    const std::string content = "Ünïcödé ☃ 𝄞 a&b<c>d \"e\"\n";
    const std::string userName = "張偉 \"Zhang\" <zw> & 😀";
    const auto id = Session().Create("作者 & <a7>", "モジュール", title, "S", true, {{"A", content}, {"😀", "emoji name"}});
    ASSERT_FALSE(id.empty());
    ASSERT_EQ(Session().SetStatus(id, "O", "1"), 200);
    ASSERT_EQ(Session().Vote(id, "用户 1", userName, {"😀"}), 200);

    const auto list = Session().List("作者 & <a7>", "モジュール");
    const auto* record = list.Find(id);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->Attr("Title"), title);
    EXPECT_EQ(record->items[0].attributes.at("Content"), content);
    EXPECT_EQ(record->items[1].attributes.at("ItemName"), "😀");
    EXPECT_EQ(record->items[1].userNames, std::vector<std::string>{userName});
    EXPECT_EQ(Session().Info({id}).Find(id)->Attr("Title"), title);
    EXPECT_EQ(Session().Published({id}).Find(id)->items[1].userNames, std::vector<std::string>{userName});

    // On the wire: characters as their own UTF-8 bytes; line breaks and tabs as
    // character references, so no parser folds them into spaces.
    const auto raw = Session().Results({{"job", "GetPollingInfo"}, {"pollcount", "1"}, {"pollid_0", id}});
    EXPECT_NE(raw.body.find("🍕"), std::string::npos);
    EXPECT_NE(raw.body.find("&#13;&#10;line two&#9;and"), std::string::npos);
    EXPECT_NE(raw.body.find("&quot;quoted&quot; &amp; 'single' &lt;b&gt;"), std::string::npos);
}

TEST_F(PollServerTest, LongestTextsAreKeptWholeWhenPosted) {
    // 8192 characters of three UTF-8 bytes each do not fit a request line, so
    // this goes as a form body, the other verb the client knows.
    std::string longTitle;
    for (int i = 0; i < 8192; ++i) longTitle += "中";
    const auto form = HttpClient::Form({{"job", "CreatePolling"}, {"userid", "a7"}, {"modulename", "m1"},
                                        {"title", longTitle}, {"type", "S"}, {"status", "N"}, {"issign", "0"},
                                        {"ispublish", "0"}, {"itemcount", "1"}, {"content_0", longTitle},
                                        {"itemname_0", "A"}});
    HttpClient client;
    const auto reply = client.Post(m_server.HttpUrl() + PollServerSession::PollingPath(), form,
                                   "application/x-www-form-urlencoded;");
    ASSERT_EQ(reply.status, 200) << reply.body;
    const auto list = Session().List("a7", "m1");
    ASSERT_EQ(list.Records().size(), 1u);
    EXPECT_EQ(list.Records()[0].Attr("Title"), longTitle);
    EXPECT_EQ(list.Records()[0].items[0].attributes.at("Content"), longTitle);
}

TEST_F(PollServerTest, HttpsServesTheSameDataWithTheCertificateMadeAtFirstStart) {
    ASSERT_FALSE(m_server.HttpsUrl().empty());
    ASSERT_TRUE(std::filesystem::exists(Certificate()));
    struct stat keyInfo {};
    ASSERT_EQ(stat((m_dir / "pollserver-key.pem").c_str(), &keyInfo), 0);
    EXPECT_EQ(keyInfo.st_mode & 077, 0u) << "the private key must be readable by its owner only";

    std::string id;
    {
        // Verified against the generated certificate: it names 127.0.0.1.
        PollServerSession secure(m_server.HttpsUrl(), Certificate());
        id = secure.Create("a7", "m1", "Over TLS", "S", false, {{"A", "yes"}});
        ASSERT_FALSE(id.empty());
        EXPECT_EQ(Session().List("a7", "m1").Find(id)->Attr("Title"), "Over TLS");
        EXPECT_EQ(secure.SetStatus(id, "O", "0"), 200);
        EXPECT_EQ(secure.Vote(id, "u1", "Ann", {"A"}), 200);
        EXPECT_EQ(secure.List("a7", "m1").Find(id)->Attr("UserCount"), "1");
    }

    // The same certificate is used again after a restart.
    const auto before = ReadFileBytes(Certificate());
    Restart(false);
    EXPECT_EQ(ReadFileBytes(Certificate()), before);
    PollServerSession again(m_server.HttpsUrl(), Certificate());
    EXPECT_EQ(again.List("a7", "m1").Find(id)->Attr("Title"), "Over TLS");
}

}  // namespace
}  // namespace quibra::test
