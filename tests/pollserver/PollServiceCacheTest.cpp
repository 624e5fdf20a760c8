// Result replies come from memory until one of their polls changes, and never
// from before a change that was acknowledged.
#include <gtest/gtest.h>

#include <atomic>

#include "FormFields.h"
#include "PollListReply.h"
#include "PollServerTest.h"
#include "PollService.h"
#include "SqlitePollStore.h"

namespace quibra::test {
namespace {

using namespace quibra::pollserver;

// The real store, with its reads of counts counted (a ballot's pre-check reads choices only).
class CountingStore : public SqlitePollStore {
public:
    using SqlitePollStore::SqlitePollStore;
    StoreOutcome ListPolls(const std::string& author, const std::string& module, PollDetail detail,
                           std::vector<PollView>& polls) override {
        ++reads;
        return SqlitePollStore::ListPolls(author, module, detail, polls);
    }
    StoreOutcome FindPolls(const std::vector<std::int64_t>& ids, Filter filter, PollDetail detail,
                           std::vector<PollView>& polls) override {
        reads += detail != PollDetail::Choices;
        return SqlitePollStore::FindPolls(ids, filter, detail, polls);
    }
    std::atomic<int> reads{0};
};

class PollServiceCacheTest : public ::testing::Test {
protected:
    std::string Call(PollService::Script script, const std::string& form) {
        FormFields fields;
        std::string reason;
        EXPECT_TRUE(fields.Parse(form, reason)) << form;
        return m_service.Handle(script, fields).body;
    }
    std::string Poll(const std::string& form) { return Call(PollService::Script::Polling, form); }
    // "id:<UserCount><Status> " for every poll of a result reply.
    std::string Shown(const std::string& form) {
        PollListReply reply;
        EXPECT_TRUE(reply.Parse(Call(PollService::Script::Results, form)));
        std::string shown;
        for (const auto& poll : reply.Records())
            shown +=
                poll.Attr("PollingId") + ":" + poll.Attr("UserCount") + poll.Attr("Status") + " ";
        return shown;
    }
    std::string Open(const std::string& module) {
        PollListReply created;
        EXPECT_TRUE(created.Parse(Poll("job=CreatePolling&userid=a7&modulename=" + module +
                                       "&title=T&type=S&status=O&issign=1&ispublish=1&itemcount=2"
                                       "&content_0=y&itemname_0=A&content_1=n&itemname_1=B")));
        return created.Result().at("PollingId");
    }
    // The status of a ballot for A, through `service` (the fixture's by default).
    int Vote(const std::string& id, const std::string& user, PollService* service = nullptr) {
        FormFields fields;
        std::string reason;
        EXPECT_TRUE(fields.Parse("job=PostPolling&pollid=" + id + "&userid=" + user +
                                     "&username=N&itemcount=1&itemname_0=A",
                                 reason));
        return (service ? *service : m_service).Handle(PollService::Script::Polling, fields).status;
    }

    TempDir m_dir;
    CountingStore m_store{m_dir / "polls.sqlite"};
    PollService m_service{m_store};
    const std::string m_list = "job=GetPollingResult&userid=a7&modulename=m1";
};

TEST_F(PollServiceCacheTest, RepliesAreBuiltOncePerChange) {
    const auto id = Open("m1");
    const auto other = Open("m2");
    Vote(id, "u1");
    const std::string published = "job=GetPollingResult2&pollcount=1&pollid_0=" + id;

    for (int i = 0; i < 3; ++i) EXPECT_EQ(Shown(published), id + ":1O ");
    EXPECT_EQ(m_store.reads, 1) << "every attendee's fetch after publish is one build";
    // A list's polls are known once read: its second build is the one kept.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Shown(m_list), id + ":1O ");
    EXPECT_EQ(m_store.reads, 3);

    Vote(other, "u1");
    Shown(published);
    Shown(m_list);
    EXPECT_EQ(m_store.reads, 3) << "a ballot elsewhere changes neither";

    // Each kind of change is seen at once.
    Vote(id, "u2");
    EXPECT_EQ(Shown(published), id + ":2O ");
    EXPECT_EQ(Shown(m_list), id + ":2O ");
    Poll("job=UpdatePollingStatus&pollcount=1&pollid_0=" + id + "&status_0=C&ispublish_0=0");
    EXPECT_EQ(Shown(published), "");
    EXPECT_EQ(Shown(m_list), id + ":2C ");
    const auto added = Open("m1");
    EXPECT_EQ(Shown(m_list), id + ":2C " + added + ":0O ");
    Poll("job=DeletePolling&pollcount=1&pollid_0=" + added);
    EXPECT_EQ(Shown(m_list), id + ":2C ");
}

TEST_F(PollServiceCacheTest, NoReplyIsOlderThanABallotAcknowledgedBeforeIt) {
    const auto id = Open("m1");
    std::atomic<int> acknowledged{0};
    std::atomic<int> stale{0};
    OnThreads(4, [&](int t) {
        for (int u = 0; u < 100; ++u) {
            if (Vote(id, std::to_string(t) + "-" + std::to_string(u)) == 200) ++acknowledged;
            const int before = acknowledged;
            const auto shown =
                Shown(u % 2 ? m_list : "job=GetPollingResult2&pollcount=1&pollid_0=" + id);
            if (std::stoi(shown.substr(id.size() + 1)) < before) ++stale;
        }
    });
    EXPECT_EQ(acknowledged, 400);
    EXPECT_EQ(stale, 0);
}

// A ballot the pre-check lets through is still the store's to refuse, and where
// others change the store too nothing is refused from memory.
TEST_F(PollServiceCacheTest, TheStoreHasTheLastWordOnEveryBallot) {
    const auto id = Open("m1");
    auto set = [&](char status) { m_store.ChangeStatus({{std::stoll(id), status, {}}}); };
    EXPECT_EQ(Vote(id, "u1"), 200);
    set('C');  // behind the service's back: what it knows still has the poll open
    EXPECT_EQ(Vote(id, "u2"), 409);
    PollService shared(m_store, false);
    EXPECT_EQ(Vote(id, "u3", &shared), 409);
    set('O');
    EXPECT_EQ(Vote(id, "u3", &shared), 200);
    EXPECT_EQ(Shown(m_list), id + ":2O ");
}

}  // namespace
}  // namespace quibra::test
