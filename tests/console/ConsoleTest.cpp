#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>

#include "i18n/MessageIds.h"
#include "support/PluginFixture.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/console/LongTextTip.h"
#include "ui/console/PollDetailsPanel.h"
#include "ui/console/PollFileDialogs.h"
#include "ui/controls/CImageButton.h"
#include "ui/controls/CSkinMenu.h"

using namespace quibra;
using namespace quibra::test;
namespace fs = std::filesystem;

namespace {

// Runs `act` on the next popup menu (or modal dialog) once it is open: both run
// their own event loop, so the test acts from inside it. One that never opens
// (in 30 s) fails the test instead of waiting for the next one.
template <typename T>
void OnNext(std::function<void(T&)> act, int triesLeft = 6000) {
    QTimer::singleShot(5, qApp, [act = std::move(act), triesLeft]() mutable {
        QWidget* active = std::is_same_v<T, QMenu> ? QApplication::activePopupWidget()
                                                   : QApplication::activeModalWidget();
        if (auto* widget = qobject_cast<T*>(active); widget != nullptr && widget->isVisible())
            act(*widget);
        else if (triesLeft > 0)
            OnNext<T>(std::move(act), triesLeft - 1);
        else
            ADD_FAILURE() << "the expected menu or dialog never opened";
    });
}
// A record of a poll list reply: single answer, identified, not published.
std::string PollXml(const std::string& id, const std::string& title, char status,
                    const std::string& items = ItemsXml({"Yes"}, {0})) {
    return PollRecordXml(id, title, {.identified = true, .status = status}, items);
}

// Each item's command and whether it is enabled, in menu order.
using MenuState = std::vector<std::pair<int, bool>>;
using Dlg = CPollManagerDlg;

// The presenter's console, made through the window factory on init and shown.
class ConsoleFixture : public PluginFixture {
protected:
    ConsoleFixture() : console(dynamic_cast<CPollManagerDlg*>(manager->ManagerWindow())) {
        if (console == nullptr) throw std::runtime_error("the factory made no console");
        console->Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(console));
    }

    // Applies a poll list reply of these records.
    void ApplyList(const std::string& records) {
        Send(L"/polling/in/updating", "<Wendrake><Records>" + records + "</Records></Wendrake>");
    }
    QTreeWidgetItem* Row(int row) const { return console->Tree()->topLevelItem(row); }
    std::wstring ShownTitle() const {
        return console->ShownRecord() ? console->ShownRecord()->title : L"-";
    }
    void ClickItem(int row, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::mouseClick(console->Tree()->viewport(), Qt::LeftButton, modifiers,
                          console->Tree()->visualItemRect(Row(row)).center());
    }
    // Enabled flags of the modify, publish, delete, post and stop buttons.
    std::string ButtonStates() const {
        std::string states;
        for (int id : {Dlg::kModifyButtonId, Dlg::kPublishButtonId, Dlg::kDeleteButtonId,
                       Dlg::kPostButtonId, Dlg::kOverButtonId})
            states += console->Button(id)->isEnabled() ? '1' : '0';
        return states;
    }

    // Opens the menu of button `buttonId`, or of a right click on `row` of the
    // tree (the current one by default); notes its items and clicks the item of
    // `command` as a user would (0: closes the menu).
    MenuState Menu(int command, int buttonId = 0, QTreeWidgetItem* row = nullptr) {
        MenuState seen;
        OnNext<QMenu>([&seen, command](QMenu& menu) {
            QAction* chosen = nullptr;
            for (QAction* action : menu.actions()) {
                seen.emplace_back(CSkinMenu::CommandId(action), action->isEnabled());
                if (seen.back().first == command) chosen = action;
            }
            EXPECT_TRUE(chosen != nullptr || command == 0) << "no menu item " << command;
            if (chosen != nullptr)
                QTest::mouseClick(&menu, Qt::LeftButton, {}, menu.actionGeometry(chosen).center());
            else
                menu.close();
        });
        QTreeWidget* tree = console->Tree();
        if (buttonId != 0)
            Click(console, buttonId);
        else
            QTest::mouseClick(tree->viewport(), Qt::RightButton, {},
                              tree->visualItemRect(row ? row : tree->currentItem()).center());
        return seen;
    }

