#include <QApplication>
#include <QComboBox>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include "console/ConsoleFixture.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "ui/console/LongTextTip.h"
#include "ui/console/PollDetailsPanel.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Dlg = CPollManagerDlg;

std::wstring Msg(int id) {
    return CWenMsg::GetInstance().GetMsg(id);
}

// The rows of a panel as "caption|value" lines, categories as "[title]".
std::vector<std::string> PanelRows(const PollDetailsPanel& panel) {
    std::vector<std::string> rows;
    for (int c = 0; c < panel.topLevelItemCount(); ++c) {
        const QTreeWidgetItem* category = panel.topLevelItem(c);
        const bool collapsed = category->childCount() > 0 && !category->isExpanded();
        rows.push_back("[" + category->text(0).toStdString() + "]" +
                       (collapsed ? " collapsed" : ""));
        for (int r = 0; r < category->childCount(); ++r)
            rows.push_back(category->child(r)->text(0).toStdString() + "|" +
                           panel.ValueText(category->child(r)).toStdString());
    }
    return rows;
}

const std::string kThree =
    PollXml("11", "Lunch?", 'N') + PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea?", 'C');

}  // namespace

// The tree and the panels show the list as the server sent it, and a refresh
// keeps the shown poll when it is still there.
TEST_F(ConsoleFixture, FillShowsTheListAndKeepsTheShownPollAcrossRefreshes) {
    EXPECT_FALSE(console->ButtonsEnabled());
    EXPECT_FALSE(console->Tree()->isEnabled());
    ApplyList(
        PollXml("11", "Lunch?", 'N',
                "<Item ItemName=\"A\" Content=\"Yes\" PostCount=\"2\"><User UserName=\"Ann\"/>"
                "<User UserName=\"Bo\"/></Item><Item ItemName=\"B\" Content=\"No\"/>") +
        PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea?", 'C') +
        "<Record PollingId=\"14\" Title=\"Odd\" Status=\"D\" IsSign=\"0\" UserCount=\"5\"/>");
    EXPECT_TRUE(console->ButtonsEnabled());
    EXPECT_TRUE(console->Tree()->isEnabled());
    ASSERT_EQ(console->Tree()->topLevelItemCount(), 4);
    EXPECT_TRUE(Item(0)->font(0).bold());
    EXPECT_EQ(Item(0)->foreground(0).color(), QColor(0x92, 0x93, 0x60));
    EXPECT_EQ(Item(1)->foreground(0).color(), QColor(0x31, 0x5F, 0xCA));
    EXPECT_EQ(Item(2)->foreground(0).color(), QColor(Qt::black));
    EXPECT_EQ(Item(3)->foreground(0).style(), Qt::NoBrush) << "status D keeps the default colour";

    // The first poll is shown; its voters list drops down from its answer count.
    ASSERT_NE(console->CurrentPanel(), nullptr);
    EXPECT_TRUE(console->CurrentPanel()->isVisible());
    EXPECT_FALSE(console->DefaultPanel()->isVisible());
    EXPECT_EQ(
        PanelRows(*console->CurrentPanel()),
        (std::vector<std::string>{"[Choices]", "A:Yes|2 people", "B:No|-1 people", "[Poll Details]",
                                  "Identify voters|Yes", "Answer type|Single answer",
                                  "Status|Not posted", "Results|Not published"}));
    auto* voters = qobject_cast<QComboBox*>(
        console->CurrentPanel()->itemWidget(console->CurrentPanel()->topLevelItem(0)->child(0), 1));
    ASSERT_NE(voters, nullptr);
    EXPECT_EQ(voters->count(), 3);
    EXPECT_EQ(voters->itemText(2), "Bo");

    ClickItem(3);
    EXPECT_EQ(
        PanelRows(*console->CurrentPanel()),
        (std::vector<std::string>{"[Choices]", "[Poll Details]", "Identify voters|No",
                                  "Answer type|Multiple answers", "Status|", "Results|Published"}));
    ClickItem(2);
    EXPECT_EQ(PanelRows(*console->CurrentPanel())[3], "Respondents|0 people");
    EXPECT_EQ(console->ShownRecord()->pollId, L"13");

    // The same poll again after a refresh; none when it went away; the default
    // panel for an empty list.
    ApplyList(PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea!", 'C'));
    ASSERT_NE(console->ShownRecord(), nullptr);
    EXPECT_EQ(console->ShownRecord()->title, L"Tea!");
    EXPECT_EQ(console->Tree()->selectedItems(), QList<QTreeWidgetItem*>{Item(1)});
    ApplyList(PollXml("12", "Coffee?", 'O'));
    EXPECT_EQ(console->ShownRecord(), nullptr);
    EXPECT_TRUE(console->Tree()->selectedItems().isEmpty());
    ApplyList("");
    EXPECT_TRUE(console->DefaultPanel()->isVisible());
    EXPECT_EQ(PanelRows(*console->DefaultPanel()),
              (std::vector<std::string>{"[Question]", "[Poll Details]"}));
    EXPECT_TRUE(IsEnabled(Dlg::kCreateButtonId));
}

// The buttons follow the shown poll's status; a locked console ignores the tree.
TEST_F(ConsoleFixture, ButtonsFollowTheStatusAndALockedConsoleIgnoresSelection) {
    ApplyList(kThree);
    const std::vector<int> ids = {Dlg::kModifyButtonId, Dlg::kPublishButtonId, Dlg::kDeleteButtonId,
                                  Dlg::kPostButtonId, Dlg::kOverButtonId};
    const auto states = [&] {
        std::string out;
        for (int id : ids) out += IsEnabled(id) ? '1' : '0';
        return out;
    };
    EXPECT_EQ(states(), "10110");  // New: modify, delete, post
    ClickItem(1);
    EXPECT_EQ(states(), "00001");  // Open: stop
    ClickItem(2);
    EXPECT_EQ(states(), "01100");  // Closed: publish, delete

    ClickButton(Dlg::kDeleteButtonId);
    EXPECT_FALSE(console->ButtonsEnabled());
    EXPECT_FALSE(console->Tree()->isEnabled());
    EXPECT_EQ(states(), "00000");
    PollDetailsPanel* shown = console->CurrentPanel();
    ClickItem(0);
    QTest::keyClick(console->Tree(), Qt::Key_Up);
    EXPECT_EQ(console->CurrentPanel(), shown);
    EXPECT_EQ(states(), "00000");
    EXPECT_FALSE(IsEnabled(Dlg::kCreateButtonId));
}

// Each command sends exactly its message, with the records' requested states,
// and locks the console; a selection that does not suit sends nothing.
TEST_F(ConsoleFixture, CommandsSendTheirMessageOrRefuseTheSelection) {
    ApplyList(kThree);
    // Post with a New and an Open poll selected: refused, nothing sent, still unlocked.
    ClickItem(1, Qt::ControlModifier);
    ASSERT_EQ(console->Tree()->selectedItems().size(), 2);
    ClickItem(0);
    ClickItem(1, Qt::ControlModifier);
    const std::size_t before = worker.calls.size();
    console->OnCommand(Dlg::kPostButtonId);
    EXPECT_EQ(boxes, std::vector<std::wstring>{Msg(msg::kSelectionNotSuitable)});
    EXPECT_EQ(worker.calls.size(), before);
    EXPECT_TRUE(console->ButtonsEnabled());

    // Delete with nothing selected (the New poll clicked off again) is refused too.
    ClickItem(1, Qt::ControlModifier);
    ClickItem(0, Qt::ControlModifier);
    ASSERT_TRUE(console->Tree()->selectedItems().isEmpty());
    ASSERT_TRUE(IsEnabled(Dlg::kDeleteButtonId));
    ClickButton(Dlg::kDeleteButtonId);
    EXPECT_EQ(boxes.size(), 2u);
    EXPECT_EQ(worker.calls.size(), before);

    // Post the New poll.
    ClickItem(0);
    ClickButton(Dlg::kPostButtonId);
    EXPECT_FALSE(console->ButtonsEnabled());
    EXPECT_EQ(SentSince(before),
              std::vector<std::string>{"/polling/out/updatestats Quibrant[UpdateStats]{Polling{"
                                       "pollcount=1;pollid_0=11;status_0=O;ispublish_0=0;};}"});

    // Publish from the publish button's menu keeps Closed and asks for Published.
    ApplyList(kThree);
    ClickItem(2);
    OnNextPopup([](QMenu& menu) {
        EXPECT_EQ(MenuItems(menu),
                  (std::vector<std::pair<int, bool>>{{Dlg::kPublishCommand, true},
                                                     {Dlg::kExportAllCommand, true}}));
        ClickMenuItem(menu, Dlg::kPublishCommand);
    });
    const std::size_t beforePublish = worker.calls.size();
    ClickButton(Dlg::kPublishButtonId);
    EXPECT_EQ(SentSince(beforePublish),
              std::vector<std::string>{"/polling/out/updatestats Quibrant[UpdateStats]{Polling{"
                                       "pollcount=1;pollid_0=13;status_0=C;ispublish_0=1;};}"});

    // Stop two Open polls (sent last to first) and delete a New and a Closed one.
    ApplyList(PollXml("21", "a", 'O') + PollXml("22", "b", 'O') + PollXml("23", "c", 'N') +
              PollXml("24", "d", 'C'));
    ClickItem(0);
    ClickItem(1, Qt::ShiftModifier);
    const std::size_t beforeStop = worker.calls.size();
    ClickButton(Dlg::kOverButtonId);
    ApplyList(PollXml("21", "a", 'C') + PollXml("22", "b", 'C') + PollXml("23", "c", 'N') +
              PollXml("24", "d", 'C'));
    ClickItem(2);
    ClickItem(3, Qt::ControlModifier);
    ClickButton(Dlg::kDeleteButtonId);
    EXPECT_EQ(SentSince(beforeStop),
              (std::vector<std::string>{
                  "/polling/out/updatestats Quibrant[UpdateStats]{Polling{pollcount=2;pollid_0=22;"
                  "status_0=C;ispublish_0=0;pollid_1=21;status_1=C;ispublish_1=0;};}",
                  "/polling/out/deletepolling Quibrant[Delete]{Polling{pollcount=2;"
                  "pollid_0=23;pollid_1=24;};}"}));
}

// The tree menu greys the export items unless a closed poll is shown and the
// console is unlocked; the button menu is rebuilt on every click.
TEST_F(ConsoleFixture, MenusGreyExportsAndAreRebuiltNotAppended) {
    ApplyList(kThree);
    using Items = std::vector<std::pair<int, bool>>;
    Items treeMenu;
    const auto rightClick = [&](int row) {
        OnNextPopup([&](QMenu& menu) {
            treeMenu = MenuItems(menu);
            menu.close();
        });
        QTest::mouseClick(console->Tree()->viewport(), Qt::RightButton, {},
                          console->Tree()->visualItemRect(Item(row)).center());
    };
    rightClick(0);
    EXPECT_EQ(treeMenu, (Items{{Dlg::kExportShownCommand, false},
                               {Dlg::kExportAllCommand, false},
                               {Dlg::kImportCommand, true}}));
    EXPECT_EQ(console->ShownRecord()->pollId, L"11") << "a right click selects nothing";
    ClickItem(2);
    rightClick(2);
    EXPECT_EQ(treeMenu, (Items{{Dlg::kExportShownCommand, true},
                               {Dlg::kExportAllCommand, true},
                               {Dlg::kImportCommand, true}}));

    for (int click = 0; click < 2; ++click) {
        Items buttonMenu;
        OnNextPopup([&](QMenu& menu) {
            buttonMenu = MenuItems(menu);
            menu.close();
        });
        ClickButton(Dlg::kCreateButtonId);
        EXPECT_EQ(buttonMenu, (Items{{Dlg::kNewPollCommand, true}, {Dlg::kImportCommand, true}}));
    }
}

// A title wider than its label shows in the tip, cut into lines of as many
// characters as the label holds.
TEST_F(ConsoleFixture, ALongTitleShowsBrokenIntoLinesNearThePointer) {
    const std::string title(25, 'W');
    ApplyList(PollXml("11", title, 'N') + PollXml("12", "Hi", 'N'));
    QTreeWidget* tree = console->Tree();
    const int average = QFontMetrics(QApplication::font()).averageCharWidth();
    const int indent = tree->visualItemRect(Item(0)).left();
    tree->resize(indent + 10 * average + tree->frameWidth() * 2, tree->height());
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return tree->visualItemRect(Item(0)).width() / average == 10;
    })) << tree->visualItemRect(Item(0)).width()
        << " / " << average;

    QTest::mouseMove(tree->viewport(), tree->visualItemRect(Item(0)).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->Tip()->isVisible(); }));
    EXPECT_EQ(console->Tip()->Text(), QString("WWWWWWWWWW\nWWWWWWWWWW\nWWWWW"));
    QTest::mouseMove(tree->viewport(), tree->visualItemRect(Item(1)).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !console->Tip()->isVisible(); }));

    EXPECT_EQ(LongTextTip::BreakText("abc\r\ndef", 4), "abc\n\ndef");
    EXPECT_EQ(LongTextTip::BreakText(QString::fromUtf8("\xF0\x9F\x8D\x95x"), 1),
              QString::fromUtf8("\xF0\x9F\x8D\x95\nx"));
    EXPECT_EQ(LongTextTip::CharsPerLine(5, 8), 1);
}

// Closing tells a live host window and only hides; with the host gone it only hides.
TEST_F(ConsoleFixture, ClosingNotifiesALiveHostAndOnlyHides) {
    QTest::keyClick(console, Qt::Key_Escape);
    EXPECT_FALSE(console->isVisible());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host->notices.empty(); }));
    EXPECT_EQ(host->notices, (std::vector<std::pair<long long, long long>>{{100, 0}}));
    host.reset();
    for (int close = 0; close < 2; ++close) {
        console->Show();
        QTest::keyClick(console, Qt::Key_Escape);
        EXPECT_FALSE(console->isVisible());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(manager->ManagerWindow(), console) << "closing keeps the window for the next show";
}
