#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <utility>

#include "config/Folders.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "quibra/CWenDoc.h"
#include "quibra/CWenNodeList.h"
#include "support/TestSupport.h"
#include "xml/WideString.h"

namespace fs = std::filesystem;

namespace {

// The shipped files as the host installs them: in Lang beside the executable.
fs::path ShippedFile(const std::string& name) {
    return fs::path(quibra::ToUtf8(quibra::GetLangFolder())) / name;
}

}  // namespace

TEST(LanguageFiles, EveryShippedLanguageHoldsEveryIdTheCodeAsksFor) {
    for (const std::string name : {"0409.xml", "0804.xml"}) {
        SCOPED_TRACE(name);
        const fs::path path = ShippedFile(name);
        ASSERT_TRUE(fs::exists(path));

        CWenMsg table;
        ASSERT_TRUE(table.Load(quibra::FromUtf8(path.string())));
        for (int id : quibra::msg::kAllMessageIds) {
            const std::wstring text = table.GetMsg(id);
            EXPECT_FALSE(text.empty()) << id;
            EXPECT_NE(text, L"Msg(" + quibra::ToWide(id) + L")") << id;
            EXPECT_EQ(text.find(L'\\'), std::wstring::npos) << id << ": stray escape";
        }

        // No ids beyond the list, none twice, and laid out as the system writes
        // the same entries (a parser reads CR LF as LF, so compare with a rebuilt file).
        CWenDoc doc;
        CWenNode root = doc.Load(quibra::FromUtf8(path.string()));
        CWenNodeList messages =
            root.SelectSingleNode(L"//Wendrake//Language").GetChildNodes(L"Message");
        CWenDoc rebuilt;
        CWenNode language = rebuilt.Create(L"Wendrake").AddChild(L"Language");
        std::set<std::wstring> ids;
        int count = 0;
        for (CWenNode m = messages.Next(); !m.IsNull(); m = messages.Next(), ++count) {
            ids.insert(m.GetAttribute(L"id"));
            CWenNode entry = language.AddChild(L"Message");
            entry.AddAttribute(L"id", m.GetAttribute(L"id"));
            entry.AddAttribute(L"Label", m.GetAttribute(L"Label"));
        }
        const size_t expected =
            quibra::msg::kAllMessageIds.size() + quibra::msg::kShippedSkinMessageIds.size();
        EXPECT_EQ(count, static_cast<int>(expected));
        EXPECT_EQ(ids.size(), expected);
        for (int id : quibra::msg::kShippedSkinMessageIds)
            EXPECT_TRUE(ids.count(quibra::ToWide(id))) << id;
        EXPECT_EQ(rebuilt.SaveToString(), quibra::test::ReadFileBytes(path));
    }
}

TEST(LanguageFiles, EachNamedIdShowsItsEnglishText) {
    using namespace quibra::msg;
    // clang-format off
    const std::pair<int, std::wstring> cases[] = {
        {kVoteNotSentInTime, L"Your answer could not"}, {kEditorCaptionNew, L"New Poll"},
        {kEditorCaptionEdit, L"Edit Poll"}, {kMenuPublishResult, L"Publish Results"},
        {kCategoryQuestion, L"Question"}, {kCategoryDetails, L"Poll Details"},
        {kStatusNew, L"Not posted"}, {kStatusOpen, L"Open"}, {kStatusClosed, L"Closed"},
        {kPublished, L"Published"}, {kNotPublished, L"Not published"}, {kCountWord, L"people"},
        {kVoterCountCaption, L"Respondents"}, {kStatusCaption, L"Status"},
        {kPublishCaption, L"Results"}, {kIdentifyCaption, L"Identify voters"},
        {kIdentified, L"Yes"}, {kAnonymous, L"No"}, {kAnswerModeCaption, L"Answer type"},
        {kSingleAnswer, L"Single answer"}, {kMultipleAnswers, L"Multiple answers"},
        {kSelectionNotSuitable, L"This action cannot"}, {kTitleMissing, L"Please enter a question"},
        {kChoicesMissing, L"Please enter at least"}, {kChoiceRepeated, L"Two choices"},
        {kResultCaption, L"Poll Results"}, {kSummaryStart, L"Answered by"},
        {kNothingChosen, L"Please choose"}, {kCategoryChoices, L"Choices"},
        {kMenuImportPollFile, L"Import Poll File"}, {kMenuExportShownPoll, L"Export This Poll"},
        {kMenuExportClosedPolls, L"Export All Closed"}, {kMenuNewPoll, L"New Poll..."},
    };
    // clang-format on
    CWenMsg table;
    ASSERT_TRUE(table.Load(quibra::FromUtf8(ShippedFile("0409.xml").string())));
    for (const auto& [id, start] : cases) EXPECT_EQ(table.GetMsg(id).rfind(start, 0), 0u) << id;
}