    CPollManagerDlg* console;
};

using Editor = CPollQuestionDlg;
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

// The radio pair and the identify box as "single multiple identify" flags.
std::string Choices(QDialog& editor) {
    std::string flags;
    for (int id : {Editor::kSingleId, Editor::kMultipleId, Editor::kIdentifyId})
        flags += Item<QAbstractButton>(&editor, id)->isChecked() ? '1' : '0';
    return flags;
}

// The file dialogs answer what the test chose, and note what they were asked.
struct ScriptedDialogs {
    ScriptedDialogs() {
        PollFileDialogs::Replace(
            [this](QWidget*) { return ++opened, open; },
            [this](QWidget*, QString initial) { return initialTarget = initial, ++saved, save; });
    }
    ~ScriptedDialogs() { PollFileDialogs::Replace({}, {}); }

    QString open, save, initialTarget;
    int opened = 0, saved = 0;
};

std::string Question(const std::string& title, const std::string& voteMode,
                     const std::string& answerMode, const std::string& choices) {
    return "<VoteItem><Question value=\"" + title + "\"/><VoteMode value=\"" + voteMode +
           "\"/><AnswerMode value=\"" + answerMode + "\"/><ChoiceList>" + choices +
           "</ChoiceList></VoteItem>";
}

std::string Described(std::initializer_list<const char*> descriptions) {
    std::string xml;
    for (const char* text : descriptions)
        xml += std::string("<Choice Description=\"") + text + "\"/>";
    return xml;
}
// Three usable polls around one without a described choice, and one of eight choices.
const std::string kPollFile =
    "<WendrakeVote>" + Question("First: lunch?", "0", "0", Described({"Pizza", "Soup"})) +
    Question("Skipped", "1", "1", Described({""})) +
    Question("Second: topics?", "1", "1", Described({"Roadmap", "", "Hiring"})) +
    Question("Third: &lt;b&gt;\xE5\x8D\x88\xE9\xA5\xAD&lt;/b&gt;?", "1", "0", Described({"Yes"})) +
    Question("Eight", "1", "0", Described({"1", "2", "3", "4", "5", "6", "7", "8"})) +
    "</WendrakeVote>";

}  // namespace

