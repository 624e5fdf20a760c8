#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QLineEdit>
#include <algorithm>

#include "CoreFakes.h"
#include "core/PollManager.h"
#include "quibra/WindowMessageRecord.h"
#include "support/TestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

class ManagerTest : public ::testing::Test {
protected:
    ManagerTest() : factory(std::make_shared<RecordingWindowFactory>()), manager(factory) {
        manager.SetWorker(&worker);
    }
    int32_t Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        return manager.Notify(path, &node);
    }

    RecordingWorker worker;
    std::shared_ptr<RecordingWindowFactory> factory;
    PollManager manager;
};

const char* kInit =
    "<init><skinfolder>/opt/skins/blue</skinfolder><mainhwnd>12345</mainhwnd><skincfg/>"
    "<userid>u1</userid><managerip>127.0.0.1:8080</managerip></init>";

const char* kTwoPolls =
    "<R><Records><Record PollingId=\"7\" Type=\"S\" IsSign=\"1\" Title=\"Lunch?\">"
    "<Items><Item ItemName=\"A\" Content=\"Yes\" PostCount=\"2\"><User UserName=\"ann\"/><User "
    "UserName=\"bo\"/></Item>"
    "<Item ItemName=\"B\" Content=\"No\" PostCount=\"0\"><User "
    "UserName=\"ghost\"/></Item></Items></Record>"
    "<Record PollingId=\"8\" Type=\"M\" IsSign=\"0\" Title=\"Day?\" "
    "UserCount=\"5\"><Items/></Record>"
    "</Records></R>";

}  // namespace

TEST_F(ManagerTest, RoutesHostPathsToTheWorkerWithoutRegardToCase) {
    EXPECT_EQ(manager.Notify(L"/POLLING/IN/GETALLPOLLING", nullptr), 0);
    EXPECT_EQ(Send(L"/polling/in/authholdpolling", "<ids><id>17</id></ids>"), 0);
    EXPECT_EQ(Send(L"/polling/in/clientgetpollresult", "<ids><id>18</id></ids>"), 0);
    EXPECT_EQ(Send(L"/polling/in/settransparams", "<p><userid>x</userid></p>"), 0);
    manager.Notify(L"/polling/in/putuserid", const_cast<wchar_t*>(L"attendee-9"));
    manager.Notify(L"/polling/in/putuserid", nullptr);
    EXPECT_EQ(manager.Notify(L"/polling/in/unknown", nullptr), 0);
    EXPECT_EQ(manager.Notify(L"/polling/in/getallpollingx", nullptr), 0);
    EXPECT_EQ(manager.Notify(L"/polling/in/getallpolling ", nullptr), 0);
    EXPECT_EQ(manager.Notify(nullptr, nullptr), 0);

    EXPECT_EQ(
        Trace(worker.calls),
        (std::vector<std::string>{
            "/polling/out/getallpolling", "/polling/out/getsinglepolling ids{id=17;}",
            "/polling/out/clientgetpollresult ids{id=18;}",
            "/polling/out/settransparams p{userid=x;}", "/polling/out/setuserid attendee-9"}));
}

TEST_F(ManagerTest, InitTakesSkinFolderWindowAndTransportParameters) {
    EXPECT_EQ(Send(L"/polling/in/init", kInit), 0);
    EXPECT_EQ(manager.ImageFolder(), L"/opt/skins/blue/image");
    EXPECT_EQ(manager.HostWindow(), nullptr) << "12345 names no live widget";
    EXPECT_EQ(factory->skinReads, 1);
    ASSERT_EQ(worker.calls.size(), 1u);
    EXPECT_EQ(worker.calls[0].path, L"/polling/out/settransparams");
    EXPECT_NE(worker.calls[0].xml.find("managerip=127.0.0.1:8080"), std::string::npos);
    ASSERT_NE(manager.ManagerWindow(), nullptr);

    // A live widget named by its address is found; garbage and stale values are not.
    auto host = std::make_unique<QWidget>();
    const std::string address = std::to_string(reinterpret_cast<uintptr_t>(host.get()));
    FakeManagerWindow* first = factory->lastManagerWindow;
    Send(L"/polling/in/init", "<init><mainhwnd>" + address + "</mainhwnd></init>");
    EXPECT_EQ(manager.HostWindow(), host.get());
    EXPECT_EQ(factory->lastHostWindow, host.get());
    EXPECT_NE(factory->lastManagerWindow, first);
    EXPECT_EQ(factory->log,
              (std::vector<std::string>{"manager window created", "manager window created",
                                        "manager window destroyed"}))
        << "a second init destroys the older window";
    Send(L"/polling/in/init", "<init><mainhwnd>00" + address + "</mainhwnd></init>");
    EXPECT_EQ(manager.HostWindow(), host.get()) << "leading zeros name the same window";
    for (const std::string garbage :
         {"-1", "", "0x1234", "99999999999999999999999", "12a", "18446744073709551615"}) {
        Send(L"/polling/in/init", "<init><mainhwnd>" + garbage + "</mainhwnd></init>");
        EXPECT_EQ(manager.HostWindow(), nullptr) << garbage;
    }
    Send(L"/polling/in/init", "<init><mainhwnd>" + address + "</mainhwnd></init>");
    host.reset();
    EXPECT_EQ(manager.HostWindow(), nullptr) << "a destroyed host window is forgotten";
}

