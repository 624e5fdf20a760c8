#include <gtest/gtest.h>

#include "core/CoreFakes.h"
#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/WindowFactoryRegistry.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "transport/RequestTask.h"
#include "transport/TransportTestSupport.h"
#include "xml/WideString.h"

using namespace quibra;
using namespace quibra::test;

namespace {

// A host with one presenter and one attendee in the same plug-in, against a
// PollServer on loopback.
class PollingRoad : public ::testing::Test {
protected:
    PollingRoad() : env("XDG_CONFIG_HOME", (work / "config").string()) {
        factory = std::make_shared<RecordingWindowFactory>();
        WindowFactoryRegistry::Set(factory);
        std::filesystem::create_directories(work / "config" / "wendrake");
        std::filesystem::create_directories(work / "tmp");
    }
    ~PollingRoad() override {
        if (notify != nullptr) entry.FreeAllPollingObject();
        WindowFactoryRegistry::Set(nullptr);
        WaitFor([] { return RequestTask::Alive() == 0; });
    }

    // Creates the plug-in and sends init with the transport parameters.
    void Start(const std::string& managerIp) {
        notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
        manager = PluginObjects::CurrentManager();
        CWenDoc doc;
        CWenNode init = doc.LoadXml(
            "<init><skinfolder>/skins/default</skinfolder><mainhwnd>-1</mainhwnd><userid>u1</"
            "userid>"
            "<username>Ann "
            "\xE6\x9D\x8E</username><sessionid>s</sessionid><modulename>m1</modulename>"
            "<managerip>" +
            managerIp + "</managerip><authorname>a7</authorname><tmpfolder>" +
            (work / "tmp").string() + "</tmpfolder></init>");
        ASSERT_EQ(notify->Notify(L"/polling/in/init", &init), 0);
        list = &factory->lastManagerWindow->list;
    }

    int32_t Send(const wchar_t* path, const std::string& xml) {
        CWenDoc doc;
        CWenNode node = doc.LoadXml(xml);
        return notify->Notify(path, &node);
    }

    // Waits for the list to show the first poll satisfying `check`.
    bool WaitForFirst(const std::function<bool(const PollRecord&)>& check) {
        return WaitFor([&] { return !list->Records().empty() && check(list->Records().front()); });
    }

    TempDir work;
    ScopedEnv env;
    ScopedProxySettings direct;
    std::shared_ptr<RecordingWindowFactory> factory;
    RecordingHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = nullptr;
    PollManager* manager = nullptr;
    PollList* list = nullptr;
};

}  // namespace

