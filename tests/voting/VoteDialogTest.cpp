#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QFocusFrame>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include "i18n/MessageIds.h"
#include "support/PluginFixture.h"
#include "ui/controls/CTransparentStatic.h"
#include "ui/controls/ResultBar.h"
#include "ui/controls/UiText.h"
#include "ui/voting/CPollVoteDlg.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// A record of `voters` people answering as `counts` says: a result reply's.
std::string Poll(const std::string& id, bool single, const std::string& title,
                 const std::vector<std::string>& contents, const std::vector<int>& counts = {},
                 int voters = 0, bool identified = false) {
    return PollRecordXml(id, title, {.single = single, .identified = identified, .voters = voters},
                         ItemsXml(contents, counts));
}

// An attendee's voting and result dialogs, opened by the host's replies.
class VoteDialog : public PluginFixture {
protected:
    // Sends the poll info (or, with `result`, the poll result) reply of one
    // record and keeps the dialog it opened, once active, as the one the
    // helpers look at, watched by the host.
    CPollVoteDlg* Open(const std::string& record, bool result = false) {
        const auto& windows = result ? manager->ResultWindows() : manager->AnswerWindows();
        const auto before = windows.size();
        Send(result ? L"/polling/in/clientshowpollresult" : L"/polling/in/clientgetpollinfo",
             "<Wendrake><Records>" + record + "</Records></Wendrake>");
        last =
            windows.size() > before ? dynamic_cast<CPollVoteDlg*>(windows.back().get()) : nullptr;
        host->watched = last;
        if (last) last->activateWindow();
        return last && QTest::qWaitForWindowActive(last) ? last : nullptr;
    }
    bool Checked(int id) const { return Item<QAbstractButton>(last, id)->isChecked(); }
    QString Text(int id) const {  // a choice's or the question's text, or the summary
        auto* edit = Item<QTextEdit>(last, id);
        return edit != nullptr ? edit->toPlainText() : Item<QLabel>(last, id)->text();
    }
    // Each footer button's tip, "-" for one hidden: submit, OK, cancel.
    QString Buttons() const {
        QStringList tips;
        for (int id : {4018, 4019, 4020})
            tips << (Item(last, id)->isVisible() ? Item(last, id)->toolTip() : QStringLiteral("-"));
        return tips.join('|');
    }
    // Commands run from the event loop: waits until the dialog has hidden.
    bool Gone() const {
        return WaitFor([this] { return !last->isVisible(); });
    }
    // The worker's word on the ballot of `pollId`, which the dialog waits for, sending:
    // sent, it hides; failed, it gives the choices back.
    bool Answered(const std::string& pollId, bool sent = true) {
        if (!WaitFor([this] { return last->Sending(); })) return false;
        Send(sent ? L"/polling/in/postpollingok" : L"/polling/in/postpollingerror",
             "<Polling><ID>" + pollId + "</ID></Polling>");
        return sent ? Gone() : !last->Sending() && last->isVisible();
    }
    // Where control `id` stands in the dialog (rows lie inside a scroll area).
    QRect InDialog(int id) const {
        const QWidget* item = Item(last, id);
        return QRect(item->mapTo(last, QPoint()), item->size());
    }
    QPointer<CPollVoteDlg> last;
};

}  // namespace