TEST_F(ManagerTest, InitWithoutPayloadOnlyCreatesTheWindow) {
    EXPECT_EQ(manager.Notify(L"/polling/in/init", nullptr), 0);
    EXPECT_TRUE(worker.calls.empty());
    EXPECT_EQ(factory->skinReads, 0);
    EXPECT_NE(manager.ManagerWindow(), nullptr);

    factory->failManagerWindow = true;
    EXPECT_EQ(manager.Notify(L"/polling/in/init", nullptr), 1);
    EXPECT_EQ(manager.ManagerWindow(), nullptr);
}

TEST_F(ManagerTest, ShowManagerAsksForTheListAndAnswersWhetherThereIsAWindow) {
    EXPECT_EQ(manager.Notify(L"/polling/in/showmanager", nullptr), 1) << "before init";
    EXPECT_EQ(Trace(worker.calls), std::vector<std::string>{"/polling/out/getallpolling"});
    manager.Notify(L"/polling/in/init", nullptr);
    EXPECT_EQ(manager.Notify(L"/Polling/In/ShowManager", nullptr), 0);
    EXPECT_EQ(factory->lastManagerWindow->shown, 1);
}

TEST_F(ManagerTest, ListRepliesRebuildThePollListAndEndAPendingRefresh) {
    manager.Notify(L"/polling/in/init", nullptr);
    manager.SetRefreshSpacing(std::chrono::milliseconds(0));  // the spacing has its own test
    PollList& list = factory->lastManagerWindow->list;

    Send(L"/polling/in/updating", kTwoPolls);
    ASSERT_EQ(list.Records().size(), 2u);
    EXPECT_EQ(list.Records()[0].title, L"Lunch?");
    EXPECT_FALSE(manager.RefreshPending())
        << "updating without a pending refresh leaves the lock alone";

    Send(L"/polling/in/clientnotifypolling", "<x/>");
    EXPECT_TRUE(manager.RefreshPending());
    EXPECT_EQ(Trace(worker.calls).back(), "/polling/out/getallpolling");

    Send(L"/polling/in/updating", "<R><Records/></R>");
    EXPECT_FALSE(manager.RefreshPending());
    EXPECT_TRUE(list.Records().empty());

    // A failed refresh ends the pending state as well; otherwise it changes nothing.
    Send(L"/polling/in/updating", kTwoPolls);
    manager.Notify(L"/polling/in/clientnotifypolling", nullptr);
    manager.Notify(L"/polling/in/updatingerror", nullptr);
    EXPECT_FALSE(manager.RefreshPending());
    EXPECT_EQ(list.Records().size(), 2u);
}

