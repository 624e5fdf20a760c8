#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include "WenMessageBox.h"
#include "config/AppConfig.h"
#include "core/CoreFakes.h"
#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/PollWorker.h"
#include "core/ShowMessageBox.h"
#include "core/WindowFactoryRegistry.h"
#include "i18n/CWenMsg.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "support/TestSupport.h"
#include "transport/PollJobs.h"
#include "transport/RequestTask.h"
#include "transport/TransportTestSupport.h"
#include "ui/PollWindowFactory.h"
#include "ui/console/CPollManagerDlg.h"
#include "ui/console/CPollQuestionDlg.h"
#include "ui/voting/CPollVoteDlg.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;
using Dlg = CPollManagerDlg;
using Editor = CPollQuestionDlg;

namespace {

QString Msg(int id) {
    return QString::fromStdWString(CWenMsg::GetInstance().GetMsg(id));
}

// Saves what `widget` shows to build/screenshots/<name>.png.
void Shoot(QWidget& widget, const char* name) {
    const auto folder = BinaryDir() / "screenshots";
    std::filesystem::create_directories(folder);
    widget.grab().save(QString::fromStdString((folder / name).string()));
}

// Runs `act` on the next question editor once it is open (it runs its own event loop).
void OnNextEditor(std::function<void(QDialog&)> act) {
    QTimer::singleShot(5, qApp, [act = std::move(act)]() mutable {
        if (auto* editor = dynamic_cast<CPollQuestionDlg*>(QApplication::activeModalWidget()))
            act(*editor);
        else
            OnNextEditor(std::move(act));
    });
}
QLineEdit* Edit(QDialog& editor, int id) {
    return editor.findChild<QLineEdit*>(QString::number(id));
}
void ClickItem(QWidget& window, int id) {
    QTest::mouseClick(window.findChild<QWidget*>(QString::number(id)), Qt::LeftButton);
}

// One plug-in with the real windows, presenter and attendee at once, against a
// PollServer that stops and comes back on the same ports.
class ServerDown : public ::testing::Test {
protected:
    ServerDown() : env("XDG_CONFIG_HOME", (work / "config").string()) {
        std::filesystem::create_directories(work / "config" / "wendrake");
        std::filesystem::create_directories(work / "tmp");
        WriteFileBytes(work / "config" / "wendrake" / "wenconfig.xml",
                       "<Wendrake><WenConfig><SystemSetting><SkinName value=\"default\"/><UseSSL "
                       "value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
        AppConfig::Instance().CloseAll();
        AppConfig::Instance().Load();
        WindowFactoryRegistry::Set(std::make_shared<PollWindowFactory>());
        SetMessageBoxHookForTesting([this](const std::wstring& text, int) {
            boxes.push_back(QString::fromStdWString(text));
            if (onBox) onBox(boxes.back());
            return 1;
        });
        EXPECT_TRUE(server.Start(work / "polls.db")) << server.Error();
        const auto port = [](const std::string& url) { return url.substr(url.rfind(':') + 1); };
        ports = {"--http", port(server.HttpUrl()), "--https", port(server.HttpsUrl())};
        notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
        manager = PluginObjects::CurrentManager();
        CWenMsg::GetInstance().Load((BinaryDir() / "bin" / "Lang" / "0409.xml").wstring());
        CWenDoc doc;
        CWenNode init = doc.LoadXml(
            "<init><skinfolder>" + (BinaryDir() / "bin" / "skin" / "default").string() +
            "</skinfolder><userid>u1</userid><username>Ann</username><modulename>m1</modulename>"
            "<managerip>" +
            server.HttpAddress() +
            "</managerip><authorname>a7</authorname>"
            "<tmpfolder>" +
            (work / "tmp").string() + "</tmpfolder></init>");
        notify->Notify(L"/polling/in/init", &init);
        console = dynamic_cast<CPollManagerDlg*>(manager->ManagerWindow());
        // A dead server fails a job within this, not the 15 s a person gets.
        dynamic_cast<PollJobs*>(PluginObjects::CurrentWorker()->Jobs())
            ->SetVoteWait(std::chrono::milliseconds(700));
        manager->SetListRetryPauses(std::chrono::milliseconds(50), std::chrono::milliseconds(200));
    }
    ~ServerDown() override {
        entry.FreeAllPollingObject();
        WindowFactoryRegistry::Set(nullptr);
        SetMessageBoxHookForTesting({});
        AppConfig::Instance().CloseAll();
        WaitFor([] { return RequestTask::Alive() == 0; });
    }
    int32_t Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        return notify->Notify(path, &node);
    }
    const std::vector<PollRecord>& Polls() const { return console->Records(); }
    // Creates a poll with the server up, as the presenter's console shows it.
    std::wstring CreatePoll(const std::wstring& title) {
        PollRecord draft;
        draft.title = title;
        draft.singleChoice = true;
        draft.items = {{L"", L"A", L"Yes", 0, {}}, {L"", L"B", L"No", 0, {}}};
        const size_t before = Polls().size();
        manager->CmdCreatePolling(draft);
        EXPECT_TRUE(WaitFor([&] { return Polls().size() == before + 1; }));
        return Polls().empty() ? L"" : Polls().back().pollId;
    }
    void ServerBack() { ASSERT_TRUE(server.Start(work / "polls.db", ports)) << server.Error(); }

