#include <gtest/gtest.h>

#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>
#include <filesystem>

#include "voting/VotingFixture.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using VoteDialogLook = VotingFixture;

// A long text wraps inside its control and its first line is shown whole.
void ExpectReadable(QWidget* widget, const char* what) {
    auto* edit = qobject_cast<QTextEdit*>(widget);
    ASSERT_NE(edit, nullptr) << what;
    const QTextLayout* layout = edit->document()->begin().layout();
    ASSERT_NE(layout, nullptr) << what;
    EXPECT_GT(layout->lineCount(), 1) << what << " wraps";
    EXPECT_LE(edit->document()->idealWidth(), edit->viewport()->width()) << what;
    const QRectF firstLine = layout->lineAt(0).rect().translated(layout->position());
    EXPECT_GE(firstLine.top(), 0) << what;
    EXPECT_LE(firstLine.bottom(), edit->viewport()->height()) << what << " first line clipped";
}

void Pick(CPollVoteDlg* dialog, std::initializer_list<int> ids) {
    ASSERT_NE(dialog, nullptr);
    for (int id : ids) {
        auto* button = dialog->findChild<QWidget*>(QString::number(id));
        ASSERT_NE(button, nullptr) << id;
        QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
    }
}

void Save(CPollVoteDlg* dialog, const std::string& name) {
    ASSERT_NE(dialog, nullptr) << name;
    const auto folder = BinaryDir() / "screenshots" / "voting";
    std::filesystem::create_directories(folder);
    EXPECT_TRUE(dialog->grab().save(QString::fromStdString((folder / (name + ".png")).string())))
        << name;
}

const std::string kLongQuestion =
    "Which of the following times would suit you best for the quarterly planning review, "
    "given that the room is shared with two other teams and the review takes about three "
    "hours including a break?";
const std::string kLongChoice =
    "Thursday afternoon, after the release has been signed off and the support rota for the "
    "weekend is settled";

}  // namespace

// Renders the dialog in each mode and language under build/screenshots/voting
// for review, and checks on the way that long texts stay readable.
TEST_F(VoteDialogLook, RendersEachModeInEnglishAndChinese) {
    struct Language {
        const char* file;
        const char* tag;
        std::string single, multiple, longQuestion, longChoice;
        std::vector<std::string> yesNo, days;
    };
    const Language languages[] = {
        {"0409.xml",
         "en",
         "Shall we order lunch for everyone?",
         "Which days can you attend?",
         kLongQuestion,
         kLongChoice,
         {"Yes", "No", "Not sure yet"},
         {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"}},
        {"0804.xml",
         "zh",
         "要为大家订午餐吗？",
         "你哪几天可以参加？",
         "以下哪个时间最适合进行季度计划评审？会议室与另外两个团队共用，评审包括休息大约需要三个"
         "小时，请根据你的日程安排选择最合适的时间段。",
         "星期四下午，在版本发布签字确认、周末值班表安排妥当、会议室也预订好之后，大家都有空的时候",
         {"要", "不要", "还不确定"},
         {"星期一", "星期二", "星期三", "星期四", "星期五", "星期六", "星期日"}},
    };
    int id = 0;
    for (const Language& language : languages) {
        UseLanguage(language.file);
        const std::string tag = language.tag;
        const auto next = [&id] { return "look" + std::to_string(++id); };
        // Shown with a pick made, as an attendee sees them just before submitting.
        CPollVoteDlg* single = Open(RecordXml(next(), true, language.single, language.yesNo));
        Pick(single, {1002});
        Save(single, "single-" + tag);
        CPollVoteDlg* multiple = Open(RecordXml(next(), false, language.multiple, language.days));
        Pick(multiple, {1000, 1004, 1008});
        Save(multiple, "multiple-" + tag);
        CPollVoteDlg* longTexts = Open(RecordXml(next(), true, language.longQuestion,
                                                 {language.longChoice, language.yesNo[1]}));
        Save(longTexts, "long-question-" + tag);
        ExpectReadable(Item(longTexts, 4028), "question");
        ExpectReadable(Item(longTexts, 1001), "choice");
        Save(Open(RecordXml(next(), true, language.single, language.yesNo, {12, 5, 3}, 20), true),
             "result-" + tag);
    }
}
