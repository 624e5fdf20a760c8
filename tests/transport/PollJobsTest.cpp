#include <gtest/gtest.h>

#include <deque>
#include <regex>

#include "ScriptedServer.h"
#include "TransportTestSupport.h"
#include "config/AppConfig.h"
#include "quibra/CWenDoc.h"
#include "quibra/IPollNotify.h"
#include "support/TestSupport.h"
#include "transport/PollJobs.h"
#include "transport/RequestTask.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// The worker as the jobs see it: notices are collected instead of dispatched.
class FakeJobHost : public IJobHost, public IPollNotify {
public:
    FakeJobHost() {
        mailbox = std::make_shared<TaskMailbox>([this](std::unique_ptr<TaskNotice> notice) {
            std::lock_guard lock(m_mutex);
            m_notices.push_back(std::move(notice));
        });
    }
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
        notifications.push_back(std::wstring(path) + L" " + payload->GetName() + L":" + ids);
        return 0;
    }
    // The next notice, waiting for it; null if none comes.
    std::unique_ptr<TaskNotice> NextNotice() {
        std::unique_ptr<TaskNotice> notice;
        WaitFor([&] {
            std::lock_guard lock(m_mutex);
            if (m_notices.empty()) return false;
            notice = std::move(m_notices.front());
            m_notices.pop_front();
            return true;
        });
        return notice;
    }

    size_t Pending() {
        std::lock_guard lock(m_mutex);
        return m_notices.size();
    }

    TransportParams params;
    std::shared_ptr<TaskMailbox> mailbox;
    std::recursive_mutex lock;
    std::vector<int> shown;
    std::vector<std::wstring> notifications;

private:
    std::mutex m_mutex;
    std::deque<std::unique_ptr<TaskNotice>> m_notices;
};

// Plain HTTP through a user configuration that says so.
class PollJobsTest : public ::testing::Test {
protected:
    PollJobsTest() : env("XDG_CONFIG_HOME", config.Path().string()), jobs(host) {
        std::filesystem::create_directories(config / "wendrake");
        WriteFileBytes(config / "wendrake" / "wenconfig.xml",
                       "<Wendrake><WenConfig><SystemSetting><UseSSL "
                       "value=\"0\"/></SystemSetting></WenConfig></Wendrake>");
        AppConfig::Instance().CloseAll();
        AppConfig::Instance().Load();
        host.params.managerIp = L"127.0.0.1:" + std::to_wstring(server.Port());
        host.params.authorName = L"a7";
        host.params.moduleName = L"m1";
        host.params.userId = L"u1";
        host.params.userName = L"Ann Lee";
        host.params.tempFolder = temp.WPath();
        server.SetDefault(ScriptedReply::Status(200, "<ok/>"));
    }
    ~PollJobsTest() override { AppConfig::Instance().CloseAll(); }
    static CWenNode Command(CWenDoc& doc, const std::string& action, const std::string& fields) {
        return doc.LoadXml("<Quibrant ActionType=\"" + action + "\"><Polling>" + fields +
                           "</Polling></Quibrant>");
    }
    // The query of the server's n-th request (from 1), cache breaker checked and removed.
    std::string Query(size_t n) {
        WaitFor([&] { return server.Requests().size() >= n; });
        const auto requests = server.Requests();
        if (requests.size() < n) return "(no request)";
        std::smatch m;
        const std::string& line = requests[n - 1].requestLine;
        static const std::regex shape(R"(^GET (/[^? ]*)\?(.*)&?_rnd=-?\d+ HTTP/1\.1$)");
        if (!std::regex_match(line, m, shape)) return "(malformed) " + line;
        std::string query = m[2];
        if (!query.empty() && query.back() == '&') query.pop_back();
        return m[1].str() + "?" + query;
    }

    TempDir config;
    TempDir temp;
    ScopedEnv env;
    ScopedProxySettings direct;
    // Destroyed after the server has closed its connections: every task has ended by then.
    struct TaskDrain {
        ~TaskDrain() {
            WaitFor([] { return RequestTask::Alive() == 0; });
        }
    } drain;
    ScriptedServer server;
    FakeJobHost host;
    PollJobs jobs;
};

const std::string kPolling = "/wendrake-idm/v4/polling/polling.asp?";
const std::string kResults = "/wendrake-idm/v4/polling/get_polling.asp?";

}  // namespace

