#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "polldata/RecordFields.h"
#include "support/XmlSupport.h"

using quibra::PollList;
using quibra::PollRecord;
using quibra::test::ParseXml;

namespace {

std::vector<std::wstring> Listed(const PollList& list) {
    std::vector<std::wstring> out;
    for (const PollRecord& record : list.Records()) out.push_back(RecordFields(record));
    return out;
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

TEST(PollListTest, ApplyReadsEveryRecordInOrderAndReplacesTheList) {
    PollList list;
    list.Apply(ParseXml(kTwoPolls));
    // The record element's own name is not checked.
    EXPECT_EQ(
        Listed(list),
        (std::vector<std::wstring>{
            L"41|Lunch & more|S|id|3|C|U|-- [41|A|Pizza|2|ann|bob] [41|B|Soup|1|cy] [41|C|Salad|0]",
            L"42|Dates|M|anon|0|O|P|-- [42|A|Mon|0]"}));

    list.Apply(ParseXml(R"(<W><Records><R PollingId="9" Status="N"/></Records></W>)"));
    EXPECT_EQ(Listed(list), std::vector<std::wstring>{L"9||M|id|-1|N|P|--"});
}

TEST(PollListTest, RepliesWithoutRecordsGiveAnEmptyList) {
    // "Records" must be a direct child of the payload, spelled exactly.
    for (const CWenNode& reply :
         {ParseXml("<Wendrake/>"),
          ParseXml("<Wendrake><Records>\n  <!-- none -->\n</Records></Wendrake>"),
          ParseXml("<W><records><R PollingId='1'/></records><X><Records><R/></Records></X></W>"),
          CWenNode()}) {
        PollList list;
        list.Apply(ParseXml(kTwoPolls));
        ASSERT_EQ(list.Records().size(), 2u);
        list.Apply(reply);
        EXPECT_TRUE(list.Records().empty());
    }
}

TEST(PollListTest, ParseRecordAppendsAndReadsAnEmptyElementAsDefaults) {
    PollList list;
    list.Apply(ParseXml(kTwoPolls));
    PollRecord& added = list.ParseRecord(CWenNode());
    ASSERT_EQ(list.Records().size(), 3u);
    EXPECT_EQ(&added, &list.Records().back());
    EXPECT_EQ(RecordFields(added), L"||M|id|-1|-|P|--");
}

TEST(PollListTest, ViewIsClearedBeforeRecordsGoAndShownPollIsRemembered) {
    RecordingView view;
    PollList list(&view);
    list.Apply(ParseXml(kTwoPolls));
    EXPECT_EQ(view.clears, 1);
    ASSERT_EQ(view.filledWith.size(), 1u);
    EXPECT_EQ(view.filledWith[0], L"");  // nothing shown yet: the first poll is selected
    EXPECT_EQ(view.filledCounts[0], 2u);
    EXPECT_EQ(view.shown, &list.Records());

    // The view shows poll 42; the refresh asks for it again and then forgets it.
    view.currentPollId = L"42";
    list.Apply(ParseXml(kTwoPolls));
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
    list.Apply(ParseXml(R"(<W><Records><R PollingId="7"/></Records></W>)"));
    EXPECT_EQ(view.filledWith.back(), L"42");
    EXPECT_EQ(view.filledCounts.back(), 1u);
    EXPECT_EQ(list.RememberedPollId(), L"");

    // Without a view only the records are kept.
    list.SetView(nullptr);
    const int clears = view.clears;
    list.Apply(ParseXml(kTwoPolls));
    EXPECT_EQ(list.Records().size(), 2u);
    EXPECT_EQ(view.clears, clears);
}
