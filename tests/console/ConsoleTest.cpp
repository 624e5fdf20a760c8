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
#include "ui/controls/CImageButton.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Dlg = CPollManagerDlg;
using Rows = std::vector<std::string>;

// The rows of a panel as "caption|value", categories as "[title]".
Rows PanelRows(const PollDetailsPanel* panel) {
    Rows rows;
    for (int c = 0; panel != nullptr && c < panel->topLevelItemCount(); ++c) {
        const QTreeWidgetItem* category = panel->topLevelItem(c);
        const bool collapsed = category->childCount() > 0 && !category->isExpanded();
        rows.push_back("[" + category->text(0).toStdString() + "]" + (collapsed ? " shut" : ""));
        for (int r = 0; r < category->childCount(); ++r)
            rows.push_back(category->child(r)->text(0).toStdString() + "|" +
                           panel->ValueText(category->child(r)).toStdString());
    }
    return rows;
}

const std::string kThree =
    PollXml("11", "Lunch?", 'N') + PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea?", 'C');

std::string UpdateStats(const std::string& fields) {
    return "/polling/out/updatestats Quibrant[UpdateStats]{Polling{" + fields + ";};}";
}

}  // namespace

// The tree and the panels show the list as the server sent it; a refresh keeps
// the shown poll when it is still there.
TEST_F(ConsoleFixture, FillShowsTheListAndKeepsTheShownPollAcrossRefreshes) {
    EXPECT_FALSE(console->Tree()->isEnabled());
    ApplyList(
        PollXml("11", "Lunch?", 'N',
                "<Item ItemName=\"A\" Content=\"Yes\" PostCount=\"2\"><User UserName=\"Ann\"/>"
                "<User UserName=\"Bo\"/></Item><Item ItemName=\"B\" Content=\"No\"/>") +
        PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea?", 'C') +
        "<Record PollingId=\"14\" Title=\"Odd\" Status=\"D\" IsSign=\"0\"/>");
    EXPECT_TRUE(console->ButtonsEnabled());
    EXPECT_TRUE(console->Tree()->isEnabled());
    ASSERT_EQ(console->Tree()->topLevelItemCount(), 4);
    EXPECT_TRUE(Item(0)->font(0).bold());
    EXPECT_EQ(Item(0)->foreground(0).color(), QColor(0x92, 0x93, 0x60));
    EXPECT_EQ(Item(1)->foreground(0).color(), QColor(0x31, 0x5F, 0xCA));
    EXPECT_EQ(Item(2)->foreground(0).color(), QColor(Qt::black));
    EXPECT_EQ(Item(3)->foreground(0).style(), Qt::NoBrush) << "status D keeps the default colour";

    // The first poll is shown; its voters drop down below its answer count.
    EXPECT_FALSE(console->DefaultPanel()->isVisible());
    ASSERT_TRUE(console->CurrentPanel() && console->CurrentPanel()->isVisible());
    EXPECT_EQ(PanelRows(console->CurrentPanel()),
              (Rows{"[Choices]", "A:Yes|2 people", "B:No|-1 people", "[Poll Details]",
                    "Identify voters|Yes", "Answer type|Single answer", "Status|Not posted",
                    "Results|Not published"}));
    auto* voters = qobject_cast<QComboBox*>(
        console->CurrentPanel()->itemWidget(console->CurrentPanel()->topLevelItem(0)->child(0), 1));
    ASSERT_NE(voters, nullptr);
    EXPECT_EQ(voters->count(), 3);
    EXPECT_EQ(voters->itemText(2), "Bo");
    ClickItem(3);
    EXPECT_EQ(PanelRows(console->CurrentPanel()),
              (Rows{"[Choices]", "[Poll Details]", "Identify voters|No",
                    "Answer type|Multiple answers", "Status|", "Results|Published"}));
    ClickItem(2);
    EXPECT_EQ(PanelRows(console->CurrentPanel())[3], "Respondents|0 people");

    // The same poll after a refresh; none when it went away; the default panel
    // for an empty list.
    ApplyList(PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea!", 'C'));
    ASSERT_NE(console->ShownRecord(), nullptr);
    EXPECT_EQ(console->ShownRecord()->title, L"Tea!");
    EXPECT_EQ(console->Tree()->selectedItems(), QList<QTreeWidgetItem*>{Item(1)});
    ApplyList(PollXml("12", "Coffee?", 'O'));
    EXPECT_EQ(console->ShownRecord(), nullptr);
    EXPECT_TRUE(console->Tree()->selectedItems().isEmpty());
    ApplyList("");
    EXPECT_TRUE(console->DefaultPanel()->isVisible());
    EXPECT_EQ(PanelRows(console->DefaultPanel()), (Rows{"[Question]", "[Poll Details]"}));
    EXPECT_TRUE(console->Button(Dlg::kCreateButtonId)->isEnabled());
}

// The buttons follow the shown poll's status; each command sends its message
// and locks the console, which then ignores the tree; a selection that does
// not suit a command sends nothing.
TEST_F(ConsoleFixture, CommandsSendTheirMessageOrRefuseTheSelection) {
    ApplyList(kThree);
    EXPECT_EQ(ButtonStates(), "10110");  // New: modify, delete, post
    ClickItem(1);
    EXPECT_EQ(ButtonStates(), "00001");  // Open: stop
    ClickItem(0, Qt::ControlModifier);   // the New poll shown, the Open one still selected
    Click(*console, Dlg::kPostButtonId);
    ClickItem(0);
    ClickItem(0, Qt::ControlModifier);  // nothing selected, the New poll still shown
    ASSERT_TRUE(console->Tree()->selectedItems().isEmpty());
    Click(*console, Dlg::kDeleteButtonId);
    const std::wstring refused = CWenMsg::GetInstance().GetMsg(msg::kSelectionNotSuitable);
    EXPECT_EQ(boxes, (std::vector<std::wstring>{refused, refused}));
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_TRUE(console->ButtonsEnabled());

    ClickItem(0);
    Click(*console, Dlg::kPostButtonId);
    EXPECT_FALSE(console->ButtonsEnabled());
    EXPECT_FALSE(console->Tree()->isEnabled());
    EXPECT_EQ(ButtonStates(), "00000");
    PollDetailsPanel* shown = console->CurrentPanel();
    ClickItem(2);
    EXPECT_EQ(console->CurrentPanel(), shown);
    EXPECT_EQ(ButtonStates(), "00000");

    // Publish keeps Closed and asks for Published.
    ApplyList(kThree);
    ClickItem(2);
    OnNextPopup([](QMenu& menu) {
        EXPECT_EQ(MenuItems(menu),
                  (MenuState{{Dlg::kPublishCommand, true}, {Dlg::kExportAllCommand, true}}));
        ClickMenuItem(menu, Dlg::kPublishCommand);
    });
    Click(*console, Dlg::kPublishButtonId);

    // Stop two Open polls (sent last to first); delete a New and a Closed one.
    ApplyList(PollXml("21", "a", 'O') + PollXml("22", "b", 'O') + PollXml("23", "c", 'N') +
              PollXml("24", "d", 'C'));
    ClickItem(0);
    ClickItem(1, Qt::ShiftModifier);
    Click(*console, Dlg::kOverButtonId);
    ApplyList(PollXml("23", "c", 'N') + PollXml("24", "d", 'C'));
    ClickItem(0);
    ClickItem(1, Qt::ControlModifier);
    Click(*console, Dlg::kDeleteButtonId);
    EXPECT_EQ(SentSince(0),
              (Rows{UpdateStats("pollcount=1;pollid_0=11;status_0=O;ispublish_0=0"),
                    UpdateStats("pollcount=1;pollid_0=13;status_0=C;ispublish_0=1"),
                    UpdateStats("pollcount=2;pollid_0=22;status_0=C;ispublish_0=0;pollid_1=21;"
                                "status_1=C;ispublish_1=0"),
                    "/polling/out/deletepolling Quibrant[Delete]{Polling{pollcount=2;pollid_0=23;"
                    "pollid_1=24;};}"}));
}

// The tree menu greys the exports unless a closed poll is shown; the button
// menu is rebuilt on every click.
TEST_F(ConsoleFixture, MenusGreyExportsAndAreRebuiltNotAppended) {
    ApplyList(kThree);
    MenuState seen;
    const auto open = [&](const std::function<void()>& click) {
        OnNextPopup([&](QMenu& menu) {
            seen = MenuItems(menu);
            menu.close();
        });
        click();
        return seen;
    };
    const auto rightClick = [&](int row) {
        return open([&] {
            QTest::mouseClick(console->Tree()->viewport(), Qt::RightButton, {},
                              console->Tree()->visualItemRect(Item(row)).center());
        });
    };
    EXPECT_EQ(rightClick(2), (MenuState{{Dlg::kExportShownCommand, false},
                                        {Dlg::kExportAllCommand, false},
                                        {Dlg::kImportCommand, true}}));
    EXPECT_EQ(console->ShownRecord()->pollId, L"11") << "a right click selects nothing";
    ClickItem(2);
    EXPECT_EQ(rightClick(2), (MenuState{{Dlg::kExportShownCommand, true},
                                        {Dlg::kExportAllCommand, true},
                                        {Dlg::kImportCommand, true}}));
    for (int click = 0; click < 2; ++click)
        EXPECT_EQ(open([&] { Click(*console, Dlg::kCreateButtonId); }),
                  (MenuState{{Dlg::kNewPollCommand, true}, {Dlg::kImportCommand, true}}));
}

// A title wider than its label shows in the tip, cut into lines of as many
// characters as the label holds.
TEST_F(ConsoleFixture, ALongTitleShowsBrokenIntoLinesNearThePointer) {
    ApplyList(PollXml("11", std::string(25, 'W'), 'N') + PollXml("12", "Hi", 'N'));
    QTreeWidget* tree = console->Tree();
    const int average = QFontMetrics(QApplication::font()).averageCharWidth();
    tree->resize(10 * average + tree->frameWidth() * 2, tree->height());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return tree->visualItemRect(Item(0)).width() / average == 10; }));

    QTest::mouseMove(tree->viewport(), tree->visualItemRect(Item(0)).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->Tip()->isVisible(); }));
    EXPECT_EQ(console->Tip()->Text(), "WWWWWWWWWW\nWWWWWWWWWW\nWWWWW");
    QTest::mouseMove(tree->viewport(), tree->visualItemRect(Item(1)).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !console->Tip()->isVisible(); }));

    EXPECT_EQ(LongTextTip::BreakText("abc\r\ndef", 4), "abc\n\ndef");
    EXPECT_EQ(LongTextTip::BreakText(QString::fromUtf8("\xF0\x9F\x8D\x95x"), 1),
              QString::fromUtf8("\xF0\x9F\x8D\x95\nx"));
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
