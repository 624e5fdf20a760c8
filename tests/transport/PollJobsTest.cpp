#include <deque>

#include "config/AppConfig.h"
#include "quibra/CWenDoc.h"
#include "quibra/IPollNotify.h"
#include "transport/PollJobs.h"
#include "transport/RequestTask.h"
#include "transport/TransportTestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// The worker as the jobs see it: notices and notifications are collected, not dispatched.
class FakeJobHost : public IJobHost, public IPollNotify {
public:
    ~FakeJobHost() { mailbox->Close(); }
    const TransportParams& Params() const override { return params; }
    std::shared_ptr<TaskMailbox> Mailbox() const override { return mailbox; }
    IPollNotify* HostNotify() const override { return const_cast<FakeJobHost*>(this); }
    std::recursive_mutex& WorkerLock() override { return lock; }
    void ShowMessage(int id) override { shown.push_back(id); }
    int32_t Notify(const wchar_t* path, const CWenNode* payload) override {
        std::wstring ids;
        CWenNodeList list = payload->GetChildNodes(L"ID");
        for (CWenNode id = list.Next(); !id.IsNull(); id = list.Next()) ids += id.GetText() + L";";
        notified += std::wstring(path) + L" " + payload->GetName() + L":" + ids + L"\n";
        return 0;
    }
    // The next notice as "<message> <path> <root of its document, or ->"; empty if none comes.
    // The notice is freed here, and its task with it, on this thread as the worker's window
    // frees it.
    std::wstring NextNotice() {
        std::unique_ptr<TaskNotice> n;
        WaitFor([&] {
            std::lock_guard guard(m_mutex);
            if (!m_notices.empty()) n = std::move(m_notices.front()), m_notices.pop_front();
            return n != nullptr;
        });
        return !n ? L""
                  : std::to_wstring(n->message) + L" " + n->path + L" " +
                        (n->reply.IsNull() ? L"-" : n->reply.GetName());
    }

    TransportParams params;
    std::recursive_mutex lock;
    std::vector<int> shown;
    std::wstring notified;  // one line per notification
    std::mutex m_mutex;
    std::deque<std::unique_ptr<TaskNotice>> m_notices;
    std::shared_ptr<TaskMailbox> mailbox = std::make_shared<TaskMailbox>([this](auto notice) {
        std::lock_guard guard(m_mutex);
        m_notices.push_back(std::move(notice));
    });
};

// Plain HTTP through a user configuration that says so.
class PollJobsTest : public ::testing::Test {
protected:
    PollJobsTest() {
        std::filesystem::create_directories(user.ConfigRoot() / "wendrake");
        WriteFileBytes(user.ConfigRoot() / "wendrake" / "wenconfig.xml",
                       "<Wendrake><WenConfig><SystemSetting><UseSSL value=\"0\"/></SystemSetting>"
                       "</WenConfig></Wendrake>");
        AppConfig::Instance().CloseAll();
        AppConfig::Instance().Load();
        TransportParams& p = host.params;
        p.userId = L"u1", p.authorName = L"a7", p.userName = L"Ann Lee", p.moduleName = L"m1";
        p.managerIp = L"127.0.0.1:" + std::to_wstring(server.Port());
        p.tempFolder = temp.WPath();
        server.SetDefault(ScriptedReply::Status(200, "<ok/>"));
    }
    ~PollJobsTest() override { AppConfig::Instance().CloseAll(); }
    // A command message; without fields it has no "Polling" element.
    CWenNode Command(const std::string& action, const std::string& fields) {
        const std::string root = "<Quibrant ActionType=\"" + action + "\"";
        return doc.LoadXml(fields.empty() ? root + "/>"
                                          : root + "><Polling>" + fields + "</Polling></Quibrant>");
    }
    // The server's n-th request line (from 1), without "GET ", cache breaker and HTTP version.
    std::string Request(size_t n) {
        const std::string line = WithoutTick(server.Requests().at(n - 1).line);
        const bool shaped = line.starts_with("GET ") && line.ends_with("&_rnd= HTTP/1.1");
        return shaped ? line.substr(4, line.size() - 19) : "(bad) " + line;
    }

    ScopedUser user;
    TempDir temp;
    ScopedProxySettings direct;
    // Destroyed after the server has closed its connections: every task has ended by then.
    struct TaskDrain {
        ~TaskDrain() {
            WaitFor([] { return RequestTask::Alive() == 0; });
        }
    } drain;
    ScriptedServer server;
    FakeJobHost host;
    PollJobs jobs{host};
    CWenDoc doc;
};

const std::string kPolling = "/wendrake-idm/v4/polling/polling.asp?";
const std::string kResults = "/wendrake-idm/v4/polling/get_polling.asp?";

}  // namespace