// The tree and the panels show the list as the server sent it; a refresh keeps
// the shown poll when it is still there.
TEST_F(ConsoleFixture, FillShowsTheListAndKeepsTheShownPollAcrossRefreshes) {
    EXPECT_FALSE(console->Tree()->isEnabled());
    EXPECT_EQ(console->size(), QSize(640, 480));  // the skin's size, which stays
    EXPECT_EQ(console->maximumSize(), console->minimumSize());
    EXPECT_EQ(console->windowTitle(), "Poll Manager");
    ApplyList(
        PollXml("11", "Lunch?", 'N',
                "<Item ItemName=\"A\" Content=\"Yes\" PostCount=\"2\"><User UserName=\"Ann\"/>"
                "<User UserName=\"Bo\"/></Item><Item ItemName=\"B\" Content=\"No\"/>") +
        PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea?", 'C') +
        "<Record PollingId=\"14\" Title=\"Odd\" Status=\"D\" IsSign=\"0\"/>");
    EXPECT_TRUE(console->ButtonsEnabled() && console->Tree()->isEnabled());
    ASSERT_EQ(console->Tree()->topLevelItemCount(), 4);
    EXPECT_TRUE(Row(0)->font(0).bold());
    EXPECT_EQ(Row(0)->foreground(0).color(), QColor(0x92, 0x93, 0x60));
    EXPECT_EQ(Row(1)->foreground(0).color(), QColor(0x31, 0x5F, 0xCA));
    EXPECT_EQ(Row(2)->foreground(0).color(), QColor(Qt::black));
    EXPECT_EQ(Row(3)->foreground(0).style(), Qt::NoBrush) << "status D keeps the default colour";

    // The first poll is shown; its voters drop down below its answer count.
    EXPECT_FALSE(console->DefaultPanel()->isVisible());
    ASSERT_TRUE(console->CurrentPanel() && console->CurrentPanel()->isVisible());
    EXPECT_EQ(PanelRows(console->CurrentPanel()),
              (Rows{"[Choices]", "A:Yes|2 people", "B:No|-1 people", "[Poll Details]",
                    "Identify voters|Yes", "Answer type|Single answer", "Status|Not posted",
                    "Results|Not published"}));
    QTreeWidgetItem* answerA = console->CurrentPanel()->topLevelItem(0)->child(0);
    auto* voters = qobject_cast<QComboBox*>(console->CurrentPanel()->itemWidget(answerA, 1));
    ASSERT_NE(voters, nullptr);
    EXPECT_LE(voters->height(), console->CurrentPanel()->visualItemRect(answerA).height());
    EXPECT_TRUE(voters->count() == 3 && voters->itemText(2) == "Bo");
    ClickItem(3);
    EXPECT_EQ(PanelRows(console->CurrentPanel()),
              (Rows{"[Choices]", "[Poll Details]", "Identify voters|No",
                    "Answer type|Multiple answers", "Status|", "Results|Published"}));
    ClickItem(2);
    EXPECT_EQ(PanelRows(console->CurrentPanel())[3], "Respondents|0 people");

    // The same poll after a refresh; when it went, the poll now in its row
    // (or the last one); the default panel for an empty list.
    ApplyList(PollXml("12", "Coffee?", 'O') + PollXml("13", "Tea!", 'C'));
    EXPECT_EQ(ShownTitle(), L"Tea!");
    EXPECT_EQ(console->Tree()->selectedItems(), QList<QTreeWidgetItem*>{Row(1)});
    ApplyList(PollXml("12", "Coffee?", 'O'));
    EXPECT_EQ(ShownTitle(), L"Coffee?");
    EXPECT_TRUE(console->CurrentPanel()->isVisible());
    EXPECT_EQ(console->Tree()->selectedItems(), QList<QTreeWidgetItem*>{Row(0)});
    ApplyList("");
    EXPECT_EQ(PanelRows(console->DefaultPanel()), (Rows{"[Question]", "[Poll Details]"}));
    EXPECT_TRUE(console->DefaultPanel()->isVisible() &&
                console->Button(Dlg::kCreateButtonId)->isEnabled());
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
    Click(console, Dlg::kPostButtonId);
    ClickItem(0);
    ClickItem(0, Qt::ControlModifier);  // nothing selected, the New poll still shown
    ASSERT_TRUE(console->Tree()->selectedItems().isEmpty());
    Click(console, Dlg::kDeleteButtonId);
    const QString refused = Msg(msg::kSelectionNotSuitable);
    EXPECT_EQ(boxes, (QStringList{refused, refused}));
    EXPECT_TRUE(worker.calls.empty() && console->ButtonsEnabled());

    ClickItem(0);
    Click(console, Dlg::kPostButtonId);
    EXPECT_FALSE(console->ButtonsEnabled() || console->Tree()->isEnabled());
    PollDetailsPanel* shown = console->CurrentPanel();
    ClickItem(2);
    EXPECT_EQ(console->CurrentPanel(), shown);
    EXPECT_EQ(ButtonStates(), "00000");

    // Publish keeps Closed and asks for Published.
    ApplyList(kThree);
    ClickItem(2);
    EXPECT_EQ(Menu(Dlg::kPublishCommand, Dlg::kPublishButtonId),
              (MenuState{{Dlg::kPublishCommand, true}, {Dlg::kExportAllCommand, true}}));

    // Stop two Open polls (sent last to first); delete a New and a Closed one.
    ApplyList(PollXml("21", "a", 'O') + PollXml("22", "b", 'O') + PollXml("23", "c", 'N') +
              PollXml("24", "d", 'C'));
    ClickItem(0);
    ClickItem(1, Qt::ShiftModifier);
    Click(console, Dlg::kOverButtonId);
    ApplyList(PollXml("23", "c", 'N') + PollXml("24", "d", 'C'));
    ClickItem(0);
    ClickItem(1, Qt::ControlModifier);
    Click(console, Dlg::kDeleteButtonId);
    EXPECT_EQ(Sent(),
              (Rows{UpdateStats("pollcount=1;pollid_0=11;status_0=O;ispublish_0=0"),
                    UpdateStats("pollcount=1;pollid_0=13;status_0=C;ispublish_0=1"),
                    UpdateStats("pollcount=2;pollid_0=22;status_0=C;ispublish_0=0;pollid_1=21;"
                                "status_1=C;ispublish_1=0"),
                    "/polling/out/deletepolling Quibrant[Delete]{Polling{pollcount=2;pollid_0=23;"
                    "pollid_1=24;};}"}));
}

