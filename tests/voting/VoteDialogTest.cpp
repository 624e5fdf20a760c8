#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTextEdit>

#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "ui/controls/CTransparentStatic.h"
#include "voting/VotingFixture.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using VoteDialog = VotingFixture;

QString Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}

void Click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

// Commands run from the event loop: waits until the dialog has hidden.
bool Gone(QWidget* dialog) {
    return WaitFor([dialog] { return !dialog->isVisible(); });
}

}  // namespace

TEST_F(VoteDialog, SingleAnswerKeepsOnlyTheLastPickAndSendsIt) {
    CPollVoteDlg* dialog = Open(RecordXml("p1", true, "Lunch?", {"Yes", "No", "Later"}));
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->parentWidget(), nullptr);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(dialog->frameGeometry().left(),
              screen.left() + (screen.width() - dialog->frameGeometry().width()) / 2);
    EXPECT_EQ(dialog->frameGeometry().top(),
              screen.top() + (screen.height() - dialog->frameGeometry().height()) / 2);
    EXPECT_EQ(TextOf(Item(dialog, 4028)), "Lunch?");

    // Rows 1000/1001, 1002/1003, 1004/1005: a radio button and its text, every 40 pixels.
    const QRect first = Item(dialog, 4027)->geometry();
    for (int row = 0; row < 3; ++row) {
        auto* button = Item<QRadioButton>(dialog, 1000 + 2 * row);
        QWidget* text = Item(dialog, 1001 + 2 * row);
        ASSERT_NE(button, nullptr) << row;
        ASSERT_NE(text, nullptr) << row;
        EXPECT_EQ(button->geometry(), QRect(first.left(), first.top() + 40 * row, 18, 20));
        EXPECT_EQ(text->geometry().left(), first.left() + 22);
        EXPECT_EQ(text->geometry().top(), first.top() + 40 * row);
        EXPECT_EQ(text->geometry().height(), 40);
    }
    EXPECT_EQ(TextOf(Item(dialog, 1003)), "B:No");
    EXPECT_EQ(Item(dialog, 1006), nullptr);
    EXPECT_TRUE(Item(dialog, 4018)->isVisible());
    EXPECT_TRUE(Item(dialog, 4020)->isVisible());
    EXPECT_FALSE(Item(dialog, 4019)->isVisible());
    EXPECT_EQ(Item(dialog, 4018)->toolTip(), Msg(15058));  // the host's "poll_post_btn" tip
    EXPECT_EQ(Item(dialog, 4020)->toolTip(), Msg(15059));  // and its "poll_disclaim_btn" tip

    Click(Item(dialog, 1002));
    Click(Item<QTextEdit>(dialog, 1005)->viewport());  // C's text picks C
    EXPECT_FALSE(Item<QAbstractButton>(dialog, 1000)->isChecked());
    EXPECT_FALSE(Item<QAbstractButton>(dialog, 1002)->isChecked());
    EXPECT_TRUE(Item<QAbstractButton>(dialog, 1004)->isChecked());
    Click(Item(dialog, 4018));
    ASSERT_TRUE(Gone(dialog));
    ASSERT_EQ(WorkerPaths(), std::vector<std::wstring>{L"/polling/out/postpolling"});
    EXPECT_EQ(worker.calls[0].xml,
              "Quibrant[SendPoll]{Polling{pollid=p1;itemcount=1;itemname_0=C;};}");
    EXPECT_TRUE(host.notices.empty()) << "a submitted answer is no closing";
    EXPECT_TRUE(boxes.empty());
}

TEST_F(VoteDialog, MultipleAnswersAreSentInRowOrderAndNothingChosenAsksFirst) {
    CPollVoteDlg* dialog = Open(RecordXml("p2", false, "Days?", {"Mon", "Tue", "Wed"}));
    ASSERT_NE(dialog, nullptr);
    for (int id : {1000, 1002, 1004}) EXPECT_NE(Item<QCheckBox>(dialog, id), nullptr) << id;

    Click(Item(dialog, 4018));
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
    EXPECT_EQ(boxes, std::vector<std::wstring>{CWenMsg::GetInstance().GetMsg(msg::kNothingChosen)});
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_TRUE(dialog->isVisible());

    Click(Item(dialog, 1004));
    Click(Item(dialog, 1002));
    Click(Item(dialog, 1002));  // a check box toggles back
    Click(Item(dialog, 1000));
    Click(Item(dialog, 4018));
    ASSERT_TRUE(Gone(dialog));
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].xml,
              "Quibrant[SendPoll]{Polling{pollid=p2;itemcount=2;itemname_0=A;itemname_1=C;};}");
}