    TempDir work;
    ScopedEnv env;
    ScopedProxySettings direct;
    PollServerProcess server;
    std::vector<std::string> ports;
    RecordingHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = nullptr;
    PollManager* manager = nullptr;
    CPollManagerDlg* console = nullptr;
    QStringList boxes;
    std::function<void(const QString&)> onBox;
};

}  // namespace

// A ballot that cannot reach the server is told (11216) and not announced; its
// dialog keeps the choice, and Submit, once the server is back, counts it.
TEST_F(ServerDown, ABallotThatFailsStaysInItsDialogUntilItIsCounted) {
    const std::wstring id = CreatePoll(L"Lunch?");
    PollRecord open = Polls().back();
    open.requestedStatus = PollStatus::Open;
    manager->CmdUpdateStats({&open});
    ASSERT_TRUE(WaitFor([&] { return Polls().back().status == PollStatus::Open; }));
    Send(L"/polling/in/authholdpolling", "<ids><id>" + ToUtf8(id) + "</id></ids>");
    ASSERT_TRUE(WaitFor([&] { return manager->AnswerWindows().size() == 1; }));
    auto* dialog = dynamic_cast<CPollVoteDlg*>(manager->AnswerWindows()[0].get());
    ASSERT_NE(dialog, nullptr);
    host.calls.clear();

    server.Stop();
    ClickItem(*dialog, 1002);
    ClickItem(*dialog, 4018);
    ASSERT_TRUE(WaitFor([&] { return dialog->Sending(); }));
    EXPECT_TRUE(dialog->findChild<QWidget*>("sending")->isVisible());
    EXPECT_FALSE(dialog->findChild<QWidget*>("4018")->isEnabled());
    Shoot(*dialog, "ballot-sending.png");
    ASSERT_TRUE(WaitFor([&] { return !boxes.empty(); }));
    EXPECT_EQ(boxes, QStringList{Msg(11216)});
    EXPECT_TRUE(dialog->isVisible() && !dialog->Sending());
    EXPECT_TRUE(dialog->findChild<QAbstractButton*>("1002")->isChecked());
    EXPECT_TRUE(host.calls.empty()) << "no ballot is announced that the server does not have";

    ServerBack();
    ClickItem(*dialog, 4018);
    ASSERT_TRUE(WaitFor([&] { return !dialog->isVisible(); }));
    EXPECT_EQ(
        Trace(host.calls),
        std::vector<std::string>{"/polling/notify/postpolling Polling{ID=" + ToUtf8(id) + ";}"});
    notify->Notify(L"/polling/in/getallpolling", nullptr);
    EXPECT_TRUE(WaitFor([&] { return Polls().back().voterCount == 1; }));
    EXPECT_EQ(Polls().back().items[1].postCount, 1);
}

