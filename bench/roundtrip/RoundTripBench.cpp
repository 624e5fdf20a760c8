// Measures the presenter's round trip on loopback: from handing an UpdateStats
// command to the worker until the manager has applied the refreshed poll list
// (two HTTP exchanges, two request threads, two hops back to the UI thread),
// against two bare libcurl exchanges of the same requests in the same run.
//
//   bench_roundtrip [rounds]      (default 300)

#include <curl/curl.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
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
#include "transport/UrlEncode.h"
#include "xml/WideString.h"

using namespace quibra;
using Clock = std::chrono::steady_clock;

namespace {

// A console that only counts how often its list was rebuilt.
class CountingWindow : public IManagerWindow, public IPollListView {
public:
    CountingWindow() : m_list(this) {}
    bool Show() override { return true; }
    PollList& List() override { return m_list; }
    std::optional<std::wstring> ClearPresentation() override { return std::nullopt; }
    void FillPresentation(std::vector<PollRecord>&, const std::wstring&) override { ++fills; }
    int fills = 0;

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

// Sleeps in the event loop until `done` holds: every step of the road arrives as
// a posted event, so nothing here spins against the request threads.
bool WaitUntil(const std::function<bool()>& done) {
    const auto limit = Clock::now() + std::chrono::seconds(30);
    QTimer guard;  // wakes the loop now and then to honour the limit
    guard.start(100);
    while (!done()) {
        if (Clock::now() > limit) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

size_t Discard(char*, size_t size, size_t count, void*) {
    return size * count;
}

// One bare exchange as the plug-in makes it: a fresh connection, the same query.
bool BareGet(const std::string& url) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Discard);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    long status = 0;
    const bool ok = curl_easy_perform(curl) == CURLE_OK &&
                    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                    status == 200;
    curl_easy_cleanup(curl);
    return ok;
}

std::string Form(const std::vector<std::pair<std::wstring, std::wstring>>& fields, int tick) {
    std::wstring form;
    for (const auto& [name, value] : fields)
        form += UrlEncode(name) + L"=" + UrlEncode(value) + L"&";
    return ToUtf8(form) + "_rnd=" + std::to_string(tick);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Mean(const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return v.empty() ? 0 : sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 300;
    QApplication app(argc, argv);

    const auto work =
        std::filesystem::temp_directory_path() / ("quibra-roundtrip-" + std::to_string(getpid()));
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
    const std::string hostPort = server.HttpUrl().substr(server.HttpUrl().find("://") + 3);

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
    PollList& list = window->List();

    // A list of a realistic size: ten polls of four choices.
    for (int i = 0; i < 10; ++i) {
        PollRecord draft;
        draft.title = L"Question " + std::to_wstring(i);
        draft.items = {{L"", L"A", L"one", 0, {}},
                       {L"", L"B", L"two", 0, {}},
                       {L"", L"C", L"three", 0, {}},
                       {L"", L"D", L"four", 0, {}}};
        const int before = window->fills;
        manager->CmdCreatePolling(draft);
        if (!WaitUntil([&] { return window->fills > before; })) return 1;
    }
    PollRecord target = list.Records().front();
    target.requestedStatus = PollStatus::Open;
    target.requestedPublishState = PublishState::NotPublished;

    std::vector<double> plugin;
    std::vector<double> bare;
    const std::string base = server.HttpUrl();
    const std::string update = base + "/wendrake-idm/v4/polling/polling.asp?" +
                               Form({{L"job", L"UpdatePollingStatus"},
                                     {L"pollcount", L"1"},
                                     {L"pollid_0", target.pollId},
                                     {L"status_0", L"O"},
                                     {L"ispublish_0", L"0"}},
                                    1);
    const std::string refresh =
        base + "/wendrake-idm/v4/polling/get_polling.asp?" +
        Form({{L"job", L"GetPollingResult"}, {L"modulename", L"m1"}, {L"userid", L"a7"}}, 2);
    for (int round = 0; round < rounds; ++round) {
        const int before = window->fills;
        const auto start = Clock::now();
        manager->CmdUpdateStats({&target});
        if (!WaitUntil([&] { return window->fills > before; })) {
            std::fprintf(stderr, "round %d: no refreshed list\n", round);
            return 1;
        }
        plugin.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());

        const auto bareStart = Clock::now();
        if (!BareGet(update) || !BareGet(refresh)) {
            std::fprintf(stderr, "round %d: bare exchange failed\n", round);
            return 1;
        }
        bare.push_back(std::chrono::duration<double, std::micro>(Clock::now() - bareStart).count());
    }

    const size_t polls = list.Records().size();
    entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    server.Stop();
    std::filesystem::remove_all(work);

    std::printf("rounds: %d (list of %zu polls)\n", rounds, polls);
    std::printf("plug-in round trip: median %.0f us, mean %.0f us\n", Median(plugin), Mean(plugin));
    std::printf("two bare exchanges: median %.0f us, mean %.0f us\n", Median(bare), Mean(bare));
    std::printf("ratio (median): %.2f  (goal: below 1.5)\n", Median(plugin) / Median(bare));
    return 0;
}