// A long question or choice wraps inside its control, its first line shown
// whole, also in Chinese, which has no spaces to break at.
TEST_F(VoteDialog, SingleAnswerKeepsOnlyTheLastPickAndSendsIt) {
    const std::string question =
        "以下哪个时间最适合进行季度计划评审？会议室与另外两个团队共用，评审包括休息大约需要三个"
        "小时，请根据你的日程安排选择最合适的时间段。";
    ASSERT_TRUE(Open(Poll("p1", true, question, {"Yes", "No", question})));
    // The whole question shows: the dialog grew below it, and no window manager resizes it.
    EXPECT_TRUE(last->parentWidget() == nullptr && last->width() == 480 && last->height() > 480);
    EXPECT_EQ(last->minimumSize(), last->maximumSize());
    EXPECT_EQ(last->windowTitle(), QString::fromStdString(question));
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect frame = last->frameGeometry();
    EXPECT_EQ(frame.topLeft(), screen.topLeft() + QPoint((screen.width() - frame.width()) / 2,
                                                         (screen.height() - frame.height()) / 2));
    EXPECT_EQ(Text(4028), QString::fromStdString(question));
    for (int id : {4028, 1005}) {
        const QTextEdit* edit = Item<QTextEdit>(last, id);
        const QTextLayout* layout = edit->document()->begin().layout();
        EXPECT_TRUE(layout->lineCount() > 1 &&
                    edit->horizontalScrollBarPolicy() == Qt::ScrollBarAlwaysOff)
            << id << " wraps";
        EXPECT_LE(edit->document()->idealWidth(), edit->viewport()->width()) << id;
        const QRectF line = layout->lineAt(0).rect().translated(layout->position());
        EXPECT_TRUE(line.top() >= 0 && line.bottom() <= edit->viewport()->height()) << id;
    }
    EXPECT_LE(Item<QTextEdit>(last, 4028)->document()->size().height(),
              Item<QTextEdit>(last, 4028)->viewport()->height());

    // Rows 1000/1001, 1002/1003, 1004/1005: a radio button and its text, every 40 pixels.
    const QRect first = Item(last, 4027)->geometry();
    for (int row = 0; row < 3; ++row) {
        ASSERT_NE(Item<QRadioButton>(last, 1000 + 2 * row), nullptr) << row;
        EXPECT_EQ(InDialog(1000 + 2 * row), QRect(first.left(), first.top() + 40 * row, 18, 20));
        const QRect text = InDialog(1001 + 2 * row);
        EXPECT_EQ(std::tuple(text.left(), text.top(), text.height()),
                  std::tuple(first.left() + 22, first.top() + 40 * row, 40));
    }
    EXPECT_EQ(Text(1003), "B:No");
    EXPECT_EQ(Item(last, 1006), nullptr);
    // The host's "poll_post_btn" and "poll_disclaim_btn" tips.
    EXPECT_EQ(Buttons(), Msg(15058) + "|-|" + Msg(15059));

    Click(last, 1002);
    QTest::mouseClick(Item<QTextEdit>(last, 1005)->viewport(), Qt::LeftButton);  // C's text picks C
    EXPECT_FALSE(Checked(1000) || Checked(1002));
    EXPECT_TRUE(Checked(1004));
    Click(last, 4018);
    // On its way: the dialog says so; it neither submits again nor closes.
    ASSERT_TRUE(WaitFor([this] { return last->Sending(); }));
    EXPECT_TRUE(Item(last, 4018)->isVisible() && !Item(last, 4018)->isEnabled() &&
                !Item(last, 1004)->isEnabled());
    EXPECT_EQ(last->findChild<QLabel*>("sending")->text(), Msg(msg::kSendingBallot));
    QTest::keyClick(last, Qt::Key_Escape);
    QTest::keyClick(last, Qt::Key_Return);
    QApplication::processEvents();  // both run from the event loop
    EXPECT_TRUE(last->isVisible() && Sent().size() == 1u);
    // It failed: the choice is back, and Submit sends it again.
    ASSERT_TRUE(Answered("p1", false));
    EXPECT_TRUE(Checked(1004) && Item(last, 4018)->isEnabled());
    EXPECT_FALSE(last->findChild<QLabel*>("sending")->isVisible());
    Click(last, 4018);
    ASSERT_TRUE(Answered("p1"));
    EXPECT_EQ(Sent(), std::vector<std::string>(2,
                                               "/polling/out/postpolling "
                                               "Quibrant[SendPoll]{Polling{pollid=p1;itemcount=1;"
                                               "itemname_0=C;};}"));
    EXPECT_TRUE(host->notices.empty() && boxes.empty()) << "a submitted answer is no closing";

    // An empty poll id gives the bare template.
    ASSERT_TRUE(Open(Poll("", true, "Ignored", {"Yes", "No"})));
    EXPECT_EQ(Item(last, 1000), nullptr);
    EXPECT_TRUE(Text(4028).isEmpty());
    EXPECT_EQ(Buttons(), "||");
}

