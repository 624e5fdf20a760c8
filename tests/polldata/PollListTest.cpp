#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "polldata/RecordFields.h"
#include "support/XmlSupport.h"

using namespace quibra;
using quibra::test::ParseXml;

namespace {

// Stands in for the manager window: logs "clear N" with the number of records
// still alive under its panels (- when none are shown) and "fill ID N" with the
// poll to select again.
class RecordingView : public IPollListView {
public:
    std::optional<std::wstring> ClearPresentation() override {
        log.push_back(L"clear " + (shown ? std::to_wstring(shown->size()) : L"-"));
        shown = nullptr;
        return currentPollId;
    }
    void FillPresentation(std::vector<PollRecord>& records, const std::wstring& id) override {
        shown = &records;
        log.push_back(L"fill " + id + L" " + std::to_wstring(records.size()));
    }
    std::optional<std::wstring> currentPollId;
    std::vector<PollRecord>* shown = nullptr;
    std::vector<std::wstring> log;
};

const char* const kTwoPolls =
    "<W><Records><R PollingId='41' Title='a'/><Poll PollingId='42'/></Records></W>";

}  // namespace

// The element children of the first "Records" child, spelled exactly, whatever
// their names, in order; each reply replaces the list.
TEST(PollListTest, ApplyReadsTheRecordsOfTheReplyAndReplacesTheList) {
    const std::pair<std::string, std::wstring> cases[] = {
        {kTwoPolls, L"41|a|M|id|-1|-|P|--,42||M|id|-1|-|P|--,"},
        {"<W><Records>\n<!-- c --><A PollingId='1'/> text <B PollingId='2'><C PollingId='3'/></B>"
         "</Records><Records><D PollingId='4'/></Records></W>",
         L"1||M|id|-1|-|P|--,2||M|id|-1|-|P|--,"},
        {"<Wendrake/>", L""},
        {"<W><Records>\n  <!-- none -->\n</Records></W>", L""},
        {"<W><records><R PollingId='1'/></records><X><Records><R/></Records></X></W>", L""},
        {"", L""},  // no payload
    };
    for (const auto& [xml, expected] : cases) {
        PollList list;
        list.Apply(ParseXml(kTwoPolls));
        list.Apply(xml.empty() ? CWenNode() : ParseXml(xml));
        std::wstring listed;
        for (const PollRecord& record : list.Records()) listed += RecordFields(record) + L",";
        EXPECT_EQ(listed, expected) << xml;
    }
    PollList list;  // a record added by hand goes after the others
    list.Apply(ParseXml(kTwoPolls));
    PollRecord& added = list.ParseRecord(ParseXml("<R PollingId='9' Status='N'/>"));
    ASSERT_EQ(list.Records().size(), 3u);
    EXPECT_EQ(&added, &list.Records().back());
    EXPECT_EQ(RecordFields(added), L"9||M|id|-1|N|P|--");
}

TEST(PollListTest, ViewIsClearedBeforeRecordsGoAndShownPollIsRemembered) {
    RecordingView view;
    PollList list(&view);
    list.Apply(ParseXml(kTwoPolls));  // nothing shown yet: the first poll is selected
    EXPECT_EQ(view.shown, &list.Records());
    view.currentPollId = L"42";  // shown: the refresh asks for it again, then forgets it
    list.Apply(ParseXml(kTwoPolls));
    EXPECT_EQ(list.RememberedPollId(), L"");
    // A clear with a current panel remembers its poll; a clear without one
    // keeps what was remembered, up to the next fill.
    list.Clear();
    EXPECT_TRUE(list.Records().empty());
    EXPECT_EQ(list.RememberedPollId(), L"42");
    view.currentPollId.reset();
    list.Clear();
    EXPECT_EQ(list.RememberedPollId(), L"42");
    list.Apply(ParseXml("<W><Records><R PollingId='7'/></Records></W>"));
    EXPECT_EQ(list.RememberedPollId(), L"");
    EXPECT_EQ(view.log,
              (std::vector<std::wstring>{L"clear -", L"fill  2", L"clear 2", L"fill 42 2",
                                         L"clear 2", L"clear -", L"clear -", L"fill 42 1"}));
    // Without a view only the records are kept.
    list.SetView(nullptr);
    list.Apply(ParseXml(kTwoPolls));
    EXPECT_EQ(list.Records().size(), 2u);
    EXPECT_EQ(view.log.size(), 8u);
}