TEST_F(ManagerTest, ABurstOfBallotNoticesCostsOneRefreshInFlightAndOneQueued) {
    manager.Notify(L"/polling/in/init", nullptr);
    manager.SetRefreshSpacing(std::chrono::milliseconds(0));
    PollList& list = factory->lastManagerWindow->list;
    auto refreshes = [&] {
        return std::count_if(worker.calls.begin(), worker.calls.end(),
                             [](const Call& c) { return c.path == L"/polling/out/getallpolling"; });
    };
    const auto before = refreshes();
    // Each step: the message, then refreshes started so far, pending, queued.
    struct Step {
        const wchar_t* path;
        const char* reply;
        long refreshes;
        bool pending;
        bool queued;
    };
    const std::vector<Step> steps = {
        {L"/polling/in/clientnotifypolling", "<x/>", 1, true, false},
        {L"/polling/in/clientnotifypolling", "<x/>", 1, true, true},
        {L"/polling/in/clientnotifypolling", "<x/>", 1, true, true},
        // The first list comes: the queued refresh starts, the burst goes on.
        {L"/polling/in/updating", "<R><Records/></R>", 2, true, false},
        {L"/polling/in/clientnotifypolling", "<x/>", 2, true, true},
        // A failed refresh with notices behind it starts the one due.
        {L"/polling/in/updatingerror", nullptr, 3, true, false},
        {L"/polling/in/updating", kTwoPolls, 3, false, false},
        {L"/polling/in/clientnotifypolling", "<x/>", 4, true, false},
        {L"/polling/in/updatingerror", nullptr, 4, false, false},
    };
    for (std::size_t i = 0; i < steps.size(); ++i) {
        const auto& step = steps[i];
        if (step.reply)
            Send(step.path, step.reply);
        else
            manager.Notify(step.path, nullptr);
        EXPECT_EQ(refreshes() - before, step.refreshes) << "step " << i;
        EXPECT_EQ(manager.RefreshPending(), step.pending) << "step " << i;
        EXPECT_EQ(manager.RefreshQueued(), step.queued) << "step " << i;
    }
    // The list last received is the one shown, as without coalescing.
    ASSERT_EQ(list.Records().size(), 2u);
    EXPECT_EQ(list.Records()[1].pollId, L"8");

    // With a spacing, a refresh waits until that long after the one before.
    manager.SetRefreshSpacing(std::chrono::milliseconds(100));
    Send(L"/polling/in/clientnotifypolling", "<x/>");
    EXPECT_EQ(refreshes() - before, 4) << "started within the spacing";
    EXPECT_TRUE(manager.RefreshPending());
    ASSERT_TRUE(WaitFor([&] { return refreshes() - before == 5; }));
    Send(L"/polling/in/clientnotifypolling", "<x/>");
    Send(L"/polling/in/updating", kTwoPolls);
    EXPECT_EQ(refreshes() - before, 5);
    ASSERT_TRUE(WaitFor([&] { return refreshes() - before == 6; }));
    Send(L"/polling/in/updating", kTwoPolls);
    EXPECT_FALSE(manager.RefreshPending());
    // Once the burst is over, no refresh starts by itself.
    EXPECT_FALSE(WaitFor([&] { return refreshes() - before > 6; }, std::chrono::milliseconds(300)));
}