TEST_F(PollJobsTest, EachJobSendsItsFieldsInOrderAndReportsItsOutcome) {
    jobs.UpdatePolling(Command("Other", "<pollid>17</pollid>"));  // unknown: nothing is sent
    jobs.UpdatePolling(CWenNode());
    server.Push(ScriptedReply::Status(500, "no"));  // refuses the first job
    const std::string stats = "<pollcount>1</pollcount><pollid_0>7</pollid_0><status_0>";
    const std::wstring ok = L"1124 /polling/out/", failed = L"1125 /polling/out/";
    const struct {
        std::string action, fields, request;
        std::wstring notice, notification = L"";
    } cases[] = {
        {"UpdateContant", "<pollid>9</pollid>",
         kPolling + "job=UpdatePolling&pollid=9&title=&type=&issign=&ispublish=0&itemcount=",
         failed + L"updateerror -"},
        {"CreatePolling",
         "<title>Q1</title><type>S</type><issign>0</issign><itemcount>2</itemcount><content_0>yes"
         "</content_0><itemname_0>A</itemname_0><content_1>no</content_1><itemname_1>B</"
         "itemname_1>",
         kPolling + "job=CreatePolling&userid=a7&modulename=m1&title=Q1&type=S&status=N&issign=0"
                    "&ispublish=0&itemcount=2&content%5F0=yes&itemname%5F0=A&content%5F1=no"
                    "&itemname%5F1=B",
         ok + L"createnewpollok -"},
        // The message's own action type decides, not the path it came on.
        {"UpdateContant",
         "<pollid>17</pollid><title>T &amp; U</title><type>M</type><issign>1</issign><itemcount>1"
         "</itemcount><content_0>x-y</content_0><itemname_0>A</itemname_0>",
         kPolling + "job=UpdatePolling&pollid=17&title=T+%26+U&type=M&issign=1&ispublish=0"
                    "&itemcount=1&itemname%5F0=A&content%5F0=x%2Dy",
         ok + L"updateok -"},
        // A message without fields still goes out; a bogus count stays within the message.
        {"Delete", "", kPolling + "job=DeletePolling&pollcount=", ok + L"deletepollok -"},
        {"Delete", "<pollcount>2000000000</pollcount><pollid_0>3</pollid_0>",
         kPolling + "job=DeletePolling&pollcount=2000000000&pollid%5F0=3&pollid%5F1=",
         ok + L"deletepollok -"},
        // Status changes tell the host at once, by the first poll's publish flag and status.
        {"UpdateStats",
         "<pollcount>2</pollcount><pollid_0>5</pollid_0><status_0>C</status_0><ispublish_0>1"
         "</ispublish_0><pollid_1>6</pollid_1><status_1>C</status_1><ispublish_1>0</ispublish_1>",
         kPolling + "job=UpdatePollingStatus&pollcount=2&pollid%5F0=5&status%5F0=C&ispublish%5F0=1"
                    "&pollid%5F1=6&status%5F1=C&ispublish%5F1=0",
         ok + L"updatestatsok -", L"/polling/notify/publish Polling:5;6;"},
        {"UpdateStats",
         "<pollcount>2</pollcount><pollid_0>5</pollid_0><ispublish_0>0</ispublish_0><pollid_1>6"
         "</pollid_1><status_1>C</status_1><ispublish_1>1</ispublish_1>",
         "", ok + L"updatestatsok -", L"/polling/notify/close Polling:5;6;"},
        {"UpdateStats", stats + "O</status_0><ispublish_0>0</ispublish_0>", "",
         ok + L"updatestatsok -", L"/polling/notify/open Polling:7;"},
        {"UpdateStats", stats + "D</status_0><ispublish_0>0</ispublish_0>",
         kPolling + "job=UpdatePollingStatus&pollcount=1&pollid%5F0=7&status%5F0=D&ispublish%5F0=0",
         ok + L"updatestatsok -"},
        {"UpdateStats", "<pollcount>0</pollcount>",
         kPolling + "job=UpdatePollingStatus&pollcount=0", ok + L"updatestatsok -",
         L"/polling/notify/publish Polling:"},
        // Results are downloaded and loaded (a text reply carries no document).
        {"Results2", "\n<id>17</id><!--x--><id>18</id>\n<id>20</id>",
         kResults + "job=GetPollingInfo&pollcount=3&pollid%5F0=17&pollid%5F1=18&pollid%5F2=20",
         ok + L"clientgetresultok ok"},
        {"Results3", "", kResults + "job=GetPollingResult2&pollcount=0",
         ok + L"clientshowresultok ok"},
        {"Results1", "", kResults + "job=GetPollingResult&modulename=m1&userid=a7",
         ok + L"getresultok ok"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(c.action + " " + c.fields);
        host.notified.clear();
        const CWenNode command = Command(c.action, c.fields);
        if (c.action == "CreatePolling") jobs.CreatePolling(command);
        if (c.action == "Delete") jobs.DeletePolling(command);
        if (c.action.starts_with("Update")) jobs.UpdatePolling(command);
        const CWenNode ids = command.GetChild(L"Polling");
        EXPECT_TRUE(!c.action.starts_with("Results") || jobs.GetResults(c.action[7] - '0', ids));
        EXPECT_EQ(host.notified, c.notification.empty() ? L"" : c.notification + L"\n");
        EXPECT_EQ(host.NextNotice(), c.notice);
        EXPECT_EQ(c.request.empty() ? "" : Request(i + 1), c.request);
    }
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "replies are deleted once loaded";

    // A reply that is no document is not reported, and its file stays.
    server.Push(ScriptedReply::Status(200, "not xml at all"));
    jobs.GetResults(1, CWenNode());
    ASSERT_TRUE(WaitFor([] { return RequestTask::Alive() == 0; }));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 1);
    // Nothing is sent without a folder to put the reply in; nor for an unknown mode.
    host.params.tempFolder = (temp / "missing").wstring();
    jobs.GetResults(1, CWenNode());
    EXPECT_EQ(host.NextNotice(), L"1125 /polling/out/getresulterror -");
    EXPECT_FALSE(jobs.GetResults(4, CWenNode()));
    EXPECT_EQ(server.Requests().size(), std::size(cases) + 1);
    EXPECT_NE(PollJobs::TempFileName(L"/t"), PollJobs::TempFileName(L"/t"));

    // A ballot counts as sent only on 200: refused twice in ways that may pass (503, a
    // connection closed unanswered), it goes again and is counted once.
    const CWenNode vote = Command("SendPoll",
                                  "<pollid>17</pollid><itemcount>2</itemcount><itemname_0>A"
                                  "</itemname_0><itemname_1>C</itemname_1>");
    const std::string ballot = kPolling +
                               "job=PostPolling&pollid=17&userid=u1&username=Ann+Lee&itemcount=2"
                               "&itemname%5F0=A&itemname%5F1=C";
    const size_t before = server.Requests().size();
    server.Push(ScriptedReply::Status(503));
    server.Push({"", true});
    EXPECT_TRUE(jobs.PostPolling(vote));
    EXPECT_EQ(host.NextNotice(), L"1124 /polling/out/postpollingok Polling");
    ASSERT_EQ(server.Requests().size(), before + 3);
    for (size_t n = before + 1; n <= before + 3; ++n) EXPECT_EQ(Request(n), ballot);
    // A refusal that will not pass is final at once; so is a creation, which is never resent.
    server.Push(ScriptedReply::Status(500));
    EXPECT_TRUE(jobs.PostPolling(vote));
    EXPECT_EQ(host.NextNotice(), L"1125 /polling/out/postpollingerror Polling");
    server.Push(ScriptedReply::Status(503));
    jobs.CreatePolling(Command("CreatePolling", "<title>Q</title>"));
    EXPECT_EQ(host.NextNotice(), L"1125 /polling/out/createnewpollerror -");
    server.Push(ScriptedReply::Status(502));
    jobs.DeletePolling(Command("Delete", "<pollcount>0</pollcount>"));
    EXPECT_EQ(host.NextNotice(), L"1124 /polling/out/deletepollok -");
    EXPECT_EQ(server.Requests().size(), before + 7);
    // A dead server fails the ballot once the vote's time is spent, the job's own
    // time-outs cut to it. The jobs tell the host of no ballot: the worker does, on 200.
    jobs.SetVoteWait(std::chrono::milliseconds(600));
    host.params.managerIp = L"127.0.0.1:" + std::to_wstring(DeadPort());
    EXPECT_TRUE(jobs.PostPolling(vote));
    EXPECT_EQ(host.NextNotice(), L"1125 /polling/out/postpollingerror Polling");
    EXPECT_TRUE(host.notified.empty() && host.shown.empty());
}

