#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "quibra/CWenDoc.h"

using quibra::PollItem;
using quibra::PollList;
using quibra::PollRecord;
using quibra::PollStatus;
using quibra::PublishState;

namespace {

// Parses `xml` and keeps the document alive with the returned root.
CWenNode Load(const std::string& xml) {
    CWenDoc doc;
    CWenNode root = doc.LoadXml(xml);
    EXPECT_FALSE(root.IsNull()) << xml;
    return root;
}

// One record element inside a list reply, so that a test reads exactly one record.
PollRecord ParseOne(const std::string& recordXml) {
    PollList list;
    list.Apply(Load("<Wendrake><Records>" + recordXml + "</Records></Wendrake>"));
    EXPECT_EQ(list.Records().size(), 1u) << recordXml;
    return list.Records().empty() ? PollRecord{} : list.Records().front();
}

// Stands in for the manager window: records what the list asks of it and
// checks that the records are still there when the presentation is cleared.
class RecordingView : public quibra::IPollListView {
public:
    std::optional<std::wstring> ClearPresentation() override {
        ++clears;
        if (shown) recordsAtClear.push_back(shown->size());
        shown = nullptr;
        return currentPollId;
    }
    void FillPresentation(std::vector<PollRecord>& records,
                          const std::wstring& rememberedPollId) override {
        shown = &records;
        filledWith.push_back(rememberedPollId);
        filledCounts.push_back(records.size());
    }

    std::optional<std::wstring> currentPollId;
    int clears = 0;
    std::vector<PollRecord>* shown = nullptr;
    std::vector<std::size_t> recordsAtClear;
    std::vector<std::wstring> filledWith;
    std::vector<std::size_t> filledCounts;
};

const char* const kTwoPolls = R"(<?xml version="1.0" encoding="UTF-8"?>
<Wendrake>
  <Records>
    <Record PollingId="41" Type="S" IsSign="1" Title="Lunch &amp; more" IsPublish="0" Status="C" UserCount="3">
      <Items>
        <Item ItemName="A" Content="Pizza" PostCount="2"><User UserName="ann"/><!-- x --><User UserName="bob"/></Item>
        <Item ItemName="B" Content="Soup" PostCount="1"><User UserName="cy"/></Item>
        <Item ItemName="C" Content="Salad" PostCount="0"/>
      </Items>
    </Record>
    <Poll PollingId="42" Type="M" IsSign="0" Title="Dates" IsPublish="1" Status="O" UserCount="0">
      <Items><Item ItemName="A" Content="Mon" PostCount="0"/></Items>
    </Poll>
  </Records>
</Wendrake>)";

}  // namespace

TEST(PollListTest, ApplyReadsEveryFieldOfEveryRecordInOrder) {
    PollList list;
    list.Apply(Load(kTwoPolls));
    ASSERT_EQ(list.Records().size(), 2u);

    const PollRecord& lunch = list.Records()[0];
    EXPECT_EQ(lunch.pollId, L"41");
    EXPECT_EQ(lunch.title, L"Lunch & more");
    EXPECT_TRUE(lunch.singleChoice);
    EXPECT_TRUE(lunch.identified);
    EXPECT_EQ(lunch.voterCount, 3);
    EXPECT_EQ(lunch.status, PollStatus::Closed);
    EXPECT_EQ(lunch.publishState, PublishState::NotPublished);
    EXPECT_EQ(lunch.requestedStatus, PollStatus::None);
    EXPECT_EQ(lunch.requestedPublishState, PublishState::None);
    ASSERT_EQ(lunch.items.size(), 3u);
    EXPECT_EQ(lunch.items[0].pollId, L"41");
    EXPECT_EQ(lunch.items[0].itemName, L"A");
    EXPECT_EQ(lunch.items[0].content, L"Pizza");
    EXPECT_EQ(lunch.items[0].postCount, 2);
    EXPECT_EQ(lunch.items[0].voterNames, (std::vector<std::wstring>{L"ann", L"bob"}));
    EXPECT_EQ(lunch.items[1].voterNames, std::vector<std::wstring>{L"cy"});
    EXPECT_EQ(lunch.items[2].itemName, L"C");
    EXPECT_EQ(lunch.items[2].postCount, 0);
    EXPECT_TRUE(lunch.items[2].voterNames.empty());

    // The record element's own name is not checked.
    const PollRecord& dates = list.Records()[1];
    EXPECT_EQ(dates.pollId, L"42");
    EXPECT_FALSE(dates.singleChoice);
    EXPECT_FALSE(dates.identified);
    EXPECT_EQ(dates.status, PollStatus::Open);
    EXPECT_EQ(dates.publishState, PublishState::Published);
    ASSERT_EQ(dates.items.size(), 1u);
    EXPECT_EQ(dates.items[0].pollId, L"42");

    // The next reply replaces the whole list.
    list.Apply(Load(R"(<W><Records><R PollingId="9" Status="N"/></Records></W>)"));
    ASSERT_EQ(list.Records().size(), 1u);
    EXPECT_EQ(list.Records()[0].pollId, L"9");
    EXPECT_EQ(list.Records()[0].status, PollStatus::New);
    EXPECT_TRUE(list.Records()[0].items.empty());
}

