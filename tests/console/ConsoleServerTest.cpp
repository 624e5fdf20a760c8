#include <QDialog>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

#include "console/ConsoleFixture.h"
#include "core/PluginObjects.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"
#include "transport/RequestTask.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/console/PollDetailsPanel.h"

using namespace quibra;
using namespace quibra::test;

using Dlg = CPollManagerDlg;
using Editor = CPollQuestionDlg;

// The presenter's day through the console's buttons against the real server,
// in the plug-in the host loads: every command ends with the refreshed list
// and the console unlocked.
TEST(ConsoleServer, CreateEditPostStopPublishAndDeleteThroughTheButtons) {
    TempDir work;
    ScopedEnv config("XDG_CONFIG_HOME", (work / "config").string());
    WriteUserConfig(work / "config");
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    RecordingHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
    CWenDoc doc;
    CWenNode init = doc.LoadXml(
        "<init><userid>u1</userid><username>Ann</username><modulename>m1</modulename>"
        "<managerip>" +
        server.HttpAddress() + "</managerip><tmpfolder>" + work.Path().string() +
        "</tmpfolder></init>");
    ASSERT_EQ(notify->Notify(L"/polling/in/init", &init), 0);
    auto* console = dynamic_cast<Dlg*>(PluginObjects::CurrentManager()->ManagerWindow());
    ASSERT_NE(console, nullptr);
    notify->Notify(L"/polling/in/showmanager", nullptr);
    // Unlocked on a list of `polls` whose shown poll passes `check`.
    const auto settled = [&](int polls, std::function<bool(const PollRecord&)> check = {}) {
        return QTest::qWaitFor(
            [&] {
                const PollRecord* shown = console->ShownRecord();
                return console->ButtonsEnabled() && console->Tree()->topLevelItemCount() == polls &&
                       (!check || (shown != nullptr && check(*shown)));
            },
            30000);
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
    ASSERT_TRUE(settled(1, [](const PollRecord& r) {
        return r.items.size() == 2 && r.items[1].itemName == L"B" && r.items[1].content == L"Soup";
    }));

    OnNextModal([](QDialog& editor) {
        Type(editor, Editor::kTitleId, "Lunch today?");
        Click(editor, Editor::kOkId);
    });
    Click(*console, Dlg::kModifyButtonId);
    ASSERT_TRUE(settled(1, [](const PollRecord& r) { return r.title == L"Lunch today?"; }));

    Click(*console, Dlg::kPostButtonId);
    EXPECT_FALSE(console->ButtonsEnabled());
    ASSERT_TRUE(settled(1, [](const PollRecord& r) { return r.status == PollStatus::Open; }));
    Click(*console, Dlg::kOverButtonId);
    ASSERT_TRUE(settled(1, [](const PollRecord& r) { return r.status == PollStatus::Closed; }));
    OnNextPopup([](QMenu& menu) { ClickMenuItem(menu, Dlg::kPublishCommand); });
    Click(*console, Dlg::kPublishButtonId);
    ASSERT_TRUE(settled(1, [](const PollRecord& r) {
        return r.status == PollStatus::Closed && r.publishState == PublishState::Published;
    }));
    Click(*console, Dlg::kDeleteButtonId);
    ASSERT_TRUE(settled(0));
    EXPECT_TRUE(console->DefaultPanel()->isVisible());

    entry.FreeAllPollingObject();
    EXPECT_TRUE(QTest::qWaitFor([] { return RequestTask::Alive() == 0; }, 30000));
}
