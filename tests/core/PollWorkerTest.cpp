#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "CoreFakes.h"
#include "core/PollWorker.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "support/TestSupport.h"
#include "transport/TaskMailbox.h"

using namespace quibra;
using namespace quibra::test;

namespace {

std::atomic<int> g_liveTasks{0};

// A request task that, once `before` returns, posts its notice (and so itself) to the mailbox.
class ScriptedTask : public TaskThread {
public:
    ScriptedTask(std::shared_ptr<TaskMailbox> mailbox, std::wstring path,
                 std::function<void()> before = {})
        : m_mailbox(std::move(mailbox)), m_path(std::move(path)), m_before(std::move(before)) {
        ++g_liveTasks;
    }
    ~ScriptedTask() override {
        WaitForThread();
        --g_liveTasks;
    }
    void Run() override {
        if (m_before) m_before();
        auto mailbox = m_mailbox;  // nothing of this task is touched once the notice is out
        mailbox->Post(Notice(TaskDoneMessage, m_path, {}, this));
    }
    static std::unique_ptr<TaskNotice> Notice(int message, std::wstring path, CWenNode reply = {},
                                              ScriptedTask* task = nullptr) {
        return std::make_unique<TaskNotice>(TaskNotice{
            message, std::move(path),
            std::unique_ptr<TaskThread>(task != nullptr ? task : new ScriptedTask(nullptr, L"")),
            std::move(reply)});
    }

private:
    std::shared_ptr<TaskMailbox> m_mailbox;
    std::wstring m_path;
    std::function<void()> m_before;
};

class WorkerTest : public ::testing::Test {
protected:
    WorkerTest() {
        worker->SetJobs(std::unique_ptr<RecordingJobs>(jobs));
        worker->SetManager(&manager);
    }
    ~WorkerTest() override { g_liveTasks = 0; }
    void Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        worker->Dispatch(path, &node);
    }
    // The transport parameters make the worker's message window.
    std::shared_ptr<TaskMailbox> Mailbox() {
        Send(L"/polling/out/settransparams", "<p><tmpfolder>/tmp</tmpfolder></p>");
        return worker->Window().Mailbox();
    }

    RecordingHost manager;
    std::unique_ptr<PollWorker> worker = std::make_unique<PollWorker>();
    RecordingJobs* jobs = new RecordingJobs;  // owned by the worker
};

}  // namespace