TEST(PollListTest, AttributesFollowTheReplyRules) {
    // Only an upper-case S is single choice.
    EXPECT_TRUE(ParseOne(R"(<R Type="S"/>)").singleChoice);
    EXPECT_FALSE(ParseOne(R"(<R Type="s"/>)").singleChoice);
    EXPECT_FALSE(ParseOne(R"(<R Type="SM"/>)").singleChoice);
    EXPECT_FALSE(ParseOne(R"(<R/>)").singleChoice);

    // Only exactly "0" makes a poll anonymous.
    EXPECT_FALSE(ParseOne(R"(<R IsSign="0"/>)").identified);
    EXPECT_TRUE(ParseOne(R"(<R IsSign=""/>)").identified);
    EXPECT_TRUE(ParseOne(R"(<R/>)").identified);
    EXPECT_TRUE(ParseOne(R"(<R IsSign="00"/>)").identified);
    EXPECT_TRUE(ParseOne(R"(<R IsSign="1"/>)").identified);

    // A missing publish flag counts as published.
    EXPECT_EQ(ParseOne(R"(<R/>)").publishState, PublishState::Published);
    EXPECT_EQ(ParseOne(R"(<R IsPublish=""/>)").publishState, PublishState::Published);
    EXPECT_EQ(ParseOne(R"(<R IsPublish="0"/>)").publishState, PublishState::NotPublished);

    EXPECT_EQ(ParseOne(R"(<R Status="D"/>)").status, PollStatus::D);
    EXPECT_EQ(ParseOne(R"(<R Status="o"/>)").status, PollStatus::None);
    EXPECT_EQ(ParseOne(R"(<R Status="OC"/>)").status, PollStatus::None);
    EXPECT_EQ(ParseOne(R"(<R/>)").status, PollStatus::None);

    // Integers: missing or empty -1, otherwise the leading decimal number.
    EXPECT_EQ(ParseOne(R"(<R/>)").voterCount, -1);
    EXPECT_EQ(ParseOne(R"(<R UserCount=""/>)").voterCount, -1);
    EXPECT_EQ(ParseOne(R"(<R UserCount="12px"/>)").voterCount, 12);
    EXPECT_EQ(ParseOne(R"(<R UserCount="many"/>)").voterCount, 0);

    // Voters are kept only when the post count is above 0.
    const PollRecord r = ParseOne(R"(<R PollingId="5"><Items>
        <I ItemName="A" PostCount="0"><U UserName="ghost"/></I>
        <I ItemName="B"><U UserName="ghost"/></I>
        <I ItemName="C" PostCount="-2"><U UserName="ghost"/></I>
        <I ItemName="D" PostCount="1"><U/><U UserName="zoe"/></I>
        <I/>
      </Items></R>)");
    ASSERT_EQ(r.items.size(), 5u);
    EXPECT_EQ(r.items[0].postCount, 0);
    EXPECT_TRUE(r.items[0].voterNames.empty());
    EXPECT_EQ(r.items[1].postCount, -1);
    EXPECT_TRUE(r.items[1].voterNames.empty());
    EXPECT_TRUE(r.items[2].voterNames.empty());
    // Every voter element counts, even one without a name.
    EXPECT_EQ(r.items[3].voterNames, (std::vector<std::wstring>{L"", L"zoe"}));
    EXPECT_EQ(r.items[4].itemName, L"");
    EXPECT_EQ(r.items[4].content, L"");
    EXPECT_EQ(r.items[4].pollId, L"5");
}

