#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QPointer>
#include <QTest>

#include "config/AppConfig.h"
#include "core/CoreFakes.h"
#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/WindowFactoryRegistry.h"
#include "i18n/CWenMsg.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "support/TestSupport.h"
#include "transport/RequestTask.h"
#include "ui/PollWindowFactory.h"
#include "ui/voting/CPollVoteDlg.h"
#include "voting/VotingFixture.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// Real voting dialogs; the presenter's console stays a recording stand-in whose
// poll list the refreshes rebuild.
class VotingWindowFactory : public RecordingWindowFactory {
public:
    void ApplySkinSettings(const CWenNode& init) override { real.ApplySkinSettings(init); }
    std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager& manager, const PollRecord& record,
                                                  VoteMode mode) override {
        return real.CreateVoteWindow(manager, record, mode);
    }
    PollWindowFactory real;
};

}  // namespace

// One plug-in plays presenter and attendee against the real PollServer: the
// attendee answers in a real dialog by clicking, the presenter's list shows the
// ballot, the stop closes the dialog, the published result opens in one.
TEST(VotingRoad, AnAttendeeAnswersByClickingAndSeesThePublishedResult) {
    TempDir work;
    ScopedEnv env("XDG_CONFIG_HOME", (work / "config").string());
    std::filesystem::create_directories(work / "tmp");
    UseDefaultSkin(work);
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    auto factory = std::make_shared<VotingWindowFactory>();
    WindowFactoryRegistry::Set(factory);
    NoticeSink hostWindow;
    RecordingHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
    PollManager* manager = PluginObjects::CurrentManager();
    auto send = [&](const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        return notify->Notify(path, &node);
    };
    send(L"/polling/in/init",
         "<init><skinfolder>" + SkinFolder() + "</skinfolder><mainhwnd>" +
             std::to_string(reinterpret_cast<uintptr_t>(&hostWindow)) +
             "</mainhwnd><userid>u1</userid><username>Ann</username><modulename>m1</"
             "modulename><managerip>" +
             server.HttpAddress() + "</managerip><authorname>a7</authorname><tmpfolder>" +
             (work / "tmp").string() + "</tmpfolder></init>");
    PollList& list = factory->lastManagerWindow->list;
    auto first = [&](const std::function<bool(const PollRecord&)>& check) {
        return WaitFor([&] { return !list.Records().empty() && check(list.Records().front()); });
    };

    PollRecord draft;
    draft.title = L"Lunch? \u5348\u996D";
    draft.singleChoice = true;
    draft.identified = true;
    draft.items = {{L"", L"A", L"Yes", 0, {}}, {L"", L"B", L"No", 0, {}}};
    manager->CmdCreatePolling(draft);
    ASSERT_TRUE(first([](const PollRecord& r) { return r.status == PollStatus::New; }));
    const std::string ids = "<ids><id>" + ToUtf8(list.Records().front().pollId) + "</id></ids>";
    list.Records().front().requestedStatus = PollStatus::Open;
    manager->CmdUpdateStats({&list.Records().front()});
    ASSERT_TRUE(first([](const PollRecord& r) { return r.status == PollStatus::Open; }));

    send(L"/polling/in/authholdpolling", ids);
    ASSERT_TRUE(WaitFor([&] { return manager->AnswerWindows().size() == 1; }));
    QPointer<CPollVoteDlg> answer = dynamic_cast<CPollVoteDlg*>(manager->AnswerWindows()[0].get());
    ASSERT_FALSE(answer.isNull());
    EXPECT_TRUE(answer->isVisible());
    auto* choiceB = answer->findChild<QAbstractButton*>("1002");
    ASSERT_NE(choiceB, nullptr);
    QTest::mouseClick(choiceB, Qt::LeftButton, {}, choiceB->rect().center());
    QWidget* submit = answer->findChild<QWidget*>("4018");
    QTest::mouseClick(submit, Qt::LeftButton, {}, submit->rect().center());
    ASSERT_TRUE(WaitFor([&] { return !answer->isVisible(); }));
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back().path, L"/polling/notify/postpolling");

    send(L"/polling/in/clientnotifypolling", "<x/>");
    ASSERT_TRUE(first([](const PollRecord& r) { return r.voterCount == 1; }));
    EXPECT_EQ(list.Records().front().items[1].postCount, 1);
    EXPECT_EQ(list.Records().front().items[1].voterNames, std::vector<std::wstring>{L"Ann"});

    list.Records().front().requestedStatus = PollStatus::Closed;
    manager->CmdUpdateStats({&list.Records().front()});
    send(L"/polling/in/stoppolling", ids);
    EXPECT_TRUE(manager->AnswerWindows().empty());
    EXPECT_TRUE(answer.isNull());
    ASSERT_TRUE(first([](const PollRecord& r) { return r.status == PollStatus::Closed; }));

    PollRecord& toPublish = list.Records().front();
    toPublish.requestedPublishState = PublishState::Published;
    toPublish.requestedStatus = toPublish.status;
    manager->CmdUpdateStats({&toPublish});
    ASSERT_TRUE(
        first([](const PollRecord& r) { return r.publishState == PublishState::Published; }));
    send(L"/polling/in/clientgetpollresult", ids);
    ASSERT_TRUE(WaitFor([&] { return manager->ResultWindows().size() == 1; }));
    auto* result = dynamic_cast<CPollVoteDlg*>(manager->ResultWindows()[0].get());
    ASSERT_NE(result, nullptr);
    EXPECT_TRUE(result->isVisible());
    const QString word = QString::fromStdWString(CWenMsg::GetInstance().GetMsg(15015));
    EXPECT_EQ(TextOf(result->findChild<QWidget*>("1000")), "A:Yes  ( 0 " + word + ")");
    EXPECT_EQ(TextOf(result->findChild<QWidget*>("1001")), "B:No  ( 1 " + word + ")");
    EXPECT_TRUE(TextOf(result->findChild<QWidget*>("1002")).endsWith(" 1 " + word));
    QWidget* close = result->findChild<QWidget*>("4019");
    QTest::mouseClick(close, Qt::LeftButton, {}, close->rect().center());
    ASSERT_TRUE(WaitFor([&] { return !result->isVisible(); }));
    EXPECT_EQ(hostWindow.notices.size(), 1u);

    entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    EXPECT_TRUE(WaitFor([] { return RequestTask::Alive() == 0; }));
    AppConfig::Instance().CloseAll();
}