TEST_F(WorkerTest, CommandPathsStartTheirJobs) {
    Send(L"/polling/out/creaenewpolling", "<Quibrant ActionType=\"CreatePolling\"/>");
    Send(L"/polling/out/deletepolling", "<Quibrant/>");
    Send(L"/polling/out/updatecontant", "<Quibrant ActionType=\"UpdateContant\"/>");
    Send(L"/polling/out/updatestats", "<Quibrant ActionType=\"UpdateStats\"/>");
    worker->Dispatch(L"/POLLING/OUT/GETALLPOLLING", nullptr);
    Send(L"/polling/out/getsinglepolling", "<ids><id>17</id></ids>");
    Send(L"/polling/out/clientgetpollresult", "<ids><id>18</id></ids>");
    Send(L"/polling/out/postpolling", "<Quibrant ActionType=\"SendPoll\"/>");
    EXPECT_EQ(Trace(jobs->calls),
              (std::vector<std::string>{
                  "create Quibrant[CreatePolling]=", "delete Quibrant=",
                  "update Quibrant[UpdateContant]=", "update Quibrant[UpdateStats]=", "results1",
                  "results2 ids{id=17;}", "results3 ids{id=18;}", "post Quibrant[SendPoll]="}));
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(WorkerTest, ChangesRefreshTheListAndFailedOnesAreToldToTheManager) {
    for (const wchar_t* ok : {L"/polling/out/createnewpollok", L"/polling/out/deletepollok",
                              L"/polling/out/updateok", L"/polling/out/updatestatsok"})
        worker->Dispatch(ok, nullptr);
    EXPECT_EQ(Trace(jobs->calls), std::vector<std::string>(4, "results1"));
    jobs->calls.clear();
    // The presenter hears of a job the server did not do, and the list is fetched again.
    for (const wchar_t* failed :
         {L"/polling/out/createnewpollerror", L"/POLLING/OUT/DELETEPOLLERROR",
          L"/polling/out/updateerror", L"/polling/out/updatestatserror"})
        worker->Dispatch(failed, nullptr);
    EXPECT_EQ(Trace(jobs->calls), std::vector<std::string>(4, "results1"));
    EXPECT_EQ(
        Trace(manager.calls),
        (std::vector<std::string>{"/polling/in/createnewpollerror", "/polling/in/deletepollerror",
                                  "/polling/in/updateerror", "/polling/in/updatestatserror"}));
    jobs->calls.clear();
    manager.calls.clear();
    for (const wchar_t* quiet :
         {L"/polling/out/clientgetresulterror", L"/polling/out/clientshowresulterror",
          L"/polling/out/updateokx", L"/polling/out/getallpolling/", L"polling/out/getallpolling",
          L"", L"/polling/in/updating"})
        worker->Dispatch(quiet, nullptr);
    worker->Dispatch(nullptr, nullptr);
    EXPECT_TRUE(jobs->calls.empty());
    EXPECT_TRUE(manager.calls.empty());
}

// The host hears of a ballot only once the server has it; a ballot that did not
// get there is told to the attendee (11216) and goes back to its dialog.
TEST_F(WorkerTest, ABallotTellsTheHostOnlyOnceTheServerHasIt) {
    RecordingHost host;
    worker->SetHostNotify(&host);
    std::vector<std::wstring> boxes;
    SetMessageBoxHookForTesting([&](const std::wstring& text, int) {
        boxes.push_back(text);
        return 1;
    });
    Send(L"/polling/out/postpollingok", "<Polling><ID>17</ID></Polling>");
    Send(L"/polling/out/postpollingerror", "<Polling><ID>18</ID></Polling>");
    SetMessageBoxHookForTesting({});
    EXPECT_EQ(Trace(host.calls),
              std::vector<std::string>{"/polling/notify/postpolling Polling{ID=17;}"});
    EXPECT_EQ(Trace(manager.calls),
              (std::vector<std::string>{"/polling/in/postpollingok Polling{ID=17;}",
                                        "/polling/in/postpollingerror Polling{ID=18;}"}));
    EXPECT_EQ(boxes, std::vector<std::wstring>{CWenMsg::GetInstance().GetMsg(11216)});
}

TEST_F(WorkerTest, RepliesReachTheManager) {
    Send(L"/polling/out/getresultok", "<R><Records/></R>");
    worker->Dispatch(L"/polling/out/getresulterror", nullptr);
    Send(L"/polling/out/clientgetresultok", "<R><Records/></R>");
    Send(L"/polling/out/clientshowresultok", "<R><Records/></R>");
    EXPECT_EQ(
        Trace(manager.calls),
        (std::vector<std::string>{"/polling/in/updating R{Records=;}", "/polling/in/updatingerror",
                                  "/polling/in/clientgetpollinfo R{Records=;}",
                                  "/polling/in/clientshowpollresult R{Records=;}"}));
    EXPECT_TRUE(jobs->calls.empty());
}

TEST_F(WorkerTest, TransportParametersAreReplacedAsAWhole) {
    Send(L"/polling/out/settransparams",
         "<p><userid>u1</userid><username>Ann</username><sessionid>s1</sessionid><modulename>m1"
         "</modulename><proxyuser>pu</proxyuser><proxypw>pp</proxypw><managerip>127.0.0.1:81"
         "</managerip><authorname>a7</authorname><tmpfolder>/tmp/q</tmpfolder><authtoken>t.k.1"
         "</authtoken></p>");
    const TransportParams& p = worker->Transport();
    const auto fields = [&] {
        return p.userId + L"|" + p.userName + L"|" + p.sessionId + L"|" + p.moduleName + L"|" +
               p.proxyUser + L"|" + p.proxyPassword + L"|" + p.managerIp + L"|" + p.authorName +
               L"|" + p.tempFolder + L"|" + p.authToken;
    };
    EXPECT_EQ(fields(), L"u1|Ann|s1|m1|pu|pp|127.0.0.1:81|a7|/tmp/q|t.k.1");
    EXPECT_TRUE(worker->Window().HasWindow());
    auto mailbox = worker->Window().Mailbox();

    Send(L"/polling/out/settransparams", "<p><userid>u2</userid></p>");
    EXPECT_EQ(fields(), L"u2|||||||||") << "a missing child clears its field";
    EXPECT_EQ(worker->Window().Mailbox(), mailbox) << "one message window on this thread";

    worker->Dispatch(L"/polling/out/setuserid", nullptr);
    EXPECT_EQ(p.userId, L"u2");
    worker->Dispatch(L"/polling/out/setuserid", const_cast<wchar_t*>(L"u3"));
    EXPECT_EQ(p.userId, L"u3");
    worker->SetManagerIp(L"h:1");
    worker->SetTempFolder(nullptr);
    EXPECT_EQ(p.managerIp, L"h:1");
    EXPECT_EQ(worker->GetUserId(), L"u3");
}

// Done and failed notices alike reach the worker on its thread.
TEST_F(WorkerTest, NoticesFromManyThreadsArriveInPostingOrderAndAreFreed) {
    auto mailbox = Mailbox();
    ASSERT_TRUE(mailbox);
    constexpr int kThreads = 4, kEach = 50;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([mailbox, t] {
            for (int i = 0; i < kEach; ++i) {
                auto doc = std::make_shared<CWenDoc>();
                CWenNode root = doc->Create(L"R");
                root.AddChild(L"Records");
                root.AddChild(L"seq").SetText(std::to_wstring(t) + L"-" + std::to_wstring(i));
                const int message = i % 2 ? TaskFailedMessage : TaskDoneMessage;
                EXPECT_TRUE(mailbox->Post(
                    ScriptedTask::Notice(message, L"/polling/out/getresultok", root)));
            }
        });
    }
    for (auto& p : posters) p.join();
    ASSERT_TRUE(WaitFor([&] { return manager.calls.size() == kThreads * kEach; }));
    std::map<int, int> next;
    for (const Call& call : manager.calls) {
        EXPECT_EQ(call.path, L"/polling/in/updating");
        const size_t at = call.xml.find("seq=");
        ASSERT_NE(at, std::string::npos);
        const int thread = std::stoi(call.xml.substr(at + 4));
        const int index = std::stoi(call.xml.substr(call.xml.find('-', at) + 1));
        EXPECT_EQ(index, next[thread]++) << "thread " << thread;
    }
    EXPECT_EQ(g_liveTasks.load(), 0) << "every task freed with its notice";
}

