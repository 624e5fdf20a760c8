// The presenter's plug-in under a burst: N attendees' ballots within about
// five seconds, each relayed to the presenter as "/polling/in/clientnotifypolling"
// once acknowledged, as the host relays "/polling/notify/postpolling". Reports
// the list downloads the burst cost, the voter entries (and estimated bytes)
// they carried, the longest stall of the UI thread, and whether the final list
// shows every ballot.
//
//   bench_burst [attendees] [seconds]      (default 2000 5)

#include <curl/curl.h>

#include <QApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "config/AppConfig.h"
#include "core/IPollWindowFactory.h"
#include "core/PluginObjects.h"
#include "core/PollManager.h"
#include "core/WindowFactoryRegistry.h"
#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"
#include "quibra/CWenDoc.h"

using namespace quibra;
using Clock = std::chrono::steady_clock;

namespace {

// A console that counts its rebuilt lists and the voters each one carried.
class CountingWindow : public IManagerWindow, public IPollListView {
public:
    CountingWindow() : m_list(this) {}
    bool Show() override { return true; }
    PollList& List() override { return m_list; }
    std::optional<std::wstring> ClearPresentation() override { return std::nullopt; }
    void FillPresentation(std::vector<PollRecord>& records, const std::wstring&) override {
        ++fills;
        for (const auto& record : records) {
            lastVoters = record.voterCount;
            voterEntries += record.voterCount;
        }
    }
    int fills = 0;
    long voterEntries = 0;
    int lastVoters = 0;

private:
    PollList m_list;
};

class BenchFactory : public IPollWindowFactory {
public:
    void ApplySkinSettings(const CWenNode&) override {}
    std::unique_ptr<IManagerWindow> CreateManagerWindow(PollManager&, QWidget*) override {
        auto window = std::make_unique<CountingWindow>();
        last = window.get();
        return window;
    }
    std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager&, const PollRecord&,
                                                  VoteMode) override {
        return nullptr;
    }
    CountingWindow* last = nullptr;
};