TEST(PollListTest, RepliesWithoutRecordsGiveAnEmptyList) {
    PollList list;
    list.Apply(Load(kTwoPolls));
    ASSERT_FALSE(list.Records().empty());
    list.Apply(Load("<Wendrake/>"));
    EXPECT_TRUE(list.Records().empty());

    list.Apply(Load(kTwoPolls));
    list.Apply(Load("<Wendrake><Records>\n  <!-- none -->\n</Records></Wendrake>"));
    EXPECT_TRUE(list.Records().empty());

    // "Records" must be a direct child of the payload, spelled exactly.
    list.Apply(Load("<W><records><R PollingId='1'/></records><X><Records><R/></Records></X></W>"));
    EXPECT_TRUE(list.Records().empty());

    list.Apply(Load(kTwoPolls));
    list.Apply(CWenNode());
    EXPECT_TRUE(list.Records().empty());
}

TEST(PollListTest, ParseRecordAppendsAndReadsAnEmptyElementAsDefaults) {
    PollList list;
    list.Apply(Load(kTwoPolls));
    PollRecord& added = list.ParseRecord(CWenNode());
    ASSERT_EQ(list.Records().size(), 3u);
    EXPECT_EQ(&added, &list.Records().back());
    EXPECT_EQ(added.pollId, L"");
    EXPECT_TRUE(added.identified);
    EXPECT_EQ(added.publishState, PublishState::Published);
    EXPECT_EQ(added.status, PollStatus::None);
    EXPECT_EQ(added.voterCount, -1);
    EXPECT_TRUE(added.items.empty());
}

TEST(PollListTest, ViewIsClearedBeforeRecordsGoAndShownPollIsRemembered) {
    RecordingView view;
    PollList list(&view);
    list.Apply(Load(kTwoPolls));
    EXPECT_EQ(view.clears, 1);
    ASSERT_EQ(view.filledWith.size(), 1u);
    EXPECT_EQ(view.filledWith[0], L"");  // nothing shown yet: the first poll is selected
    EXPECT_EQ(view.filledCounts[0], 2u);
    EXPECT_EQ(view.shown, &list.Records());

    // The view shows poll 42; the refresh asks for it again and then forgets it.
    view.currentPollId = L"42";
    list.Apply(Load(kTwoPolls));
    ASSERT_EQ(view.recordsAtClear.size(), 1u);
    EXPECT_EQ(view.recordsAtClear[0], 2u);  // records still alive while panels go
    EXPECT_EQ(view.filledWith.back(), L"42");
    EXPECT_EQ(list.RememberedPollId(), L"");

    // A clear with a current panel remembers its poll; a clear without one
    // keeps what was remembered, up to the next fill.
    list.Clear();
    EXPECT_TRUE(list.Records().empty());
    EXPECT_EQ(list.RememberedPollId(), L"42");
    view.currentPollId.reset();
    list.Clear();
    EXPECT_EQ(list.RememberedPollId(), L"42");
    list.Apply(Load(R"(<W><Records><R PollingId="7"/></Records></W>)"));
    EXPECT_EQ(view.filledWith.back(), L"42");
    EXPECT_EQ(view.filledCounts.back(), 1u);
    EXPECT_EQ(list.RememberedPollId(), L"");

    // Without a view only the records are kept.
    list.SetView(nullptr);
    const int clears = view.clears;
    list.Apply(Load(kTwoPolls));
    EXPECT_EQ(list.Records().size(), 2u);
    EXPECT_EQ(view.clears, clears);
}