// Deleting ballots or published results asks first, naming how many
// ballots go; polls without either go at once.
TEST_F(ConsoleFixture, DeleteAsksFirstWhenBallotsOrResultsWouldGo) {
    std::string list;
    for (const auto& [id, voters, published] :
         {std::tuple{"41", 3, false}, {"42", 1, false}, {"43", 0, true}, {"44", 0, false}})
        list += PollRecordXml(id, id, {.status = 'C', .published = published, .voters = voters},
                              ItemsXml({"Yes"}, {voters}));
    const struct {
        std::vector<int> rows;
        QString question;  // none: no box
        int answer;
        const char* sent;  // none: nothing
    } cases[] = {
        {{0, 1}, Msg(msg::kDeleteBallots).arg(4), 0, nullptr},
        {{1}, Msg(msg::kDeleteOneBallot), kMessageBoxYes, "pollcount=1;pollid_0=42;"},
        {{2}, Msg(msg::kDeleteBallots).arg(0), kMessageBoxYes, "pollcount=1;pollid_0=43;"},
        {{3}, {}, 0, "pollcount=1;pollid_0=44;"},
    };
    for (const auto& c : cases) {
        ApplyList(list);
        boxes.clear();
        worker.calls.clear();
        answer = c.answer;
        for (int row : c.rows)
            ClickItem(row, row == c.rows.front() ? Qt::NoModifier : Qt::ControlModifier);
        Click(console, Dlg::kDeleteButtonId);
        EXPECT_EQ(boxes, c.question.isEmpty() ? QStringList{} : QStringList{c.question + " ?"});
        EXPECT_EQ(Sent(), c.sent ? Rows{"/polling/out/deletepolling Quibrant[Delete]{Polling{" +
                                        std::string(c.sent) + "};}"}
                                 : Rows{});
    }
}

// The tree menu greys the exports unless a closed poll is shown; the button
// menu is rebuilt on every click.
TEST_F(ConsoleFixture, MenusGreyExportsAndAreRebuiltNotAppended) {
    ApplyList(kThree);
    const auto exports = [](bool on) {
        return MenuState{{Dlg::kExportShownCommand, on},
                         {Dlg::kExportAllCommand, on},
                         {Dlg::kImportCommand, true}};
    };
    EXPECT_EQ(Menu(0, 0, Row(2)), exports(false));
    EXPECT_EQ(console->ShownRecord()->pollId, L"11") << "a right click selects nothing";
    ClickItem(2);
    EXPECT_EQ(Menu(0), exports(true));
    for (int click = 0; click < 2; ++click)
        EXPECT_EQ(Menu(0, Dlg::kCreateButtonId),
                  (MenuState{{Dlg::kNewPollCommand, true}, {Dlg::kImportCommand, true}}));
}

