#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <map>
#include <thread>

#include "CoreFakes.h"
#include "core/PollWorker.h"
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
        auto notice = std::make_unique<TaskNotice>();
        notice->message = message;
        notice->path = std::move(path);
        notice->reply = std::move(reply);
        notice->task.reset(task != nullptr ? task : new ScriptedTask(nullptr, L""));
        return notice;
    }

private:
    std::shared_ptr<TaskMailbox> m_mailbox;
    std::wstring m_path;
    std::function<void()> m_before;
};

class MessageWindowTest : public ::testing::Test {
protected:
    MessageWindowTest() {
        worker->SetManager(&manager);
        CWenDoc doc;
        CWenNode params = doc.LoadXml("<p><tmpfolder>/tmp</tmpfolder></p>");
        worker->Dispatch(L"/polling/out/settransparams", &params);
        mailbox = worker->Window().Mailbox();
    }
    ~MessageWindowTest() override { g_liveTasks = 0; }

    RecordingManager manager;
    std::unique_ptr<PollWorker> worker = std::make_unique<PollWorker>();
    std::shared_ptr<TaskMailbox> mailbox;
};

}  // namespace

// Done and failed notices alike reach the worker on its thread.
TEST_F(MessageWindowTest, NoticesFromManyThreadsArriveInPostingOrderAndAreFreed) {
    ASSERT_TRUE(mailbox);
    constexpr int kThreads = 4, kEach = 50;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([this, t] {
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

TEST_F(MessageWindowTest, UndeliveredNoticesAreFreedWithTheWorker) {
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

TEST_F(MessageWindowTest, AWindowTornDownFromAnotherThreadDispatchesNothingMore) {
    mailbox->Post(ScriptedTask::Notice(TaskDoneMessage, L"/polling/out/getresultok"));
    std::thread([&] { worker->Window().Destroy(); }).join();
    ASSERT_TRUE(WaitFor([] { return g_liveTasks == 0; }));
    EXPECT_TRUE(manager.calls.empty()) << "the queued notice is freed, not dispatched";
}

TEST_F(MessageWindowTest, TasksFinishingAfterTeardownFreeThemselves) {
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
