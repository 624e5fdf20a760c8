#include <QAbstractButton>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>
#include <filesystem>

#include "console/ConsoleFixture.h"
#include "core/PluginObjects.h"
#include "core/WindowFactoryRegistry.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"
#include "transport/RequestTask.h"
#include "ui/PollWindowFactory.h"
#include "ui/console/PollFileDialogs.h"
#include "ui/controls/CImageButton.h"

using namespace quibra;
using namespace quibra::test;
namespace fs = std::filesystem;

namespace {

using Dlg = CPollManagerDlg;

// The file dialogs answer what the test chose, and note what they were asked.
class ScriptedDialogs {
public:
    ScriptedDialogs() {
        PollFileDialogs::Replace(
            [this](QWidget*) {
                ++opened;
                return open;
            },
            [this](QWidget*, const QString& initial) {
                initialTarget = initial;
                ++saved;
                return save;
            });
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

// Three usable polls around one without a described choice.
const std::string kPollFile =
    "<WendrakeVote>" +
    Question("First: lunch?", "0", "0",
             "<Choice Description=\"Pizza\"/><Choice Description=\"Soup\"/>") +
    Question("Skipped", "1", "1", "<Choice Description=\"\"/>") +
    Question("Second: topics?", "1", "1",
             "<Choice Description=\"Roadmap\"/><Choice Description=\"\"/><Choice "
             "Description=\"Hiring\"/>") +
    Question("Third: &lt;b&gt;\xE5\x8D\x88\xE9\xA5\xAD&lt;/b&gt;?", "1", "0",
             "<Choice Description=\"Yes\"/>") +
    "</WendrakeVote>";

void OpenMenuCommand(Dlg& console, int command) {
    OnNextPopup([command](QMenu& menu) { ClickMenuItem(menu, command); });
    QTest::mouseClick(console.Tree()->viewport(), Qt::RightButton, {},
                      console.Tree()->visualItemRect(console.Tree()->currentItem()).center());
}

}  // namespace

// Import through the create button's menu: the polls of the file go to the
// server one by one while the console stays locked, and come back in file order.
TEST(PollFileServer, ImportCreatesTheFilesPollsInOrderOnTheRealServer) {
    TempDir work;
    ScopedEnv config("XDG_CONFIG_HOME", (work / "config").string());
    WriteUserConfig(work / "config");
    fs::create_directories(work / "tmp");
    WriteFileBytes(work / "polls.pol", kPollFile);
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    const std::string address = server.HttpAddress();

    WindowFactoryRegistry::Set(std::make_shared<PollWindowFactory>());
    RecordingHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
    CWenDoc initDoc;
    CWenNode init = initDoc.LoadXml(
        "<init><skinfolder>skin</skinfolder><userid>u1</userid><username>Ann</username>"
        "<sessionid>s</sessionid><modulename>m1</modulename><managerip>" +
        address + "</managerip><authorname>a7</authorname><tmpfolder>" + (work / "tmp").string() +
        "</tmpfolder></init>");
    ASSERT_EQ(notify->Notify(L"/polling/in/init", &init), 0);
    auto* console = dynamic_cast<Dlg*>(PluginObjects::CurrentManager()->ManagerWindow());
    ASSERT_NE(console, nullptr);
    notify->Notify(L"/polling/in/showmanager", nullptr);
    QTreeWidget* tree = console->Tree();
    ASSERT_TRUE(QTest::qWaitFor([&] { return console->ButtonsEnabled(); }, 30000));

    ScriptedDialogs dialogs;
    dialogs.open = QString::fromStdString((work / "polls.pol").string());
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kImportCommand); });
    QTest::mouseClick(console->Button(Dlg::kCreateButtonId), Qt::LeftButton, {},
                      console->Button(Dlg::kCreateButtonId)->rect().center());
    EXPECT_EQ(dialogs.opened, 1);
    EXPECT_FALSE(console->ButtonsEnabled());
    EXPECT_FALSE(tree->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return console->ButtonsEnabled() && tree->topLevelItemCount() == 3; }, 30000));
    const std::vector<PollRecord>& polls = console->Records();
    EXPECT_EQ(polls[0].title, L"First: lunch?");
    EXPECT_EQ(polls[1].title, L"Second: topics?");
    EXPECT_EQ(polls[2].title, L"Third: <b>\u5348\u996D</b>?");
    EXPECT_TRUE(polls[0].identified && polls[0].singleChoice);
    EXPECT_TRUE(!polls[1].identified && !polls[1].singleChoice);
    ASSERT_EQ(polls[1].items.size(), 2u);
    EXPECT_EQ(polls[1].items[1].itemName + L"=" + polls[1].items[1].content, L"B=Hiring");
    for (const PollRecord& poll : polls) EXPECT_EQ(poll.status, PollStatus::New);

    entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return RequestTask::Alive() == 0; }, 30000));
}