// A title cut short in the tree, as the tree draws it (bold, elided), shows
// whole in a tip of its own window, wrapped to the screen and kept on it.
TEST_F(ConsoleFixture, ALongTitleShowsWholeInATipOnTheScreen) {
    const std::string english =
        "Which of the three proposed dates suits the quarterly planning review best for you?!";
    const std::string chinese = "下一次季度计划评审会议哪一天最合适？";
    ApplyList(PollXml("11", english + english.substr(0, 13), 'N') + PollXml("12", "Hi", 'N') +
              PollXml("13", chinese + chinese + chinese, 'N'));
    QTreeWidget* tree = console->Tree();
    const QRect screen = console->screen()->availableGeometry();
    for (const auto& [row, shot] : {std::pair{0, "long-title-tip-en"}, {2, "long-title-tip-zh"}}) {
        QTest::mouseMove(tree->viewport(), tree->visualItemRect(Row(row)).center());
        ASSERT_TRUE(QTest::qWaitFor([&] { return console->Tip()->isVisible(); })) << shot;
        EXPECT_EQ(console->Tip()->Text().remove('\n'), Row(row)->text(0)) << shot;
        EXPECT_TRUE(console->Tip()->isWindow() && screen.contains(console->Tip()->frameGeometry()));
        Screenshot(shot, {console, console->Tip()});
        QTest::mouseMove(tree->viewport(), tree->visualItemRect(Row(1)).center());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !console->Tip()->isVisible(); })) << shot;
    }

    // Near the screen's bottom the tip stands above the point, under its title.
    console->Tip()->ShowTip("Title", "x", screen.topLeft());
    const QPoint low(screen.left() + 10, screen.bottom() - 19 - console->Tip()->height());
    console->Tip()->ShowTip("Title", "x", low);  // just fits below
    EXPECT_GT(console->Tip()->y(), low.y());
    console->Tip()->ShowTip("Title", "x", low + QPoint(0, 1));
    EXPECT_LE(console->Tip()->frameGeometry().bottom(), low.y());
    EXPECT_TRUE(console->Tip()->findChildren<QLabel*>().front()->font().bold());

    const QFont font = tree->font();
    const int width = QFontMetrics(font).horizontalAdvance("WWWWW");
    for (const char* text : {"WWWWWWWWWWWW", "a b c d e f g h i j k", "\xF0\x9F\x8D\x95x\r\ny"}) {
        const QString whole = QString::fromUtf8(text);
        const QStringList lines = LongTextTip::BreakText(whole, font, width).split('\n');
        for (const QString& line : lines)
            EXPECT_LE(QFontMetrics(font).horizontalAdvance(line.trimmed()), width) << text;
        EXPECT_EQ(lines.join(""), QString(whole).remove("\r\n")) << text;
        EXPECT_GT(lines.size(), 1) << text;
    }
}

// Closing tells a live host window and only hides; with the host gone it only hides.
TEST_F(ConsoleFixture, ClosingNotifiesALiveHostAndOnlyHides) {
    QTest::keyClick(console, Qt::Key_Escape);
    EXPECT_FALSE(console->IsShown());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !host->notices.empty(); }));
    EXPECT_EQ(host->notices, (std::vector<NoticeSink::Notice>{{100, 0, false}}));
    host.reset();
    for (int close = 0; close < 2; ++close) {
        console->Show();
        QTest::keyClick(console, Qt::Key_Escape);
        EXPECT_FALSE(console->isVisible());
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(manager->ManagerWindow(), console) << "closing keeps the window for the next show";
}

// A new poll: the title, then the choices, then a repeated choice are refused,
// the editor staying open; choices typed into B and F become A and B.
TEST_F(ConsoleFixture, TheEditorValidatesInOrderAndLettersTheChoicesAgain) {
    ApplyList("");
    QStringList refusals;
    bool stillOpen = false;
    OnNext<QDialog>([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle(), Msg(msg::kEditorCaptionNew));
        EXPECT_EQ(editor.size(), QSize(480, 360));
        EXPECT_EQ(Choices(editor), "011");
        Click(&editor, Editor::kOkId);
        Type(&editor, Editor::kTitleId, "Where shall we meet?");
        Click(&editor, Editor::kOkId);
        Type(&editor, Editor::kChoiceIds[0], "Hall");  // two empty choices between
        Type(&editor, Editor::kChoiceIds[3], "Hall");
        Click(&editor, Editor::kOkId);
        refusals = boxes;
        stillOpen = editor.isVisible();
        const std::pair<int, const char*> choices[] = {
            {0, ""}, {3, ""}, {1, "Red room"}, {5, "Blue room"}};
        for (const auto& [index, text] : choices) Type(&editor, Editor::kChoiceIds[index], text);
        Click(&editor, Editor::kSingleId);
        Click(&editor, Editor::kIdentifyId);
        Click(&editor, Editor::kOkId);
    });
    Menu(Dlg::kNewPollCommand, Dlg::kCreateButtonId);
    EXPECT_EQ(refusals, (QStringList{Msg(msg::kTitleMissing), Msg(msg::kChoicesMissing),
                                     Msg(msg::kChoiceRepeated)}));
    EXPECT_TRUE(stillOpen);
    EXPECT_EQ(Sent(), std::vector<std::string>{
                          "/polling/out/creaenewpolling Quibrant[CreatePolling]{Polling{"
                          "title=Where shall we meet?;type=S;issign=0;itemcount=2;"
                          "content_0=Red room;itemname_0=A;content_1=Blue room;"
                          "itemname_1=B;};}"});
    EXPECT_FALSE(console->ButtonsEnabled());
}