TEST_F(ManagerTest, AnswerWindowsOpenOncePerPollAndCloseOnStop) {
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    ASSERT_EQ(manager.AnswerWindows().size(), 2u);
    ASSERT_EQ(factory->voteWindows.size(), 2u);
    const FakeVoteWindow& first = *factory->voteWindows[0];
    EXPECT_EQ(first.mode, VoteMode::Voting);
    EXPECT_EQ(first.record.pollId, L"7");
    EXPECT_TRUE(first.record.singleChoice);
    EXPECT_TRUE(first.record.identified);
    ASSERT_EQ(first.record.items.size(), 2u);
    EXPECT_EQ(first.record.items[1].content, L"No");
    EXPECT_FALSE(factory->voteWindows[1]->record.identified);

    Send(L"/polling/in/clientshowpollresult", kTwoPolls);
    Send(L"/polling/in/clientshowpollresult", kTwoPolls);
    ASSERT_EQ(manager.ResultWindows().size(), 4u) << "one result window per record, every time";
    const FakeVoteWindow& result = *factory->voteWindows[2];
    EXPECT_EQ(result.mode, VoteMode::Result);
    EXPECT_EQ(result.record.items[0].postCount, 2);
    EXPECT_EQ(result.record.items[0].voterNames, (std::vector<std::wstring>{L"ann", L"bo"}));
    EXPECT_TRUE(result.record.items[1].voterNames.empty());
    EXPECT_EQ(result.record.voterCount, -1) << "0 + a missing UserCount";
    EXPECT_EQ(factory->voteWindows[3]->record.voterCount, 5);

    Send(L"/polling/in/stoppolling", "<ids><id>99</id></ids>");
    EXPECT_EQ(manager.AnswerWindows().size(), 2u);
    Send(L"/polling/in/stoppolling", "<ids>\n <id>8</id> <!-- c --> <id>7 </id></ids>");
    ASSERT_EQ(manager.AnswerWindows().size(), 1u) << "ids match exactly: \"7 \" is not 7";
    EXPECT_EQ(manager.AnswerWindows()[0]->Record().pollId, L"7");
    EXPECT_EQ(manager.ResultWindows().size(), 4u);
    EXPECT_NE(std::find(factory->log.begin(), factory->log.end(), "vote window destroyed 8"),
              factory->log.end());

    // A window that calls back into the manager while it is hidden finds itself gone already.
    factory->voteWindows[0]->onHide = [&] {
        Send(L"/polling/in/stoppolling", "<ids><id>7</id></ids>");
    };
    Send(L"/polling/in/stoppolling", "<ids><id>7</id></ids>");
    EXPECT_TRUE(manager.AnswerWindows().empty());
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    ASSERT_EQ(manager.AnswerWindows().size(), 2u);

    // Null payloads open nothing and close nothing.
    manager.Notify(L"/polling/in/clientgetpollinfo", nullptr);
    manager.Notify(L"/polling/in/stoppolling", nullptr);
    EXPECT_EQ(manager.AnswerWindows().size(), 2u);
}

TEST_F(ManagerTest, KeyEventsReachOnlyLiveVisibleWidgets) {
    QLineEdit edit;
    edit.show();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    WindowMessageRecord record{&edit, &key};
    manager.Notify(L"/polling/in/trnaswinmsg", &record);
    EXPECT_EQ(edit.text(), QStringLiteral("a"));

    edit.hide();
    manager.Notify(L"/polling/in/trnaswinmsg", &record);
    EXPECT_EQ(edit.text(), QStringLiteral("a")) << "hidden windows get nothing";

    WindowMessageRecord garbage{reinterpret_cast<QWidget*>(uintptr_t{0x10}), &key};
    manager.Notify(L"/polling/in/trnaswinmsg", &garbage);
    WindowMessageRecord noWindow{nullptr, &key};
    manager.Notify(L"/polling/in/trnaswinmsg", &noWindow);
    manager.Notify(L"/polling/in/trnaswinmsg", nullptr);
}

TEST_F(ManagerTest, CommandsHandTheirMessagesToTheWorker) {
    PollRecord record;
    record.pollId = L"17";
    record.title = L"Q1";
    record.singleChoice = true;
    record.items = {{L"", L"A", L"yes", 0, {}}, {L"", L"B", L"no", 0, {}}};
    record.requestedStatus = PollStatus::Open;
    EXPECT_TRUE(manager.CmdCreatePolling(record));
    EXPECT_TRUE(manager.CmdUpdateContant(record));
    EXPECT_TRUE(manager.CmdUpdateStats({&record}));
    EXPECT_TRUE(manager.CmdDelete({&record}));
    EXPECT_TRUE(manager.CmdSendPoll(L"17", {L"B"}));
    EXPECT_EQ(
        Trace(worker.calls),
        (std::vector<std::string>{
            "/polling/out/creaenewpolling Quibrant[CreatePolling]{Polling{title=Q1;type=S;issign=0;"
            "itemcount=2;content_0=yes;itemname_0=A;content_1=no;itemname_1=B;};}",
            "/polling/out/updatecontant Quibrant[UpdateContant]{Polling{pollid=17;title=Q1;type=S;"
            "issign=0;itemcount=2;content_0=yes;itemname_0=A;content_1=no;itemname_1=B;};}",
            "/polling/out/updatestats "
            "Quibrant[UpdateStats]{Polling{pollcount=1;pollid_0=17;status_0=O;ispublish_0=0;};}",
            "/polling/out/deletepolling Quibrant[Delete]{Polling{pollcount=1;pollid_0=17;};}",
            "/polling/out/postpolling "
            "Quibrant[SendPoll]{Polling{pollid=17;itemcount=1;itemname_0=B;};}"}));
}