// Check boxes toggle by mouse and Space and are reached one by one with Tab;
// a radio group is one Tab stop whose choices the arrow keys move through.
TEST_F(VoteDialog, MultipleAnswersGoInRowOrderAndNothingChosenAsksFirst) {
    ASSERT_TRUE(Open(Poll("p2", false, "Days?", {"Mon", "Tue", "Wed"})));
    EXPECT_EQ(Item(last, 1004)->accessibleName(), "C:Wed");
    Click(last, 4018);
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
    EXPECT_EQ(boxes, QStringList{Msg(msg::kNothingChosen)});
    EXPECT_TRUE(worker.calls.empty() && last->isVisible());
    for (int id : {1004, 1002, 1002, 1000}) Click(last, id);  // a check box toggles back
    for (Qt::Key key : {Qt::Key_Tab, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Tab})
        QTest::keyClick(QApplication::focusWidget(), key);
    EXPECT_EQ(QApplication::focusWidget(), Item(last, 4018));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(Answered("p2"));

    // Arrows select as they move, from a group where nothing is chosen yet.
    ASSERT_TRUE(Open(Poll("p9", true, "Lunch?", {"Yes", "No", "Later"})));
    ASSERT_EQ(QApplication::focusWidget(), Item(last, 1000));
    for (Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Up}) {
        QTest::keyClick(QApplication::focusWidget(), key);
        EXPECT_TRUE(qobject_cast<QAbstractButton*>(QApplication::focusWidget())->isChecked());
    }
    EXPECT_EQ(QApplication::focusWidget(), Item(last, 1002));
    EXPECT_TRUE(!Checked(1000) && Checked(1002) && !Checked(1004));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    ASSERT_TRUE(Answered("p9"));
    const std::string post = "/polling/out/postpolling Quibrant[SendPoll]{Polling{pollid=";
    EXPECT_EQ(Sent(), (std::vector<std::string>{
                          post + "p2;itemcount=3;itemname_0=A;itemname_1=B;itemname_2=C;};}",
                          post + "p9;itemcount=1;itemname_0=B;};}"}));
}

// Each choice's count beside a bar of its share, which a screen reader reads
// as a progress bar; Enter closes as the close button does.
TEST_F(VoteDialog, ResultModeShowsCountsBarsAndSummaryAndEnterCloses) {
    ASSERT_TRUE(Open(Poll("p3", true, "Lunch?", {"Yes", "No"}, {2, 1}, 3), true));
    EXPECT_EQ(Text(1000), "A:Yes  ( 2 people)");
    EXPECT_EQ(Text(1001), "B:No  ( 1 person)");
    EXPECT_EQ(Text(1002), Msg(msg::kSummaryStart) + " 3 people");
    EXPECT_EQ(Item(last, 1003), nullptr);
    EXPECT_TRUE(last->findChildren<QCheckBox*>().empty() &&
                last->findChildren<QRadioButton*>().empty());
    const QRect first = Item(last, 4027)->geometry();
    EXPECT_EQ(InDialog(1001).topLeft(), first.topLeft() + QPoint(0, 40));
    EXPECT_EQ(InDialog(1002), QRect(first.left(), first.top() + 80, first.width(), 20));
    const auto bars = last->findChildren<ResultBar*>();
    ASSERT_EQ(bars.size(), 2);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(bars[1]);
    ASSERT_TRUE(bar != nullptr && bar->valueInterface() != nullptr);
    EXPECT_EQ(
        std::tuple(bar->role(), bar->text(QAccessible::Name), bar->text(QAccessible::Description),
                   bar->valueInterface()->currentValue()),
        std::tuple(QAccessible::ProgressBar, "B:No", "1 of 3 respondents", 33));
    EXPECT_EQ(ResultBar::Percent(1, 1), 100);
    // Two thirds of A's bar are filled, in the skin's colour.
    const QImage picture = Screenshot("result-bars", {last});
    const QRect a = QRect(bars[0]->mapTo(last, QPoint()), bars[0]->size());
    EXPECT_EQ(picture.pixelColor(a.left() + 2, a.center().y()), QColor(49, 95, 202));
    EXPECT_NE(picture.pixelColor(a.left() + a.width() * 3 / 4, a.center().y()),
              QColor(49, 95, 202));
    EXPECT_EQ(last->windowTitle(), Msg(msg::kResultCaption));
    ASSERT_NE(last->TextControl(4101), nullptr);  // the skin's title description
    EXPECT_EQ(last->TextControl(4101)->text(), last->windowTitle());
    EXPECT_EQ(Buttons(), "-|" + Msg(15050) + "|");  // the host's "ok_btn" tip

    QTest::keyClick(last, Qt::Key_Return);
    ASSERT_TRUE(Gone());
    EXPECT_EQ(host->notices, (std::vector<NoticeSink::Notice>{{100, 0, true}}));
    EXPECT_TRUE(worker.calls.empty() && boxes.empty());
    // Chinese has one word for any count.
    UseLanguage("0804.xml");
    EXPECT_EQ(UiText::People(1), QString::fromUtf8("1 \xE4\xBA\xBA"));
}