TEST_F(VoteDialog, ResultModeShowsCountsAndSummaryAndSubmitOnlyHides) {
    CPollVoteDlg* dialog =
        Open(RecordXml("p3", true, "Lunch?", {"Yes", "No"}, {3, 0}, 3), /*result=*/true);
    ASSERT_NE(dialog, nullptr);
    const QString word = Msg(msg::kCountWord);
    EXPECT_EQ(TextOf(Item(dialog, 1000)), "A:Yes  ( 3 " + word + ")");
    EXPECT_EQ(TextOf(Item(dialog, 1001)), "B:No  ( 0 " + word + ")");
    EXPECT_EQ(TextOf(Item(dialog, 1002)), Msg(msg::kSummaryStart) + " 3 " + word);
    EXPECT_EQ(Item(dialog, 1003), nullptr);
    EXPECT_EQ(
        dialog->findChildren<QCheckBox*>().size() + dialog->findChildren<QRadioButton*>().size(),
        0);
    const QRect first = Item(dialog, 4027)->geometry();
    EXPECT_EQ(Item(dialog, 1001)->geometry().topLeft(), first.topLeft() + QPoint(0, 40));
    EXPECT_EQ(Item(dialog, 1002)->geometry(),
              QRect(first.left(), first.top() + 80, first.width(), 20));
    EXPECT_EQ(dialog->windowTitle(), Msg(msg::kResultCaption));
    ASSERT_NE(dialog->TextControl(4101), nullptr);  // the skin's title description
    EXPECT_EQ(dialog->TextControl(4101)->text(), Msg(msg::kResultCaption));
    EXPECT_FALSE(Item(dialog, 4018)->isVisible());
    EXPECT_TRUE(Item(dialog, 4019)->isVisible());
    EXPECT_TRUE(Item(dialog, 4020)->isVisible());
    EXPECT_EQ(Item(dialog, 4019)->toolTip(), Msg(15050));  // the host's "ok_btn" tip
    EXPECT_TRUE(Item(dialog, 4020)->toolTip().isEmpty());

    // Enter submits; in result mode that only hides.
    host.watched = dialog;
    QTest::keyClick(dialog, Qt::Key_Return);
    ASSERT_TRUE(Gone(dialog));
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_TRUE(host.notices.empty());
    EXPECT_TRUE(boxes.empty());
}