// The import's pacing as the worker sees it: one creation at once, the rest on
// the timer, and the console locked again after each even when a list reply
// unlocked it in between. Unusable or cancelled files send nothing.
TEST_F(ConsoleFixture, ImportSendsOnePollPerTickAndNothingForUnusableFiles) {
    ApplyList(PollXml("11", "Lunch?", 'N'));
    ASSERT_TRUE(console->ButtonsEnabled());
    ScriptedDialogs dialogs;
    WriteFileBytes(work / "bad.pol", "<WendrakeVote>" + Question("", "1", "1", "") +
                                         Question("No choices", "1", "1", "<Choice/>") +
                                         "</WendrakeVote>");
    for (const QString& path : {QString(), QString::fromStdString((work / "bad.pol").string()),
                                QString::fromStdString((work / "missing.pol").string())}) {
        dialogs.open = path;
        OpenMenuCommand(*console, Dlg::kImportCommand);
        EXPECT_TRUE(SentSince(0).empty()) << path.toStdString();
        EXPECT_TRUE(console->ButtonsEnabled()) << path.toStdString();
        EXPECT_TRUE(console->Tree()->isEnabled());
    }
    EXPECT_EQ(dialogs.opened, 3);

    WriteFileBytes(work / "good.pol", kPollFile);
    dialogs.open = QString::fromStdString((work / "good.pol").string());
    OpenMenuCommand(*console, Dlg::kImportCommand);
    ASSERT_EQ(SentSince(0).size(), 1u);
    EXPECT_NE(SentSince(0)[0].find("First: lunch?"), std::string::npos) << SentSince(0)[0];
    EXPECT_FALSE(console->ButtonsEnabled());
    ApplyList(PollXml("11", "Lunch?", 'N') + PollXml("12", "First: lunch?", 'N'));
    EXPECT_TRUE(console->ButtonsEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return SentSince(0).size() == 2; }, 10000));
    EXPECT_FALSE(console->ButtonsEnabled()) << "locked again after the next creation";
    ASSERT_TRUE(QTest::qWaitFor([&] { return SentSince(0).size() == 3; }, 10000));
    const std::vector<std::string> sent = SentSince(0);
    EXPECT_NE(sent[1].find("Second: topics?"), std::string::npos);
    EXPECT_NE(sent[2].find("Third: "), std::string::npos);
    for (const std::string& message : sent)
        EXPECT_NE(message.find("Quibrant[CreatePolling]"), std::string::npos) << message;
    // The import has ended with its last poll: a new one opens the dialog again.
    ApplyList(PollXml("11", "Lunch?", 'N'));
    dialogs.open.clear();
    OpenMenuCommand(*console, Dlg::kImportCommand);
    EXPECT_EQ(dialogs.opened, 5);
    EXPECT_EQ(SentSince(0).size(), 3u);
}

// Both exports through the tree menu, with the real stylesheets and xsltproc.
TEST_F(ConsoleFixture, ExportsWriteTheReportWhereThePresenterChose) {
    ScopedEnv home("HOME", (work / "home").string());
    ScopedEnv languages("LC_ALL", "de_DE.UTF-8");  // no German stylesheet: English
    const fs::path workFolder = work / "home" / "Documents" / "Wendrake Directory" / "Poll";
    const std::string voted =
        "<Item ItemName=\"A\" Content=\"Pizza\" PostCount=\"3\"><User UserName=\"Ann\"/>"
        "<User UserName=\"Bo\"/><User UserName=\"Cy\"/></Item>"
        "<Item ItemName=\"B\" Content=\"Soup\" PostCount=\"1\"><User UserName=\"Di\"/></Item>";
    const auto closed = [&](const std::string& id, const std::string& title) {
        return "<Record PollingId=\"" + id + "\" Type=\"S\" IsSign=\"1\" Title=\"" + title +
               "\" IsPublish=\"0\" Status=\"C\" UserCount=\"4\"><Items>" + voted +
               "</Items></Record>";
    };
    ApplyList(PollXml("11", "Lunch?", 'N') + closed("12", "Which day?") +
              closed("13", "Tea &amp; cake?"));
    ClickItem(1);
    ScriptedDialogs dialogs;

    // Cancelled: the work folder stays with the export and the report.
    OpenMenuCommand(*console, Dlg::kExportShownCommand);
    EXPECT_EQ(dialogs.saved, 1);
    EXPECT_EQ(dialogs.initialTarget.toStdString(),
              (work / "home" / "Documents").string() + "/ExportPoll");
    EXPECT_TRUE(fs::exists(workFolder / "ExportPoll.xml"));
    EXPECT_TRUE(fs::exists(workFolder / "0409.html"));

    dialogs.save = QString::fromStdString((work / "shown.html").string());
    OpenMenuCommand(*console, Dlg::kExportShownCommand);
    const std::string shown = ReadFileBytes(work / "shown.html");
    EXPECT_NE(shown.find("<h2>Which day?</h2>"), std::string::npos);
    EXPECT_EQ(shown.find("Tea &amp; cake?"), std::string::npos);
    EXPECT_NE(shown.find("3 votes <strong>75%</strong>"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Ann, Bo, Cy"), std::string::npos);
    EXPECT_FALSE(fs::exists(workFolder));

    dialogs.save = QString::fromStdString((work / "all.html").string());
    OpenMenuCommand(*console, Dlg::kExportAllCommand);
    const std::string all = ReadFileBytes(work / "all.html");
    EXPECT_NE(all.find("<h2>Which day?</h2>"), std::string::npos);
    EXPECT_NE(all.find("<h2>Tea &amp; cake?</h2>"), std::string::npos);
    EXPECT_EQ(all.find("Lunch?"), std::string::npos);
    EXPECT_FALSE(fs::exists(workFolder));
    EXPECT_TRUE(SentSince(0).empty()) << "exports never reach the server";
}