// Each of the presenter's jobs against a stopped server: the console unlocks, says
// what was not done, and shows what the server holds once it is back; a poll typed
// into the editor comes back in it.
TEST_F(ServerDown, EachFailedPresenterJobUnlocksTellsAndTheListIsTheServers) {
    const std::wstring id = CreatePoll(L"Lunch?");
    console->Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(console));
    server.Stop();

    const auto failed = [&](int message) {
        EXPECT_FALSE(console->ButtonsEnabled());
        EXPECT_TRUE(WaitFor([&] { return !boxes.empty() && console->ButtonsEnabled(); }));
        EXPECT_EQ(boxes, QStringList{Msg(message)});
        EXPECT_TRUE(console->Tree()->isEnabled());
        boxes.clear();
    };
    console->Tree()->setCurrentItem(console->Tree()->topLevelItem(0));
    ASSERT_NE(console->ShownRecord(), nullptr);
    console->OnCommand(Dlg::kPostButtonId);
    failed(15104);
    console->OnCommand(Dlg::kDeleteButtonId);
    failed(15102);
    OnNextEditor([](QDialog& editor) {
        Edit(editor, Editor::kTitleId)->setText("Lunch today?");
        ClickItem(editor, Editor::kOkId);
    });
    QString changeReopened;
    console->OnCommand(Dlg::kModifyButtonId);
    OnNextEditor([&](QDialog& again) {
        changeReopened = Edit(again, Editor::kTitleId)->text() + "|" + again.windowTitle();
        ClickItem(again, Editor::kCancelId);
    });
    failed(15103);
    // The change typed is not lost either: the editor opens again on it.
    ASSERT_TRUE(WaitFor([&] { return !changeReopened.isEmpty(); }));
    EXPECT_EQ(changeReopened, "Lunch today?|" + Msg(15003));

    // The creation's message, as the presenter sees it; then the editor, filled again.
    onBox = [](const QString& text) {
        std::unique_ptr<QMessageBox> box(wenmessagebox::BuildMessageBox(text));
        box->show();
        if (QTest::qWaitForWindowExposed(box.get())) Shoot(*box, "server-down-message.png");
    };
    OnNextEditor([](QDialog& editor) {
        Edit(editor, Editor::kTitleId)->setText("Dinner?");
        Edit(editor, Editor::kChoiceIds[0])->setText("Soup");
        ClickItem(editor, Editor::kOkId);
    });
    console->OnCommand(Dlg::kNewPollCommand);
    QString reopened;
    OnNextEditor([&](QDialog& again) {
        reopened = Edit(again, Editor::kTitleId)->text() + "|" +
                   Edit(again, Editor::kChoiceIds[0])->text() + "|" + again.windowTitle();
        Shoot(again, "editor-reopened.png");
        ClickItem(again, Editor::kCancelId);
    });
    ASSERT_TRUE(WaitFor([&] { return !reopened.isEmpty(); }));
    EXPECT_EQ(reopened, "Dinner?|Soup|" + Msg(15002));
    EXPECT_EQ(boxes, QStringList{Msg(15100)});
    EXPECT_TRUE(console->ButtonsEnabled());

    // Back, the server holds a poll made meanwhile elsewhere: the list fetched again
    // and again shows it, and the first poll as it was.
    ServerBack();
    HttpRequest other;
    std::wstring reply;
    ASSERT_TRUE(
        other.GetText(L"http://" + FromUtf8(server.HttpAddress()) +
                          L"/wendrake-idm/v4/polling/polling.asp?job=CreatePolling&userid=a7"
                          L"&modulename=m1&title=Tea&type=S&status=N&issign=0&ispublish=0"
                          L"&itemcount=1&content_0=Yes&itemname_0=A",
                      reply));
    ASSERT_TRUE(WaitFor([&] { return Polls().size() == 2; }));
    EXPECT_EQ(Polls()[0].pollId, id);
    EXPECT_EQ(Polls()[0].title + L"|" + Polls()[1].title, L"Lunch?|Tea");
    EXPECT_EQ(Polls()[0].status, PollStatus::New);
}
