#include <QAbstractButton>
#include <QDialog>
#include <QLineEdit>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include "config/AppConfig.h"
#include "console/ConsoleFixture.h"
#include "core/PluginObjects.h"
#include "core/WindowFactoryRegistry.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"
#include "transport/RequestTask.h"
#include "ui/PollWindowFactory.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/console/PollDetailsPanel.h"

using namespace quibra;
using namespace quibra::test;

namespace {

using Dlg = CPollManagerDlg;
using Editor = CPollQuestionDlg;

void Type(QDialog& dialog, int id, const QString& text) {
    auto* edit = dialog.findChild<QLineEdit*>(QString::number(id));
    ASSERT_NE(edit, nullptr) << id;
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

void Click(QWidget& parent, int id) {
    auto* button = parent.findChild<QAbstractButton*>(QString::number(id));
    ASSERT_NE(button, nullptr) << id;
    QTest::mouseClick(button, Qt::LeftButton, {}, button->rect().center());
}

}  // namespace

// The presenter's whole day through the console's buttons against the real
// server: every command ends with the refreshed list and the console unlocked.
TEST(ConsoleServer, CreateEditPostStopPublishAndDeleteThroughTheButtons) {
    TempDir work;
    ScopedEnv config("XDG_CONFIG_HOME", (work / "config").string());
    std::filesystem::create_directories(work / "config" / "wendrake");
    std::filesystem::create_directories(work / "tmp");
    WriteFileBytes(work / "config" / "wendrake" / "wenconfig.xml",
                   "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/>"
                   "<UseSSL value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
    AppConfig::Instance().CloseAll();
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    const std::string address = server.HttpUrl().substr(server.HttpUrl().find("://") + 3);

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
    const auto settled = [&](int polls) {
        return QTest::qWaitFor(
            [&] { return console->ButtonsEnabled() && tree->topLevelItemCount() == polls; }, 30000);
    };
    ASSERT_TRUE(settled(0));

    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kNewPollCommand); });
    OnNextModal([](QDialog& editor) {
        Type(editor, Editor::kTitleId, "Lunch?");
        Type(editor, Editor::kChoiceIds[0], "Pizza");
        Type(editor, Editor::kChoiceIds[2], "Soup");
        Click(editor, Editor::kOkId);
    });
    Click(*console, Dlg::kCreateButtonId);
    ASSERT_TRUE(settled(1));
    ASSERT_NE(console->ShownRecord(), nullptr);
    EXPECT_EQ(console->ShownRecord()->items.size(), 2u);
    EXPECT_EQ(console->ShownRecord()->items[1].itemName, L"B");

    OnNextModal([](QDialog& editor) {
        Type(editor, Editor::kTitleId, "Lunch today?");
        Click(editor, Editor::kOkId);
    });
    Click(*console, Dlg::kModifyButtonId);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return console->ButtonsEnabled() && tree->topLevelItemCount() == 1 &&
                   tree->topLevelItem(0)->text(0) == "Lunch today?";
        },
        30000));

    const auto step = [&](int button, PollStatus status) {
        Click(*console, button);
        EXPECT_FALSE(console->ButtonsEnabled());
        return QTest::qWaitFor(
            [&] {
                return console->ButtonsEnabled() && console->ShownRecord() != nullptr &&
                       console->ShownRecord()->status == status;
            },
            30000);
    };
    ASSERT_TRUE(step(Dlg::kPostButtonId, PollStatus::Open));
    ASSERT_TRUE(step(Dlg::kOverButtonId, PollStatus::Closed));
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kPublishCommand); });
    Click(*console, Dlg::kPublishButtonId);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return console->ButtonsEnabled() && console->ShownRecord() != nullptr &&
                   console->ShownRecord()->publishState == PublishState::Published;
        },
        30000));
    EXPECT_EQ(console->ShownRecord()->status, PollStatus::Closed);

    Click(*console, Dlg::kDeleteButtonId);
    ASSERT_TRUE(settled(0));
    EXPECT_TRUE(console->DefaultPanel()->isVisible());

    entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    EXPECT_TRUE(QTest::qWaitFor([] { return RequestTask::Alive() == 0; }, 30000));
}
