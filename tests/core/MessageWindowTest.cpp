#include <gtest/gtest.h>

#include <future>
#include <map>
#include <thread>

#include "CoreFakes.h"
#include "core/PollWorker.h"
#include "support/TestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

class MessageWindowTest : public ::testing::Test {
protected:
    MessageWindowTest() : worker(std::make_unique<PollWorker>()) {
        auto recording = std::make_unique<RecordingJobs>();
        jobs = recording.get();
        worker->SetJobs(std::move(recording));
        worker->SetManager(&manager);
        CWenDoc doc;
        CWenNode params = doc.LoadXml("<p><tmpfolder>/tmp</tmpfolder></p>");
        worker->Dispatch(L"/polling/out/settransparams", &params);
    }
    ~MessageWindowTest() override { ScriptedTask::live = 0; }

    static std::unique_ptr<TaskNotice> Notice(int message, std::wstring path, CWenNode reply = {}) {
        auto notice = std::make_unique<TaskNotice>();
        notice->message = message;
        notice->path = std::move(path);
        notice->reply = std::move(reply);
        notice->task = std::make_unique<ScriptedTask>(nullptr, L"", message, CWenNode());
        return notice;
    }

    RecordingManager manager;
    std::unique_ptr<PollWorker> worker;
    RecordingJobs* jobs = nullptr;
};

}  // namespace

TEST_F(MessageWindowTest, NoticesFromManyThreadsArriveInPostingOrderAndAreFreed) {
    auto mailbox = worker->Window().Mailbox();
    ASSERT_TRUE(mailbox);
    constexpr int kThreads = 4;
    constexpr int kEach = 50;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([mailbox, t] {
            for (int i = 0; i < kEach; ++i) {
                auto doc = std::make_shared<CWenDoc>();
                CWenNode root = doc->Create(L"R");
                root.AddChild(L"Records");
                root.AddChild(L"seq").SetText(std::to_wstring(t) + L"-" + std::to_wstring(i));
                EXPECT_TRUE(
                    mailbox->Post(Notice(TaskDoneMessage, L"/polling/out/getresultok", root)));
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
    EXPECT_EQ(ScriptedTask::live.load(), 0) << "every task freed with its notice";
}

TEST_F(MessageWindowTest, TaskOutcomesRouteThroughTheWorker) {
    auto mailbox = worker->Window().Mailbox();
    (new ScriptedTask(mailbox, L"/polling/out/getresulterror", TaskFailedMessage, CWenNode()))
        ->Start();
    (new ScriptedTask(mailbox, L"/polling/out/updateerror", TaskFailedMessage, CWenNode()))
        ->Start();
    (new ScriptedTask(mailbox, L"/polling/out/updatestatsok", TaskDoneMessage, CWenNode()))
        ->Start();
    ASSERT_TRUE(WaitFor([&] { return ScriptedTask::live == 0; }));
    EXPECT_EQ(Trace(manager.calls), std::vector<std::string>{"/polling/in/updatingerror"});
    EXPECT_EQ(Trace(jobs->calls), std::vector<std::string>{"results1"});
}

TEST_F(MessageWindowTest, UndeliveredNoticesAreFreedWithTheWorker) {
    auto mailbox = worker->Window().Mailbox();
    for (int i = 0; i < 10; ++i)
        mailbox->Post(Notice(TaskDoneMessage, L"/polling/out/getresultok"));
    EXPECT_EQ(ScriptedTask::live.load(), 10);
    worker.reset();  // no event was delivered
    EXPECT_EQ(ScriptedTask::live.load(), 0);
    EXPECT_FALSE(mailbox->IsOpen());
    EXPECT_FALSE(mailbox->Post(Notice(TaskDoneMessage, L"/polling/out/getresultok")));
    EXPECT_EQ(ScriptedTask::live.load(), 0) << "a notice to a closed window is freed at once";
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(MessageWindowTest, AWindowTornDownFromAnotherThreadDispatchesNothingMore) {
    auto mailbox = worker->Window().Mailbox();
    mailbox->Post(Notice(TaskDoneMessage, L"/polling/out/getresultok"));
    std::thread([&] { worker->Window().Destroy(); }).join();
    ASSERT_TRUE(WaitFor([] { return ScriptedTask::live == 0; }));
    EXPECT_TRUE(manager.calls.empty()) << "the queued notice is freed, not dispatched";
}

TEST_F(MessageWindowTest, TasksFinishingAfterTeardownFreeThemselves) {
    std::promise<void> gate;
    std::shared_future<void> open = gate.get_future().share();
    auto mailbox = worker->Window().Mailbox();
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE((new ScriptedTask(mailbox, L"/polling/out/getresultok", TaskDoneMessage,
                                      CWenNode(), [open] { open.wait(); }))
                        ->Start());
    mailbox.reset();
    worker.reset();
    gate.set_value();
    EXPECT_TRUE(WaitFor([] { return ScriptedTask::live == 0; }));
    EXPECT_TRUE(manager.calls.empty());
}