// Editing a multiple-answer poll opens on its values; texts stop at 255
// characters; Cancel sends nothing and leaves the buttons alone.
TEST_F(ConsoleFixture, EditingOpensOnThePollAndCancelSendsNothing) {
    ApplyList(PollRecordXml("31", "Snacks?", {.single = false, .status = 'N'},
                            ItemsXml({"Nuts", "Fruit"})));
    OnNext<QDialog>([&](QDialog& editor) {
        EXPECT_EQ(editor.windowTitle(), Msg(msg::kEditorCaptionEdit));
        EXPECT_EQ(Choices(editor), "010");
        EXPECT_EQ(Item<QLineEdit>(&editor, Editor::kTitleId)->text(), "Snacks?");
        EXPECT_EQ(Item<QLineEdit>(&editor, Editor::kChoiceIds[1])->text(), "Fruit");
        EXPECT_EQ(Item<QLineEdit>(&editor, Editor::kChoiceIds[2])->text(), "");
        Click(&editor, Editor::kCancelId);
    });
    Click(console, Dlg::kModifyButtonId);
    EXPECT_TRUE(worker.calls.empty() && console->Button(Dlg::kModifyButtonId)->isEnabled());

    OnNext<QDialog>([&](QDialog& editor) {
        Type(&editor, Editor::kTitleId, QString(300, 't'));
        Type(&editor, Editor::kChoiceIds[6], QString(300, 'g'));
        EXPECT_EQ(Item<QLineEdit>(&editor, Editor::kTitleId)->text(), QString(255, 't'));
        EXPECT_EQ(Item<QLineEdit>(&editor, Editor::kChoiceIds[6])->text(), QString(255, 'g'));
        Type(&editor, Editor::kChoiceIds[6], "");
        Type(&editor, Editor::kTitleId, "Snacks today?");
        Click(&editor, Editor::kOkId);
    });
    Click(console, Dlg::kModifyButtonId);
    EXPECT_EQ(Sent(), std::vector<std::string>{
                          "/polling/out/updatecontant Quibrant[UpdateContant]{Polling{"
                          "pollid=31;title=Snacks today?;type=M;issign=0;itemcount=2;"
                          "content_0=Nuts;itemname_0=A;content_1=Fruit;itemname_1=B;};}"});

    // A poll of eight choices is refused, not cut to seven.
    ApplyList(PollRecordXml("32", "Eight?", {.single = false, .status = 'N'},
                            ItemsXml({"1", "2", "3", "4", "5", "6", "7", "8"})));
    Click(console, Dlg::kModifyButtonId);
    EXPECT_EQ(boxes, QStringList{Msg(msg::kTooManyChoicesEdit)});
    EXPECT_EQ(Sent().size(), 1u);
}

