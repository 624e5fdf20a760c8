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
    ManagerTest() { manager.SetWorker(&worker); }
    // Notifies `path` with `xml` as the payload; with none for "".
    int32_t Send(const wchar_t* path, const std::string& xml = "") {
        CWenDoc doc;
        CWenNode node = xml.empty() ? CWenNode() : doc.LoadXml(xml);
        return manager.Notify(path, xml.empty() ? nullptr : &node);
    }
    long Refreshes() const {
        return std::count_if(worker.calls.begin(), worker.calls.end(),
                             [](const Call& c) { return c.path == L"/polling/out/getallpolling"; });
    }

    RecordingWorker worker;
    std::shared_ptr<RecordingWindowFactory> factory = std::make_shared<RecordingWindowFactory>();
    PollManager manager{factory};
};

const char* kTwoPolls =
    "<R><Records><Record PollingId=\"7\" Type=\"S\" IsSign=\"1\" Title=\"Lunch?\"><Items>"
    "<Item ItemName=\"A\" Content=\"Yes\" PostCount=\"2\"><User UserName=\"ann\"/>"
    "<User UserName=\"bo\"/></Item></Items></Record>"
    "<Record PollingId=\"8\" Type=\"M\" IsSign=\"0\" "
    "Title=\"Day?\"><Items/></Record></Records></R>";

}  // namespace

TEST_F(ManagerTest, RoutesHostPathsToTheWorkerWithoutRegardToCase) {
    for (const wchar_t* path :
         {L"/POLLING/IN/GETALLPOLLING", L"/polling/in/unknown", L"/polling/in/getallpollingx",
          L"/polling/in/getallpolling ", static_cast<const wchar_t*>(nullptr)})
        EXPECT_EQ(manager.Notify(path, nullptr), 0);
    EXPECT_EQ(Send(L"/polling/in/authholdpolling", "<ids><id>17</id></ids>"), 0);
    EXPECT_EQ(Send(L"/polling/in/clientgetpollresult", "<ids><id>18</id></ids>"), 0);
    EXPECT_EQ(Send(L"/polling/in/settransparams", "<p><userid>x</userid></p>"), 0);
    manager.Notify(L"/polling/in/putuserid", const_cast<wchar_t*>(L"attendee-9"));
    manager.Notify(L"/polling/in/putuserid", nullptr);
    EXPECT_EQ(
        Trace(worker.calls),
        (std::vector<std::string>{
            "/polling/out/getallpolling", "/polling/out/getsinglepolling ids{id=17;}",
            "/polling/out/clientgetpollresult ids{id=18;}",
            "/polling/out/settransparams p{userid=x;}", "/polling/out/setuserid attendee-9"}));
}

