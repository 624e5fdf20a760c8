// Every job's effect, seen through the result script as the plug-in sees it.
#include <sys/stat.h>

#include "PollServerTest.h"
#include "RawConnection.h"
#include "SqliteConnection.h"
#include "SqliteStatement.h"

namespace quibra::test {
namespace {

TEST_P(PollServerStoreTest, CreateRepliesWithNewIdAndListsPollsOfAuthorAndModuleOnly) {
    const auto first = Session().Create("a7", "m1", "Q1", "S", false, {{"A", "yes"}, {"B", "no"}});
    const auto second = Session().Create("a7", "m1", "Q2", "M", true, {{"A", "red"}});
    const auto otherModule = Session().Create("a7", "m2", "Q3", "S", false, {{"A", "x"}});
    const auto otherAuthor = Session().Create("b8", "m1", "Q4", "S", false, {{"A", "x"}});
    ASSERT_FALSE(first.empty());
    EXPECT_GT(std::stoll(second), std::stoll(first));

    const auto list = Session().List("a7", "m1");
    ASSERT_EQ(list.Ids(), (Strings{first, second}));
    const auto& q1 = list.Records()[0];
    EXPECT_EQ(q1.Attrs("Type IsSign Title IsPublish Status UserCount"),
              "Type=S IsSign=0 Title=Q1 IsPublish=0 Status=N UserCount=0");
    EXPECT_EQ(q1.Column("ItemName") + "|" + q1.Column("Content") + "|" + q1.Column("PostCount"),
              "A B|yes no|0 0");
    EXPECT_EQ(list.Records()[1].Attrs("Type IsSign"), "Type=M IsSign=1");

    EXPECT_EQ(Session().List("a7", "m2").Ids(), Strings{otherModule});
    EXPECT_EQ(Session().List("b8", "m1").Ids(), Strings{otherAuthor});
    EXPECT_TRUE(Session().List("nobody", "m1").Records().empty());
}

TEST_P(PollServerStoreTest, UpdateRewritesANewPollOnlyAndStatusJobSetsStatusAndPublishing) {
    const auto id = Session().Create("a7", "m1", "Old", "S", false, {{"A", "a"}, {"B", "b"}});
    ASSERT_EQ(Session().Update(id, "New", "M", true, {{"A", "one"}, {"B", "two"}, {"C", "3"}}),
              200);
    EXPECT_EQ(Listed(id).Attrs("Title Type IsSign"), "Title=New Type=M IsSign=1");
    EXPECT_EQ(Listed(id).Column("ItemName") + "|" + Listed(id).Column("Content"),
              "A B C|one two 3");

    ASSERT_EQ(Session().SetStatus(id, "O", "0"), 200);
    EXPECT_EQ(Listed(id).Attr("Status"), "O");
    // Posted already: the poll keeps its text.
    EXPECT_EQ(Session().Update(id, "Too late", "S", false, {{"A", "x"}}), 409);
    EXPECT_EQ(Listed(id).Attr("Title"), "New");
    EXPECT_EQ(Session().Update("999999", "Nobody", "S", false, {{"A", "x"}}), 404);

    // Publishing sends the current status with it; an empty status keeps the stored one.
    for (const auto& [status, publish, expected] :
         {std::tuple{"C", "1", "Status=C IsPublish=1"}, std::tuple{"", "0", "Status=C IsPublish=0"},
          std::tuple{"D", "0", "Status=D IsPublish=0"}}) {
        ASSERT_EQ(Session().SetStatus(id, status, publish), 200);
        EXPECT_EQ(Listed(id).Attrs("Status IsPublish"), expected);
    }

    // Several polls in one job, as the console sends them (last record first).
    const auto other = Session().Create("a7", "m1", "Other", "S", false, {{"A", "a"}});
    ASSERT_EQ(Session()
                  .Polling("job=UpdatePollingStatus&pollcount=2&pollid_0=" + other +
                           "&status_0=O&ispublish_0=0&pollid_1=" + id + "&status_1=N&ispublish_1=0")
                  .status,
              200);
    EXPECT_EQ(Listed(other).Attr("Status") + Listed(id).Attr("Status"), "ON");
    // Back to New after ballots were taken: rewriting would move the votes, so it is refused.
    ASSERT_EQ(Session().Vote(other, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().SetStatus(other, "N", "0"), 200);
    EXPECT_EQ(Session().Update(other, "Changed", "S", false, {{"B", "b"}}), 409);
    EXPECT_EQ(Listed(other).Column("ItemName") + "|" + Listed(other).Column("PostCount"), "A|1");
}

TEST_P(PollServerStoreTest, DeleteRemovesPollsWithTheirBallotsAndIgnoresPollsAlreadyGone) {
    const auto keep = OpenPoll("S", true);
    const auto drop1 = OpenPoll("S", true);
    const auto drop2 = Session().Create("a7", "m1", "Draft", "S", false, {{"A", "a"}});
    ASSERT_EQ(Session().Vote(drop1, "u1", "Ann", {"A"}), 200);
    ASSERT_EQ(Session().Vote(keep, "u1", "Ann", {"B"}), 200);

    ASSERT_EQ(Session().Vote(drop2, "u1", "Ann", {"A"}), 409) << "a draft takes no ballots";
    ASSERT_EQ(Session().Delete({drop1, drop2, "987654"}), 200);
    EXPECT_EQ(Session().List("a7", "m1").Ids(), Strings{keep});
    EXPECT_EQ(Listed(keep).Column("PostCount"), "0 1 0");
    EXPECT_TRUE(Session().Info({drop1}).Records().empty());
    EXPECT_EQ(Session().Vote(drop2, "u2", "Bob", {"A"}), 404) << "a deleted poll takes no ballots";
    // A job's acknowledgement, byte for byte.
    const auto none = Session().Polling("job=DeletePolling&pollcount=0");
    EXPECT_EQ(std::to_string(none.status) + none.body,
              "200<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!--Generate by Wendrake "
              "application.--><Wendrake><Result Code=\"200\" Job=\"DeletePolling\"/></Wendrake>\n");

    // Nothing of the deleted polls stays behind in the file either.
    if (OnPostgres()) return;
    ASSERT_NO_FATAL_FAILURE(Stop());
    pollserver::SqliteConnection db(Database());
    const std::string gone = " IN (" + drop1 + ", " + drop2 + "))";
    auto& left = db.Statement("SELECT (SELECT COUNT(*) FROM polls WHERE id" + gone +
                              " || (SELECT COUNT(*) FROM choices WHERE poll_id" + gone +
                              " || (SELECT COUNT(*) FROM ballots WHERE poll_id" + gone);
    ASSERT_TRUE(left.Step());
    EXPECT_EQ(left.Text(0), "000") << "rows left in polls, choices, ballots";
}

TEST_P(PollServerStoreTest, InfoGivesPostedPollsWithChoicesButNoCountsOrVoters) {
    const auto open = OpenPoll("S", true);
    const auto draft = Session().Create("a7", "m1", "Draft", "M", true, {{"A", "a"}});
    ASSERT_EQ(Session().Vote(open, "u1", "Ann", {"A"}), 200);

    const auto info = Session().Info({draft, open, "424242", open});
    ASSERT_EQ(info.Ids(), Strings{open});
    const auto& record = info.Records()[0];
    EXPECT_EQ(record.Attrs("Title Type IsSign UserCount"),
              "Title=Lunch? Type=S IsSign=1 UserCount=<missing>");
    EXPECT_EQ(record.Column("Content") + "|" + record.Column("PostCount"),
              "yes no maybe|<missing> <missing> <missing>");
    for (const auto& item : record.items) EXPECT_TRUE(item.userNames.empty());
}

TEST_P(PollServerStoreTest, TextsRoundTripByteForByteThroughEveryReply) {
    const std::string title =
        "多選題 — 🍕 or 🍣? \"quoted\" & 'single' <b>bold</b>\r\nline two\tand a tab";
    const std::string content = "Ünïcödé ☃ 𝄞 a&b<c>d \"e\"\n";
    const std::string userName = "張偉 \"Zhang\" <zw> & 😀";
    // A choice name in the syntax of a database array literal is still one name.
    const std::string arrayLike = "{\"x\\\",y}";
    const auto id = Session().Create("作者 & <a7>", "モジュール", title, "S", true,
                                     {{"A", content}, {"😀", "emoji name"}, {arrayLike, "x"}});
    ASSERT_EQ(Session().SetStatus(id, "O", "1"), 200);
    ASSERT_EQ(Session().Vote(id, "用户 1", userName, {"😀"}), 200);
    ASSERT_EQ(Session().Vote(id, "u2", "Bob", {arrayLike}), 200);

    const auto list = Session().List("作者 & <a7>", "モジュール");
    ASSERT_EQ(list.Ids(), Strings{id});
    const auto& record = list.Records()[0];
    EXPECT_EQ(record.Attr("Title"), title);
    EXPECT_EQ(record.items[0].attributes.at("Content"), content);
    EXPECT_EQ(record.items[1].attributes.at("ItemName"), "😀");
    EXPECT_EQ(record.items[1].userNames, Strings{userName});
    EXPECT_EQ(record.Column("PostCount"), "0 1 1");
    EXPECT_EQ(Session().Info({id}).Find(id)->Attr("Title"), title);
    EXPECT_EQ(Session().Published({id}).Find(id)->items[1].userNames, Strings{userName});

    // On the wire: characters as their own UTF-8 bytes; line breaks and tabs as
    // character references, so no parser folds them into spaces.
    const auto raw = Session().Results("job=GetPollingInfo" + PollServerSession::Ids({id})).body;
    for (const char* text :
         {"🍕", "&#13;&#10;line two&#9;and", "&quot;quoted&quot; &amp; 'single' &lt;b&gt;"})
        EXPECT_NE(raw.find(text), std::string::npos) << text;

    // The longest texts, 8192 characters of three UTF-8 bytes each, do not fit
    // a request line: they go as a form body, the other verb the client knows.
    const auto longest = Repeat("中", 8192);
    ASSERT_EQ(Session()
                  .Post("job=CreatePolling&userid=a7&modulename=m1&type=S&status=N&issign=0"
                        "&ispublish=0&itemcount=1&itemname_0=A&" +
                        HttpClient::Form({{"title", longest}, {"content_0", longest}}))
                  .status,
              200);
    const auto longList = Session().List("a7", "m1");
    ASSERT_EQ(longList.Records().size(), 1u);
    EXPECT_EQ(longList.Records()[0].Attr("Title"), longest);
    EXPECT_EQ(longList.Records()[0].Column("Content"), longest);
}

TEST_F(PollServerTest, HttpsServesTheSameDataWithTheCertificateMadeAtFirstStart) {
    struct stat key {};
    ASSERT_EQ(stat((m_dir / "pollserver-key.pem").c_str(), &key), 0);
    EXPECT_EQ(key.st_mode & 077, 0u) << "the private key must be readable by its owner only";

    std::string id;
    {
        // Verified against the generated certificate: it names 127.0.0.1.
        PollServerSession secure(m_server.HttpsUrl(), Certificate());
        id = secure.Create("a7", "m1", "Over TLS", "S", false, {{"A", "yes"}});
        EXPECT_EQ(Listed(id).Attr("Title"), "Over TLS");
        EXPECT_EQ(secure.SetStatus(id, "O", "0"), 200);
        EXPECT_EQ(secure.Vote(id, "u1", "Ann", {"A"}), 200);
        EXPECT_EQ(secure.List("a7", "m1").Records().at(0).Attr("UserCount"), "1");
    }

    // A client's next connection resumes its TLS session: no second full handshake.
    auto context = RawConnection::ClientContext();
    std::shared_ptr<SSL_SESSION> session;
    for (const bool resuming : {false, true}) {
        RawConnection connection;
        ASSERT_TRUE(connection.Connect(m_server.HttpsUrl()));
        ASSERT_TRUE(connection.Tls(context.get(), session.get()));
        EXPECT_EQ(SSL_session_reused(connection.Ssl()) == 1, resuming);
        EXPECT_EQ(SSL_version(connection.Ssl()), TLS1_3_VERSION);
        // The session ticket comes after the handshake: read the reply before taking it.
        connection.Send("GET / HTTP/1.1\r\nConnection: close\r\n\r\n");
        std::string reply;
        EXPECT_TRUE(connection.ReadUntilClosed(std::chrono::milliseconds(3000), &reply));
        EXPECT_EQ(reply.substr(0, 12), "HTTP/1.1 404");
        session.reset(SSL_get1_session(connection.Ssl()), SSL_SESSION_free);
        // Ended cleanly (the server's alert came), so the client keeps the session.
        SSL_set_shutdown(connection.Ssl(), SSL_SENT_SHUTDOWN | SSL_RECEIVED_SHUTDOWN);
    }

    // The same certificate is used again after a restart.
    const auto before = ReadFileBytes(Certificate());
    ASSERT_FALSE(before.empty());
    Restart();
    EXPECT_EQ(ReadFileBytes(Certificate()), before);
    PollServerSession again(m_server.HttpsUrl(), Certificate());
    EXPECT_EQ(again.List("a7", "m1").Records().at(0).Attr("Title"), "Over TLS");
}

INSTANTIATE_TEST_SUITE_P(Stores, PollServerStoreTest, ::testing::Values("sqlite", "postgresql"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace quibra::test