// The host's token goes in the Authorization header of every job and result
// fetch, never in the query; a renewed token is used from the next request on.
TEST_F(PollJobsTest, EveryRequestCarriesTheCurrentTokenInItsHeaderOnly) {
    const std::string fields = "<pollcount>1</pollcount><pollid_0>7</pollid_0>";
    const auto run = [&](int job) {
        const CWenNode command = Command(job == 0 ? "CreatePolling" : "Delete", fields);
        if (job == 0) jobs.CreatePolling(command);
        if (job == 1) jobs.DeletePolling(command);
        if (job == 2) jobs.UpdatePolling(Command("UpdateStats", fields));
        if (job == 3) jobs.PostPolling(Command("SendPoll", "<pollid>7</pollid>"));
        if (job >= 4) jobs.GetResults(job - 3, command.GetChild(L"Polling"));
        host.NextNotice();  // every job, the ballot too, ends in a notice
    };
    std::string expected;
    for (const auto* token : {L"tok.one", L"tok.two", L""}) {
        host.params.authToken = token;
        for (int job = 0; job < 7; ++job) {
            run(job);
            expected += (*token ? "Bearer " + ToUtf8(token) : std::string("-")) + "\n";
        }
    }
    std::string sent;
    for (const auto& request : server.Requests()) {
        sent += request.Headers({"authorization"}) + "\n";
        EXPECT_EQ(request.line.find("tok"), std::string::npos) << request.line;
    }
    EXPECT_EQ(sent, expected);
}