TEST_F(PollJobsTest, CreatePollingSendsTheAuthorsFieldsInOrder) {
    CWenDoc doc;
    jobs.CreatePolling(
        Command(doc, "CreatePolling",
                "<title>Q1</title><type>S</type><issign>0</issign><itemcount>2</itemcount>"
                "<content_0>yes</content_0><itemname_0>A</itemname_0>"
                "<content_1>no</content_1><itemname_1>B</itemname_1>"));
    EXPECT_EQ(Query(1),
              kPolling +
                  "job=CreatePolling&userid=a7&modulename=m1&title=Q1&type=S&status=N&issign=0"
                  "&ispublish=0&itemcount=2&content%5F0=yes&itemname%5F0=A&content%5F1=no&itemname%"
                  "5F1=B");
    auto notice = host.NextNotice();
    ASSERT_TRUE(notice);
    EXPECT_EQ(notice->message, TaskDoneMessage);
    EXPECT_EQ(notice->path, L"/polling/out/createnewpollok");
    EXPECT_TRUE(notice->reply.IsNull()) << "a text reply carries no document";
}

TEST_F(PollJobsTest, UpdateJobsFollowTheActionTypeNotThePath) {
    CWenDoc doc;
    jobs.UpdatePolling(
        Command(doc, "UpdateContant",
                "<pollid>17</pollid><title>T &amp; U</title><type>M</type><issign>1</issign>"
                "<itemcount>1</itemcount><content_0>x-y</content_0><itemname_0>A</itemname_0>"));
    EXPECT_EQ(Query(1), kPolling +
                            "job=UpdatePolling&pollid=17&title=T+%26+U&type=M&issign=1&ispublish=0"
                            "&itemcount=1&itemname%5F0=A&content%5F0=x%2Dy");
    EXPECT_EQ(host.NextNotice()->path, L"/polling/out/updateok");

    jobs.UpdatePolling(Command(doc, "Other", "<pollid>17</pollid>"));
    jobs.UpdatePolling(CWenNode());
    EXPECT_EQ(server.Requests().size(), 1u) << "an unknown action type sends nothing";

    server.Push(ScriptedReply::Status(500, "no"));
    jobs.UpdatePolling(Command(doc, "UpdateContant", "<pollid>9</pollid>"));
    auto failed = host.NextNotice();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->message, TaskFailedMessage);
    EXPECT_EQ(failed->path, L"/polling/out/updateerror");
}

TEST_F(PollJobsTest, StatusChangesNotifyTheHostAtOnce) {
    struct Case {
        std::string fields;
        std::wstring notification;
    };
    const Case cases[] = {
        {"<pollcount>2</pollcount><pollid_0>5</pollid_0><status_0>C</status_0><ispublish_0>1</"
         "ispublish_0>"
         "<pollid_1>6</pollid_1><status_1>C</status_1><ispublish_1>0</ispublish_1>",
         L"/polling/notify/publish Polling:5;6;"},
        {"<pollcount>2</pollcount><pollid_0>5</pollid_0><ispublish_0>0</ispublish_0>"
         "<pollid_1>6</pollid_1><status_1>C</status_1><ispublish_1>1</ispublish_1>",
         L"/polling/notify/close Polling:5;6;"},
        {"<pollcount>1</pollcount><pollid_0>7</pollid_0><status_0>O</status_0><ispublish_0>0</"
         "ispublish_0>",
         L"/polling/notify/open Polling:7;"},
        {"<pollcount>0</pollcount>", L"/polling/notify/publish Polling:"},
        {"<pollcount>1</pollcount><pollid_0>7</pollid_0><status_0>D</status_0><ispublish_0>0</"
         "ispublish_0>",
         L""},
    };
    for (const Case& c : cases) {
        host.notifications.clear();
        CWenDoc doc;
        jobs.UpdatePolling(Command(doc, "UpdateStats", c.fields));
        EXPECT_EQ(host.notifications.empty() ? L"" : host.notifications.front(), c.notification)
            << c.fields;
        EXPECT_EQ(host.NextNotice()->path, L"/polling/out/updatestatsok");
    }
    EXPECT_EQ(
        Query(5),
        kPolling + "job=UpdatePollingStatus&pollcount=1&pollid%5F0=7&status%5F0=D&ispublish%5F0=0");
}

TEST_F(PollJobsTest, MessagesWithoutFieldsStillSendAndBogusCountsStayBounded) {
    CWenDoc doc;
    jobs.DeletePolling(doc.LoadXml("<Quibrant ActionType=\"Delete\"/>"));
    EXPECT_EQ(Query(1), kPolling + "job=DeletePolling&pollcount=");
    host.NextNotice();

    jobs.DeletePolling(
        Command(doc, "Delete", "<pollcount>2000000000</pollcount><pollid_0>3</pollid_0>"));
    EXPECT_EQ(Query(2),
              kPolling + "job=DeletePolling&pollcount=2000000000&pollid%5F0=3&pollid%5F1=");
    EXPECT_EQ(host.NextNotice()->path, L"/polling/out/deletepollok");
}