TEST_F(ManagerTest, InitTakesSkinFolderWindowAndTransportParameters) {
    EXPECT_EQ(Send(L"/polling/in/init",
                   "<init><skinfolder>/opt/skins/blue</skinfolder><mainhwnd>12345</mainhwnd>"
                   "<skincfg/><managerip>127.0.0.1:8080</managerip></init>"),
              0);
    EXPECT_EQ(manager.ImageFolder(), L"/opt/skins/blue/image");
    EXPECT_EQ(manager.HostWindow(), nullptr) << "12345 names no live widget";
    EXPECT_EQ(factory->skinReads, 1);
    EXPECT_EQ(Trace(worker.calls),
              std::vector<std::string>{"/polling/out/settransparams "
                                       "init{skinfolder=/opt/skins/blue;mainhwnd=12345;skincfg=;"
                                       "managerip=127.0.0.1:8080;}"});

    // A live widget named by its address is found; garbage and stale values are not.
    auto host = std::make_unique<QWidget>();
    const std::string address = std::to_string(reinterpret_cast<uintptr_t>(host.get()));
    Send(L"/polling/in/init", "<init><mainhwnd>" + address + "</mainhwnd></init>");
    EXPECT_EQ(manager.HostWindow(), host.get());
    EXPECT_EQ(factory->lastHostWindow, host.get());
    EXPECT_EQ(factory->log,
              (std::vector<std::string>{"manager window created", "manager window created",
                                        "manager window destroyed"}))
        << "a second init replaces the older window";
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

TEST_F(ManagerTest, InitWithoutPayloadOnlyCreatesTheWindowThatShowManagerShows) {
    EXPECT_EQ(manager.Notify(L"/polling/in/showmanager", nullptr), 1) << "before init";
    EXPECT_EQ(manager.Notify(L"/polling/in/init", nullptr), 0);
    EXPECT_EQ(factory->skinReads, 0);
    EXPECT_EQ(manager.Notify(L"/Polling/In/ShowManager", nullptr), 0);
    EXPECT_EQ(factory->lastManagerWindow->shown, 1);
    EXPECT_EQ(Trace(worker.calls), std::vector<std::string>(2, "/polling/out/getallpolling"));

    factory->failManagerWindow = true;
    EXPECT_EQ(manager.Notify(L"/polling/in/init", nullptr), 1);
    EXPECT_EQ(manager.ManagerWindow(), nullptr);
}

TEST_F(ManagerTest, ABurstOfBallotNoticesCostsOneRefreshInFlightAndOneQueued) {
    manager.Notify(L"/polling/in/init", nullptr);
    manager.SetRefreshSpacing(std::chrono::milliseconds(0));
    PollList& list = factory->lastManagerWindow->list;
    // Refreshes started so far, then P when one is pending, Q when one is queued, then polls
    // listed.
    const auto state = [&] {
        return std::to_string(Refreshes()) + (manager.RefreshPending() ? " P" : " -") +
               (manager.RefreshQueued() ? "Q " : "- ") + std::to_string(list.Records().size());
    };
    const wchar_t* const kNotice = L"/polling/in/clientnotifypolling";
    const wchar_t* const kList = L"/polling/in/updating";
    const wchar_t* const kError = L"/polling/in/updatingerror";
    const struct {
        const wchar_t* path;
        const char *reply, *state;
    } steps[] = {
        {kList, kTwoPolls, "0 -- 2"},  // without a pending refresh: no lock to end
        {kNotice, "<x/>", "1 P- 2"},
        {kNotice, "", "1 PQ 2"},
        {kNotice, "<x/>", "1 PQ 2"},
        // The first list comes: the queued refresh starts, the burst goes on.
        {kList, "<R><Records/></R>", "2 P- 0"},
        {kNotice, "<x/>", "2 PQ 0"},
        // A failed refresh with notices behind it starts the one due.
        {kError, "", "3 P- 0"},
        {kList, kTwoPolls, "3 -- 2"},
        {kNotice, "<x/>", "4 P- 2"},
        {kError, "", "4 -- 2"},  // it ends the pending state and changes nothing
    };
    for (const auto& step : steps) {
        Send(step.path, step.reply);
        EXPECT_EQ(state(), step.state) << &step - steps;
    }
    // The list last received is the one shown, as without coalescing.
    EXPECT_EQ(list.Records()[1].pollId, L"8");

    // With a spacing, a refresh waits until that long after the one before.
    manager.SetRefreshSpacing(std::chrono::milliseconds(100));
    Send(kNotice, "<x/>");
    EXPECT_EQ(state(), "4 PQ 2") << "started within the spacing";
    ASSERT_TRUE(WaitFor([&] { return Refreshes() == 5; }));
    Send(kNotice, "<x/>");
    Send(kList, kTwoPolls);
    EXPECT_EQ(Refreshes(), 5);
    ASSERT_TRUE(WaitFor([&] { return Refreshes() == 6; }));
    Send(kList, kTwoPolls);
    EXPECT_FALSE(manager.RefreshPending());
    // Once the burst is over, no refresh starts by itself.
    EXPECT_FALSE(WaitFor([&] { return Refreshes() > 6; }, std::chrono::milliseconds(300)));
}

TEST_F(ManagerTest, AnswerWindowsOpenOncePerPollAndCloseOnStop) {
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    ASSERT_EQ(manager.AnswerWindows().size(), 2u);
    EXPECT_EQ(factory->voteWindows[0]->mode, VoteMode::Voting);
    EXPECT_EQ(factory->voteWindows[0]->record.pollId, L"7");
    Send(L"/polling/in/clientshowpollresult", kTwoPolls);
    Send(L"/polling/in/clientshowpollresult", kTwoPolls);
    ASSERT_EQ(manager.ResultWindows().size(), 4u) << "one result window per record, every time";
    const FakeVoteWindow& result = *factory->voteWindows[2];
    EXPECT_EQ(result.mode, VoteMode::Result);
    EXPECT_EQ(result.record.items[0].voterNames, (std::vector<std::wstring>{L"ann", L"bo"}));
    EXPECT_EQ(result.record.voterCount, -1) << "read as a result, not as a ballot";

    Send(L"/polling/in/stoppolling", "<ids><id>99</id></ids>");
    EXPECT_EQ(manager.AnswerWindows().size(), 2u);
    Send(L"/polling/in/stoppolling", "<ids>\n <id>8</id> <!-- c --> <id>7 </id></ids>");
    ASSERT_EQ(manager.AnswerWindows().size(), 1u) << "ids match exactly: \"7 \" is not 7";
    EXPECT_EQ(manager.AnswerWindows()[0]->Record().pollId, L"7");
    EXPECT_EQ(manager.ResultWindows().size(), 4u);
    EXPECT_EQ(std::count(factory->log.begin(), factory->log.end(), "vote window destroyed 8"), 1);

    // A window that calls back into the manager while it is hidden finds itself gone already.
    factory->voteWindows[0]->onHide = [&] {
        Send(L"/polling/in/stoppolling", "<ids><id>7</id></ids>");
    };
    Send(L"/polling/in/stoppolling", "<ids><id>7</id></ids>");
    EXPECT_TRUE(manager.AnswerWindows().empty());
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
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
    // Neither garbage nor nothing is dereferenced.
    for (WindowMessageRecord bad : {WindowMessageRecord{reinterpret_cast<QWidget*>(0x10), &key},
                                    WindowMessageRecord{nullptr, &key}, WindowMessageRecord{}})
        manager.Notify(L"/polling/in/trnaswinmsg", &bad);
    manager.Notify(L"/polling/in/trnaswinmsg", nullptr);
}

// The messages' fields have their own tests; here, each command's path and type.
TEST_F(ManagerTest, CommandsHandTheirMessagesToTheWorker) {
    PollRecord record;
    record.pollId = L"17";
    record.requestedStatus = PollStatus::Open;
    EXPECT_TRUE(manager.CmdCreatePolling(record));
    EXPECT_TRUE(manager.CmdUpdateContant(record));
    EXPECT_TRUE(manager.CmdUpdateStats({&record}));
    EXPECT_TRUE(manager.CmdDelete({&record}));
    EXPECT_TRUE(manager.CmdSendPoll(L"17", {L"B"}));
    EXPECT_EQ(
        Trace(worker.calls),
        (std::vector<std::string>{
            "/polling/out/creaenewpolling Quibrant[CreatePolling]{Polling{title=;type=M;issign=0;"
            "itemcount=0;};}",
            "/polling/out/updatecontant Quibrant[UpdateContant]{Polling{pollid=17;title=;type=M;"
            "issign=0;itemcount=0;};}",
            "/polling/out/updatestats "
            "Quibrant[UpdateStats]{Polling{pollcount=1;pollid_0=17;status_0=O;ispublish_0=0;};}",
            "/polling/out/deletepolling Quibrant[Delete]{Polling{pollcount=1;pollid_0=17;};}",
            "/polling/out/postpolling "
            "Quibrant[SendPoll]{Polling{pollid=17;itemcount=1;itemname_0=B;};}"}));
}

// Outcomes from the worker: a ballot's reaches its dialog, a failed job the console,
// which a list that cannot be fetched leaves usable while it is fetched again.
TEST_F(ManagerTest, FailuresReachTheirWindowsAndAFailedListIsFetchedAgainWhileShown) {
    Send(L"/polling/in/clientgetpollinfo", kTwoPolls);
    Send(L"/polling/in/postpollingerror", "<Polling><ID>8</ID></Polling>");
    Send(L"/polling/in/postpollingok", "<Polling><ID>7</ID></Polling>");
    Send(L"/polling/in/postpollingok", "<Polling><ID>99</ID></Polling>");
    EXPECT_EQ(factory->voteWindows[0]->ballots + "|" + factory->voteWindows[1]->ballots,
              "sent |failed ");

    manager.Notify(L"/polling/in/init", nullptr);
    FakeManagerWindow& console = *factory->lastManagerWindow;
    for (const wchar_t* path : {L"/polling/in/createnewpollerror", L"/polling/in/deletepollerror",
                                L"/polling/in/updateerror", L"/polling/in/updatestatserror"})
        manager.Notify(path, nullptr);
    EXPECT_EQ(console.failed, (std::vector<int>{0, 1, 2, 3}));

    // Hidden: unlocked, not fetched again.
    manager.SetListRetryPauses(std::chrono::milliseconds(20), std::chrono::milliseconds(40));
    manager.Notify(L"/polling/in/updatingerror", nullptr);
    EXPECT_EQ(console.listFailures, 1);
    EXPECT_FALSE(manager.ListRetryDue());
    // Shown: one fetch at a time, each after a failure, until one succeeds.
    console.Show();
    worker.calls.clear();
    for (int failure = 1; failure <= 3; ++failure) {
        manager.Notify(L"/polling/in/updatingerror", nullptr);
        manager.Notify(L"/polling/in/updatingerror",
                       nullptr);  // a second, meanwhile: no second fetch
        ASSERT_TRUE(WaitFor([&] { return Refreshes() == failure; }));
        EXPECT_FALSE(manager.ListRetryDue());
    }
    Send(L"/polling/in/updating", kTwoPolls);
    EXPECT_EQ(console.list.Records().size(), 2u);
    EXPECT_FALSE(WaitFor([&] { return Refreshes() > 3; }, std::chrono::milliseconds(200)));
}