// Polls posted together open a step apart, the newest active on top; a
// poll that identifies voters says so under its whole question, and every
// one of many choices can be reached above the buttons.
TEST_F(VoteDialog, DialogsCascadeAndManyChoicesScrollAboveTheButtons) {
    std::vector<std::string> choices;
    for (char letter = 'A'; letter <= 'L'; ++letter) choices.push_back(std::string(3, letter));
    ASSERT_TRUE(Open(Poll("p1", false, "Lunch?", {"Yes", "No"})));
    QPointer<CPollVoteDlg> under = last;
    ASSERT_TRUE(Open(Poll("p2", true, "Coffee?", {"Yes", "No"})));
    EXPECT_EQ(last->pos(), under->pos() + QPoint(32, 32));
    EXPECT_EQ(QApplication::activeWindow(), last);
    Screenshot("cascaded-dialogs", {under, last});
    const std::string question(255, 'q');
    ASSERT_TRUE(Open(Poll("p3", true, question.substr(0, 120) + " " + question.substr(121), choices,
                          {}, 0, true)));

    auto* privacy = last->findChild<CTransparentStatic*>("privacy");
    ASSERT_NE(privacy, nullptr);
    EXPECT_EQ(privacy->text(), Msg(msg::kVotersIdentified));
    EXPECT_GT(privacy->y(), InDialog(4028).bottom());
    EXPECT_LT(privacy->geometry().bottom(), Item(last, 4027)->y());
    const int footer = Item(last, 4018)->y();
    for (int id = 1000; id < 1024; id += 2) {
        if (id > 1000) QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        ASSERT_EQ(QApplication::focusWidget(), Item(last, id));
        // The choice shows whole, its focus ring too.
        const QWidget* area = last->findChild<QScrollArea*>("rows")->viewport();
        const QRect ring(last->FocusRing()->mapTo(area, QPoint()), last->FocusRing()->size());
        EXPECT_TRUE(ring.contains(InDialog(id).translated(-area->mapTo(last, QPoint())))) << id;
        EXPECT_TRUE(area->rect().contains(ring)) << id;
        if (id == 1000) Screenshot("focus-ring-first-choice", {last});
        EXPECT_LT(area->mapTo(last, QPoint(0, area->height())).y(), footer);
    }
    EXPECT_TRUE(Checked(1022));
    Screenshot("privacy-line-many-choices", {last});
}

TEST_F(VoteDialog, ClosingTellsTheHostBeforeHidingAndSurvivesTheHostStoppingThePoll) {
    ASSERT_TRUE(Open(Poll("p4", true, "Q", {"Yes", "No"})));
    Click(last, 4020);
    ASSERT_TRUE(Gone());
    // The notice is handled before the dialog hides.
    EXPECT_EQ(host->notices, (std::vector<NoticeSink::Notice>{{100, 0, true}}));
    // Escape and the window's own close do the same.
    ASSERT_TRUE(Open(Poll("p5", true, "Q", {"Yes"})));
    QTest::keyClick(last, Qt::Key_Escape);
    ASSERT_TRUE(Gone());
    EXPECT_EQ(host->notices.size(), 2u);

    // A host that answers the notice by stopping the poll destroys the dialog
    // while it is still closing.
    ASSERT_TRUE(Open(Poll("p6", false, "Q", {"Yes"})));
    host->onNotice = [this] { Send(L"/polling/in/stoppolling", "<ids><id>p6</id></ids>"); };
    Click(last, 4020);
    ASSERT_TRUE(WaitFor([&] { return last.isNull(); }));
    EXPECT_EQ(host->notices.size(), 3u);
    EXPECT_EQ(manager->AnswerWindows().size(), 2u);
    host->onNotice = nullptr;

    // So does a stop that arrives while the nothing-chosen box is up.
    ASSERT_TRUE(Open(Poll("p7", false, "Q", {"Yes"})));
    SetMessageBoxHookForTesting([this](const std::wstring&, int) {
        Send(L"/polling/in/stoppolling", "<ids><id>p7</id></ids>");
        return 1;
    });
    Click(last, 4018);
    ASSERT_TRUE(WaitFor([&] { return last.isNull(); }));
    EXPECT_TRUE(worker.calls.empty());
}