TEST_F(PollingRoad, APollGoesFromCreationToPublishedResultsAndAway) {
    PollServerProcess server;
    ASSERT_TRUE(server.Start(work / "polls.db")) << server.Error();
    // Without a configuration the road runs over HTTPS, to the server's self-signed certificate.
    Start(server.HttpsAddress());

    PollRecord draft;
    draft.title = L"Lunch? \U0001F355 & <b>\u5348\u996D</b>";
    draft.singleChoice = true;
    draft.identified = true;
    draft.items = {{L"", L"A", L"Yes \u2714", 0, {}}, {L"", L"B", L"No", 0, {}}};
    manager->CmdCreatePolling(draft);
    ASSERT_TRUE(WaitForFirst([](const PollRecord& r) { return r.status == PollStatus::New; }));
    const PollRecord created = list->Records().front();
    EXPECT_EQ(created.title, draft.title);
    EXPECT_TRUE(created.singleChoice);
    EXPECT_TRUE(created.identified);
    ASSERT_EQ(created.items.size(), 2u);
    EXPECT_EQ(created.items[0].content, L"Yes \u2714");
    EXPECT_EQ(created.publishState, PublishState::NotPublished);
    const std::wstring id = created.pollId;
    const std::string ids = "<ids><id>" + ToUtf8(id) + "</id></ids>";

    // Post: the host hears of it at once, the list shows it open after the refresh.
    PollRecord& toOpen = list->Records().front();
    toOpen.requestedStatus = PollStatus::Open;
    manager->CmdUpdateStats({&toOpen});
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.back().path, L"/polling/notify/open");
    EXPECT_EQ(host.calls.back().xml, "Polling{ID=" + ToUtf8(id) + ";}");
    ASSERT_TRUE(WaitForFirst([](const PollRecord& r) { return r.status == PollStatus::Open; }));

    // The attendee's side: poll details open one answer window; a vote goes in.
    Send(L"/polling/in/authholdpolling", ids);
    ASSERT_TRUE(WaitFor([&] { return manager->AnswerWindows().size() == 1; }));
    EXPECT_EQ(manager->AnswerWindows()[0]->Record().title, draft.title);
    EXPECT_TRUE(manager->CmdSendPoll(id, {L"A"}));
    // The host hears of the ballot once the server has it.
    EXPECT_TRUE(WaitFor([&] { return host.calls.back().path == L"/polling/notify/postpolling"; }));

    // Stop, with the presenter's console waiting for the refreshed list.
    Send(L"/polling/in/clientnotifypolling", "<x/>");
    EXPECT_TRUE(manager->RefreshPending());
    PollRecord& toClose = list->Records().front();
    toClose.requestedStatus = PollStatus::Closed;
    manager->CmdUpdateStats({&toClose});
    EXPECT_EQ(host.calls.back().path, L"/polling/notify/close");
    Send(L"/polling/in/stoppolling", ids);
    EXPECT_TRUE(manager->AnswerWindows().empty());
    ASSERT_TRUE(WaitForFirst([](const PollRecord& r) { return r.status == PollStatus::Closed; }));
    EXPECT_TRUE(WaitFor([&] { return !manager->RefreshPending(); }));
    EXPECT_EQ(list->Records().front().voterCount, 1);
    EXPECT_EQ(list->Records().front().items[0].voterNames,
              std::vector<std::wstring>{L"Ann \u674E"});

    // Publish, then the attendee fetches the results.
    PollRecord& toPublish = list->Records().front();
    toPublish.requestedPublishState = PublishState::Published;
    toPublish.requestedStatus = toPublish.status;
    manager->CmdUpdateStats({&toPublish});
    EXPECT_EQ(host.calls.back().path, L"/polling/notify/publish");
    ASSERT_TRUE(WaitForFirst(
        [](const PollRecord& r) { return r.publishState == PublishState::Published; }));
    Send(L"/polling/in/clientgetpollresult", ids);
    ASSERT_TRUE(WaitFor([&] { return manager->ResultWindows().size() == 1; }));
    const PollRecord& result = manager->ResultWindows()[0]->Record();
    EXPECT_EQ(result.voterCount, 1);
    EXPECT_EQ(result.items[0].postCount, 1);
    EXPECT_EQ(result.items[1].postCount, 0);

    // Delete: the list empties.
    manager->CmdDelete({&list->Records().front()});
    EXPECT_TRUE(WaitFor([&] { return list->Records().empty(); }));
    std::vector<std::wstring> paths;
    for (const Call& call : host.calls) paths.push_back(call.path);
    EXPECT_EQ(paths,
              (std::vector<std::wstring>{L"/polling/notify/open", L"/polling/notify/postpolling",
                                         L"/polling/notify/close", L"/polling/notify/publish"}));
    EXPECT_TRUE(std::filesystem::is_empty(work / "tmp"))
        << "downloaded replies are deleted once read";

    // A stopped server: failures come back quietly and a pending refresh still ends.
    server.Stop();
    Send(L"/polling/in/clientnotifypolling", "<x/>");
    EXPECT_TRUE(WaitFor([&] { return !manager->RefreshPending(); }));
    manager->CmdCreatePolling(draft);
    Send(L"/polling/in/authholdpolling", ids);
    EXPECT_TRUE(WaitFor([] { return RequestTask::Alive() == 0; }));
    EXPECT_TRUE(list->Records().empty());
}

TEST_F(PollingRoad, TearingDownWithRequestsInFlightFreesEverything) {
    ScriptedServer stalling;
    ScriptedReply stall;
    stall.stall = true;
    stalling.SetDefault(stall);
    Start("127.0.0.1:" + std::to_string(stalling.Port()));
    for (int i = 0; i < 20; ++i) notify->Notify(L"/polling/in/getallpolling", nullptr);
    ASSERT_TRUE(WaitFor([&] { return stalling.Connections() == 20; }));
    EXPECT_EQ(RequestTask::Alive(), 20);
    entry.FreeAllPollingObject();
    notify = nullptr;
    // The requests end only now; their outcomes find the window gone and are freed.
}