TEST_F(PollJobsTest, VotesWaitForTheServerAndTellTheHost) {
    CWenDoc doc;
    const std::string vote =
        "<pollid>17</pollid><itemcount>2</itemcount><itemname_0>A</itemname_0><itemname_1>C</"
        "itemname_1>";
    EXPECT_TRUE(jobs.PostPolling(Command(doc, "SendPoll", vote)));
    EXPECT_EQ(Query(1), kPolling +
                            "job=PostPolling&pollid=17&userid=u1&username=Ann+Lee&itemcount=2"
                            "&itemname%5F0=A&itemname%5F1=C");
    EXPECT_EQ(host.notifications,
              std::vector<std::wstring>{L"/polling/notify/postpolling Polling:17;"});

    server.Push(ScriptedReply::Status(500));
    EXPECT_TRUE(jobs.PostPolling(Command(doc, "SendPoll", vote)))
        << "a refused vote still notifies";
    EXPECT_EQ(host.notifications.size(), 2u);

    host.notifications.clear();
    ScriptedReply stall;
    stall.stall = true;
    server.Push(stall);
    jobs.SetVoteWait(std::chrono::milliseconds(200));
    EXPECT_FALSE(jobs.PostPolling(Command(doc, "SendPoll", vote)));
    EXPECT_EQ(host.shown, std::vector<int>{11216});
    EXPECT_TRUE(host.notifications.empty());
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(PollJobsTest, ResultJobsDownloadDocumentsIntoFreshFiles) {
    server.SetDefault(ScriptedReply::Status(
        200, "<Wendrake><Records><Record PollingId=\"17\"/></Records></Wendrake>"));
    CWenDoc doc;
    EXPECT_TRUE(jobs.GetResults(
        2, doc.LoadXml("<ids>\n<id>17</id><!--x--><id>18</id>\n<id>20</id></ids>")));
    EXPECT_EQ(
        Query(1),
        kResults + "job=GetPollingInfo&pollcount=3&pollid%5F0=17&pollid%5F1=18&pollid%5F2=20");
    auto info = host.NextNotice();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->path, L"/polling/out/clientgetresultok");
    EXPECT_EQ(info->reply.GetChild(L"Records").GetChild(L"Record").GetAttribute(L"PollingId"),
              L"17");
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()))
        << "the downloaded reply is deleted once loaded";

    EXPECT_TRUE(jobs.GetResults(3, CWenNode()));
    EXPECT_EQ(Query(2), kResults + "job=GetPollingResult2&pollcount=0");
    EXPECT_EQ(host.NextNotice()->path, L"/polling/out/clientshowresultok");

    EXPECT_TRUE(jobs.GetResults(1, CWenNode()));
    EXPECT_EQ(Query(3), kResults + "job=GetPollingResult&modulename=m1&userid=a7");
    EXPECT_EQ(host.NextNotice()->path, L"/polling/out/getresultok");

    EXPECT_FALSE(jobs.GetResults(4, CWenNode()));
    EXPECT_NE(PollJobs::TempFileName(L"/t"), PollJobs::TempFileName(L"/t"));
    EXPECT_TRUE(std::regex_match(
        ToUtf8(PollJobs::TempFileName(L"/t")),
        std::regex(R"(/t/[0-9A-F]{8}_[0-9A-F]{4}_[0-9A-F]{4}_[0-9A-F]{4}_[0-9A-F]{12}\.xml)")));
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST_F(PollJobsTest, BadResultDownloadsAreReportedOrLeftAlone) {
    server.Push(ScriptedReply::Status(200, "not xml at all"));
    jobs.GetResults(1, CWenNode());
    ASSERT_TRUE(WaitFor([] { return RequestTask::Alive() == 0; }));
    EXPECT_EQ(host.Pending(), 0u) << "no report for a reply that is no document";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()), {}), 1)
        << "the file stays";

    host.params.tempFolder = (temp / "missing").wstring();
    const size_t before = server.Requests().size();
    jobs.GetResults(1, CWenNode());
    auto failed = host.NextNotice();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->path, L"/polling/out/getresulterror");
    EXPECT_EQ(failed->message, TaskFailedMessage);
    EXPECT_EQ(server.Requests().size(), before)
        << "nothing is sent without a folder to put the reply in";
}