TEST_F(VoteDialog, ClosingTellsTheHostBeforeHidingAndSurvivesTheHostStoppingThePoll) {
    CPollVoteDlg* dialog = Open(RecordXml("p4", true, "Q", {"Yes", "No"}));
    ASSERT_NE(dialog, nullptr);
    host.watched = dialog;
    Click(Item(dialog, 4020));
    ASSERT_TRUE(Gone(dialog));
    ASSERT_EQ(host.notices.size(), 1u);
    EXPECT_EQ(host.notices[0].wParam, 100);
    EXPECT_EQ(host.notices[0].lParam, 0);
    EXPECT_TRUE(host.notices[0].senderVisible) << "the notice is handled before the dialog hides";
    EXPECT_TRUE(worker.calls.empty());

    // Escape and the window's own close do the same.
    CPollVoteDlg* second = Open(RecordXml("p5", true, "Q", {"Yes"}));
    ASSERT_NE(second, nullptr);
    host.watched = second;
    QTest::keyClick(second, Qt::Key_Escape);
    ASSERT_TRUE(Gone(second));
    EXPECT_EQ(host.notices.size(), 2u);

    // A host that answers the notice by stopping the poll destroys the dialog
    // while it is still closing.
    QPointer<CPollVoteDlg> third = Open(RecordXml("p6", false, "Q", {"Yes"}));
    ASSERT_NE(third, nullptr);
    host.watched = third;
    host.onNotice = [this] { Send(L"/polling/in/stoppolling", "<ids><id>p6</id></ids>"); };
    Click(Item(third, 4020));
    ASSERT_TRUE(WaitFor([&] { return third.isNull(); }));
    EXPECT_EQ(host.notices.size(), 3u);
    EXPECT_EQ(manager->AnswerWindows().size(), 2u);
    host.onNotice = nullptr;

    // So does a stop that arrives while the nothing-chosen box is up.
    QPointer<CPollVoteDlg> fourth = Open(RecordXml("p7", false, "Q", {"Yes"}));
    ASSERT_NE(fourth, nullptr);
    SetMessageBoxHookForTesting([this](const std::wstring&, int) {
        Send(L"/polling/in/stoppolling", "<ids><id>p7</id></ids>");
        return 1;
    });
    Click(Item(fourth, 4018));
    ASSERT_TRUE(WaitFor([&] { return fourth.isNull(); }));
    EXPECT_TRUE(worker.calls.empty());
}

TEST_F(VoteDialog, AnEmptyPollIdGivesTheBareTemplate) {
    CPollVoteDlg* dialog = Open(RecordXml("", true, "Ignored", {"Yes", "No"}));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(Item(dialog, 1000), nullptr);
    EXPECT_TRUE(TextOf(Item(dialog, 4028)).isEmpty());
    for (int id : {4018, 4019, 4020}) {
        ASSERT_NE(Item(dialog, id), nullptr) << id;
        EXPECT_TRUE(Item(dialog, id)->isVisible()) << id;
        EXPECT_TRUE(Item(dialog, id)->toolTip().isEmpty()) << id;
    }
}

// Check boxes are reached one by one with Tab; a radio group is one Tab stop
// whose choices the arrow keys move through and pick, as everywhere else.
TEST_F(VoteDialog, TheKeyboardAloneAnswersAPoll) {
    auto press = [](Qt::Key key) { QTest::keyClick(QApplication::focusWidget(), key); };
    CPollVoteDlg* multiple = Open(RecordXml("p8", false, "Days?", {"Mon", "Tue", "Wed"}));
    ASSERT_NE(multiple, nullptr);
    multiple->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(multiple));
    EXPECT_EQ(Item(multiple, 1000)->accessibleName(), "A:Mon");
    EXPECT_EQ(Item(multiple, 1004)->accessibleName(), "C:Wed");
    ASSERT_EQ(QApplication::focusWidget(), Item(multiple, 1000));
    press(Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), Item(multiple, 1002));
    press(Qt::Key_Space);
    press(Qt::Key_Tab);
    press(Qt::Key_Space);
    press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), Item(multiple, 4018));
    press(Qt::Key_Return);
    ASSERT_TRUE(Gone(multiple));
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].xml,
              "Quibrant[SendPoll]{Polling{pollid=p8;itemcount=2;itemname_0=B;itemname_1=C;};}");

    CPollVoteDlg* single = Open(RecordXml("p9", true, "Lunch?", {"Yes", "No", "Later"}));
    ASSERT_NE(single, nullptr);
    single->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(single));
    ASSERT_EQ(QApplication::focusWidget(), Item(single, 1000));
    press(Qt::Key_Space);
    press(Qt::Key_Down);
    EXPECT_EQ(QApplication::focusWidget(), Item(single, 1002));
    press(Qt::Key_Space);
    EXPECT_FALSE(Item<QAbstractButton>(single, 1000)->isChecked());
    EXPECT_TRUE(Item<QAbstractButton>(single, 1002)->isChecked());
    press(Qt::Key_Return);
    ASSERT_TRUE(Gone(single));
    ASSERT_EQ(worker.calls.size(), 2u);
    EXPECT_EQ(worker.calls[1].xml,
              "Quibrant[SendPoll]{Polling{pollid=p9;itemcount=1;itemname_0=B;};}");
}