class SilentHost : public IPollNotify {
public:
    int32_t Notify(const wchar_t*, const CWenNode*) override { return 0; }
};

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    QTimer guard;
    guard.start(50);
    while (!done()) {
        if (Clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

size_t Collect(char* data, size_t size, size_t count, void* body) {
    static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

// One exchange as the plug-in makes it: a fresh connection. The body, or "" on failure.
std::string Get(const std::string& url) {
    CURL* curl = curl_easy_init();
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    long status = 0;
    const bool ok = curl_easy_perform(curl) == CURLE_OK &&
                    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                    status == 200;
    curl_easy_cleanup(curl);
    return ok ? body : std::string();
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int attendees = argc > 1 ? std::max(1, std::atoi(argv[1])) : 2000;
    const double seconds = argc > 2 ? std::max(0.1, std::atof(argv[2])) : 5.0;
    QApplication app(argc, argv);

    const auto work =
        std::filesystem::temp_directory_path() / ("quibra-burst-" + std::to_string(getpid()));
    std::filesystem::create_directories(work / "config" / "wendrake");
    std::filesystem::create_directories(work / "tmp");
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    for (const char* proxy :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        unsetenv(proxy);
    CWenDoc config;
    config.Create(L"Wendrake")
        .AddChild(L"WenConfig")
        .AddChild(L"SystemSetting")
        .AddChild(L"UseSSL")
        .AddAttributeInt(L"value", 0);
    config.Save((work / "config" / "wendrake" / "wenconfig.xml").wstring());

    test::PollServerProcess server;
    if (!server.Start(work / "polls.db")) {
        std::fprintf(stderr, "pollserver did not start: %s\n", server.Error().c_str());
        return 1;
    }
    const std::string base = server.HttpUrl();
    const std::string hostPort = base.substr(base.find("://") + 3);

    auto factory = std::make_shared<BenchFactory>();
    WindowFactoryRegistry::Set(factory);
    SilentHost host;
    CQuibraExport entry;
    IFeedBackNotify* notify = entry.CreateQuibraManager(POLLMODE_PRESENTER, &host);
    AppConfig::Instance().Load();
    PollManager* manager = PluginObjects::CurrentManager();
    CWenDoc initDoc;
    CWenNode init = initDoc.LoadXml(
        "<init><modulename>m1</modulename><authorname>a7</authorname><managerip>" + hostPort +
        "</managerip><tmpfolder>" + (work / "tmp").string() + "</tmpfolder></init>");
    notify->Notify(L"/polling/in/init", &init);
    CountingWindow* window = factory->last;

    // One identified poll, opened: its list carries every voter's name.
    PollRecord draft;
    draft.title = L"Burst";
    draft.identified = true;
    draft.items = {{L"", L"A", L"one", 0, {}}, {L"", L"B", L"two", 0, {}}};
    manager->CmdCreatePolling(draft);
    if (!WaitUntil([&] { return window->fills > 0; }, std::chrono::seconds(30))) return 1;
    PollRecord poll = window->List().Records().front();
    poll.requestedStatus = PollStatus::Open;
    poll.requestedPublishState = PublishState::NotPublished;
    const int before = window->fills;
    manager->CmdUpdateStats({&poll});
    if (!WaitUntil([&] { return window->fills > before; }, std::chrono::seconds(30))) return 1;
    const int fillsBefore = window->fills;
    const long entriesBefore = window->voterEntries;
    std::string pollId(poll.pollId.begin(), poll.pollId.end());

    // The UI thread's pulse: a 10 ms timer; the longest gap beyond it is the longest stall.
    double longestStallMs = 0;
    auto lastBeat = Clock::now();
    QTimer pulse;
    QObject::connect(&pulse, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        longestStallMs = std::max(
            longestStallMs, std::chrono::duration<double, std::milli>(now - lastBeat).count() - 10);
        lastBeat = now;
    });
    pulse.start(10);

    // Attendees vote on fresh connections, paced over the burst; each
    // acknowledged ballot reaches the presenter as the host relays it.
    std::atomic<int> acknowledged{0};
    std::atomic<int> next{0};
    std::vector<std::thread> voters;
    const auto start = Clock::now();
    for (int t = 0; t < 16; ++t)
        voters.emplace_back([&] {
            for (int i; (i = next++) < attendees;) {
                std::this_thread::sleep_until(
                    start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(seconds * i / attendees)));
                const auto reply = Get(
                    base + "/wendrake-idm/v4/polling/polling.asp?job=PostPolling&pollid=" + pollId +
                    "&userid=att" + std::to_string(i) + "&username=Attendee+" + std::to_string(i) +
                    "&itemcount=1&itemname_0=" + (i % 3 ? "A" : "B") +
                    "&_rnd=" + std::to_string(i));
                if (reply.find("Code=\"200\"") == std::string::npos) continue;
                ++acknowledged;
                QMetaObject::invokeMethod(
                    qApp,
                    [notify] {
                        CWenDoc doc;
                        CWenNode ids = doc.LoadXml("<Polling><ID>0</ID></Polling>");
                        notify->Notify(L"/polling/in/clientnotifypolling", &ids);
                    },
                    Qt::QueuedConnection);
            }
        });
    // The UI thread keeps running its loop throughout, as the host's would.
    WaitUntil([&] { return next.load() >= attendees + 16; }, std::chrono::seconds(120));
    for (auto& voter : voters) voter.join();
    const double burstSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const bool settled =
        WaitUntil([&] { return !manager->RefreshPending() && window->lastVoters >= acknowledged; },
                  std::chrono::seconds(60));
    pulse.stop();

    const int downloads = window->fills - fillsBefore;
    const long entries = window->voterEntries - entriesBefore;
    const std::size_t finalBytes =
        Get(base +
            "/wendrake-idm/v4/polling/get_polling.asp?job=GetPollingResult&modulename=m1"
            "&userid=a7&_rnd=x")
            .size();
    const double bytesPerEntry =
        window->lastVoters > 0 ? static_cast<double>(finalBytes) / window->lastVoters : 0;
    const int shown = window->lastVoters;

    entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    server.Stop();
    std::filesystem::remove_all(work);

    std::printf("attendees: %d, ballots acknowledged: %d in %.2f s\n", attendees,
                acknowledged.load(), burstSeconds);
    std::printf("notices to the presenter: %d, list downloads: %d (%.1f per second of burst)\n",
                acknowledged.load(), downloads, downloads / burstSeconds);
    std::printf("voter entries downloaded: %ld, about %.1f MB (final list %zu bytes)\n", entries,
                entries * bytesPerEntry / 1e6, finalBytes);
    std::printf("longest UI stall: %.0f ms\n", longestStallMs);
    std::printf("final list shows %d ballots: %s\n", shown,
                settled && shown == acknowledged ? "all" : "NOT ALL");
    return settled && shown == acknowledged && acknowledged == attendees ? 0 : 1;
}