// The import's pacing as the worker sees it: one creation at once, the rest on
// the timer, and the console locked until the last, list replies between
// them notwithstanding. A poll of more than seven choices is refused by name;
// unusable or cancelled files send nothing.
TEST_F(ConsoleFixture, ImportSendsOnePollPerTickAndNothingForUnusableFiles) {
    ApplyList(PollXml("11", "Lunch?", 'N'));
    ScriptedDialogs dialogs;
    WriteFileBytes(work / "bad.pol", "<WendrakeVote>" + Question("", "1", "1", "") +
                                         Question("No choices", "1", "1", "<Choice/>") +
                                         "</WendrakeVote>");
    for (const QString& path : {QString(), QString::fromStdString((work / "bad.pol").string()),
                                QString::fromStdString((work / "missing.pol").string())}) {
        dialogs.open = path;
        Menu(Dlg::kImportCommand);
        EXPECT_TRUE(Sent().empty() && console->ButtonsEnabled() && console->Tree()->isEnabled())
            << path.toStdString();
    }
    EXPECT_EQ(dialogs.opened, 3);

    WriteFileBytes(work / "good.pol", kPollFile);
    dialogs.open = QString::fromStdString((work / "good.pol").string());
    Menu(Dlg::kImportCommand);
    ASSERT_EQ(Sent().size(), 1u);
    EXPECT_FALSE(console->ButtonsEnabled());
    ApplyList(PollXml("11", "Lunch?", 'N') + PollXml("12", "First: lunch?", 'N'));
    EXPECT_FALSE(console->ButtonsEnabled() || console->Tree()->isEnabled() ||
                 console->Button(Dlg::kCreateButtonId)->isEnabled())
        << "a list reply between creations leaves the console locked";
    ASSERT_TRUE(QTest::qWaitFor([&] { return Sent().size() == 3; }, 10000));
    EXPECT_EQ(boxes, QStringList{Msg(msg::kTooManyChoicesImport) + "\nEight"});
    // In file order; the poll and the choice without a description are left out.
    const std::string poll = "/polling/out/creaenewpolling Quibrant[CreatePolling]{Polling{title=";
    EXPECT_EQ(Sent(),
              (std::vector<std::string>{
                  poll + "First: lunch?;type=S;issign=1;itemcount=2;content_0=Pizza;itemname_0=A;"
                         "content_1=Soup;itemname_1=B;};}",
                  poll + "Second: topics?;type=M;issign=0;itemcount=2;content_0=Roadmap;"
                         "itemname_0=A;content_1=Hiring;itemname_1=B;};}",
                  poll + "Third: <b>\xE5\x8D\x88\xE9\xA5\xAD</b>?;type=S;issign=0;itemcount=1;"
                         "content_0=Yes;itemname_0=A;};}"}));
    // The import has ended with its last poll: a new one opens the dialog again.
    ApplyList(PollXml("11", "Lunch?", 'N'));
    dialogs.open.clear();
    Menu(Dlg::kImportCommand);
    EXPECT_EQ(dialogs.opened, 5);
    EXPECT_EQ(Sent().size(), 3u);
}

// Both exports through the tree menu, with the real stylesheets and xsltproc:
// which polls go where, and the work folder; the report's figures are the
// report's own tests'.
TEST_F(ConsoleFixture, ExportsWriteTheReportWhereThePresenterChose) {
    const auto Has = [](const std::string& text, const char* part) {
        return text.find(part) != std::string::npos;
    };
    ScopedEnv home("HOME", (work / "home").string());
    ScopedEnv languages("LC_ALL", "de_DE.UTF-8");  // no German stylesheet: English
    const fs::path workFolder = work / "home" / "Documents" / "Wendrake Directory" / "Poll";
    ApplyList(PollXml("11", "Lunch?", 'N') + PollXml("12", "Which day?", 'C') +
              PollXml("13", "Tea &amp; cake?", 'C'));
    ClickItem(1);
    ScriptedDialogs dialogs;

    // Cancelled: the work folder stays with the export and the report.
    Menu(Dlg::kExportShownCommand);
    EXPECT_EQ(dialogs.saved, 1);
    EXPECT_EQ(dialogs.initialTarget.toStdString(),
              (work / "home" / "Documents").string() + "/ExportPoll");
    EXPECT_TRUE(fs::exists(workFolder / "ExportPoll.xml") && fs::exists(workFolder / "0409.html"));

    dialogs.save = QString::fromStdString((work / "shown.html").string());
    Menu(Dlg::kExportShownCommand);
    const std::string shown = ReadFileBytes(work / "shown.html");
    EXPECT_TRUE(Has(shown, "<h2>Which day?</h2>") && !Has(shown, "Tea &amp; cake?"));
    EXPECT_FALSE(fs::exists(workFolder));

    dialogs.save = QString::fromStdString((work / "all.html").string());
    Menu(Dlg::kExportAllCommand);
    const std::string all = ReadFileBytes(work / "all.html");
    EXPECT_TRUE(Has(all, "<h2>Which day?</h2>") && Has(all, "<h2>Tea &amp; cake?</h2>") &&
                !Has(all, "Lunch?"));
    EXPECT_FALSE(fs::exists(workFolder));
    EXPECT_TRUE(Sent().empty()) << "exports never reach the server";
}