TEST_F(WorkerTest, UndeliveredNoticesAreFreedWithTheWorker) {
    auto mailbox = Mailbox();
    for (int i = 0; i < 10; ++i)
        mailbox->Post(ScriptedTask::Notice(TaskDoneMessage, L"/polling/out/getresultok"));
    EXPECT_EQ(g_liveTasks.load(), 10);
    worker.reset();  // no event was delivered
    EXPECT_EQ(g_liveTasks.load(), 0);
    EXPECT_FALSE(mailbox->IsOpen());
    EXPECT_FALSE(mailbox->Post(ScriptedTask::Notice(TaskDoneMessage, L"/polling/out/getresultok")));
    EXPECT_EQ(g_liveTasks.load(), 0) << "a notice to a closed window is freed at once";
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(WorkerTest, AWindowTornDownFromAnotherThreadDispatchesNothingMore) {
    auto mailbox = Mailbox();
    mailbox->Post(ScriptedTask::Notice(TaskDoneMessage, L"/polling/out/getresultok"));
    std::thread([&] { worker->Window().Destroy(); }).join();
    ASSERT_TRUE(WaitFor([] { return g_liveTasks == 0; }));
    EXPECT_TRUE(manager.calls.empty()) << "the queued notice is freed, not dispatched";
}

TEST_F(WorkerTest, TasksFinishingAfterTeardownFreeThemselves) {
    auto mailbox = Mailbox();
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE((new ScriptedTask(mailbox, L"/polling/out/getresultok", [open] {
                        open.wait();
                    }))->Start());
    mailbox.reset();
    worker.reset();
    gate.set_value();
    EXPECT_TRUE(WaitFor([] { return g_liveTasks == 0; }));
    EXPECT_TRUE(manager.calls.empty());
}
