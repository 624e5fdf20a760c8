#include <gtest/gtest.h>

#include "CoreFakes.h"
#include "core/PollWorker.h"
#include "support/TestSupport.h"

using namespace quibra;
using namespace quibra::test;

namespace {

class WorkerTest : public ::testing::Test {
protected:
    WorkerTest() {
        worker.SetJobs(std::unique_ptr<RecordingJobs>(jobs));
        worker.SetManager(&manager);
    }
    void Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        worker.Dispatch(path, &node);
    }

    RecordingManager manager;
    PollWorker worker;
    RecordingJobs* jobs = new RecordingJobs;  // owned by the worker
};

}  // namespace

TEST_F(WorkerTest, CommandPathsStartTheirJobs) {
    Send(L"/polling/out/creaenewpolling", "<Quibrant ActionType=\"CreatePolling\"/>");
    Send(L"/polling/out/deletepolling", "<Quibrant/>");
    Send(L"/polling/out/updatecontant", "<Quibrant ActionType=\"UpdateContant\"/>");
    Send(L"/polling/out/updatestats", "<Quibrant ActionType=\"UpdateStats\"/>");
    worker.Dispatch(L"/POLLING/OUT/GETALLPOLLING", nullptr);
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

TEST_F(WorkerTest, SuccessfulChangesRefreshTheListOnceAndFailuresDoNothing) {
    for (const wchar_t* ok : {L"/polling/out/createnewpollok", L"/polling/out/deletepollok",
                              L"/polling/out/updateok", L"/polling/out/updatestatsok"})
        worker.Dispatch(ok, nullptr);
    EXPECT_EQ(Trace(jobs->calls), std::vector<std::string>(4, "results1"));
    jobs->calls.clear();
    for (const wchar_t* quiet :
         {L"/polling/out/createnewpollerror", L"/polling/out/deletepollerror",
          L"/polling/out/updateerror", L"/polling/out/updatestatserror",
          L"/polling/out/clientgetresulterror", L"/polling/out/clientshowresulterror",
          L"/polling/out/updateokx", L"/polling/out/getallpolling/", L"polling/out/getallpolling",
          L"", L"/polling/in/updating"})
        worker.Dispatch(quiet, nullptr);
    worker.Dispatch(nullptr, nullptr);
    EXPECT_TRUE(jobs->calls.empty());
    EXPECT_TRUE(manager.calls.empty());
}

TEST_F(WorkerTest, RepliesReachTheManager) {
    Send(L"/polling/out/getresultok", "<R><Records/></R>");
    worker.Dispatch(L"/polling/out/getresulterror", nullptr);
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
         "</managerip><authorname>a7</authorname><tmpfolder>/tmp/q</tmpfolder></p>");
    const TransportParams& p = worker.Transport();
    const auto fields = [&] {
        return p.userId + L"|" + p.userName + L"|" + p.sessionId + L"|" + p.moduleName + L"|" +
               p.proxyUser + L"|" + p.proxyPassword + L"|" + p.managerIp + L"|" + p.authorName +
               L"|" + p.tempFolder;
    };
    EXPECT_EQ(fields(), L"u1|Ann|s1|m1|pu|pp|127.0.0.1:81|a7|/tmp/q");
    EXPECT_TRUE(worker.Window().HasWindow());
    auto mailbox = worker.Window().Mailbox();

    Send(L"/polling/out/settransparams", "<p><userid>u2</userid></p>");
    EXPECT_EQ(fields(), L"u2||||||||") << "a missing child clears its field";
    EXPECT_EQ(worker.Window().Mailbox(), mailbox) << "one message window on this thread";

    worker.Dispatch(L"/polling/out/setuserid", nullptr);
    EXPECT_EQ(p.userId, L"u2");
    worker.Dispatch(L"/polling/out/setuserid", const_cast<wchar_t*>(L"u3"));
    EXPECT_EQ(p.userId, L"u3");
    worker.SetManagerIp(L"h:1");
    worker.SetTempFolder(nullptr);
    EXPECT_EQ(p.managerIp, L"h:1");
    EXPECT_EQ(worker.GetUserId(), L"u3");
}
