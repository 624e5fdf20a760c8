#include "PresenterHarness.h"

#include <curl/curl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "config/AppConfig.h"
#include "core/PluginObjects.h"
#include "core/WindowFactoryRegistry.h"
#include "quibra/CWenDoc.h"

namespace quibra::bench {

using Clock = std::chrono::steady_clock;

void CountingWindow::FillPresentation(std::vector<PollRecord>& records, const std::wstring&) {
    ++fills;
    for (const auto& record : records) {
        lastVoters = record.voterCount;
        voterEntries += record.voterCount;
    }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    QTimer guard;  // wakes the loop now and then to honour the limit
    guard.start(100);
    while (!done()) {
        if (Clock::now() > until) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

namespace {

size_t Collect(char* data, size_t size, size_t count, void* body) {
    if (body) static_cast<std::string*>(body)->append(data, size * count);
    return size * count;
}

}  // namespace

bool Get(const std::string& url, std::string* body) {
    CURL* curl = curl_easy_init();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, body);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    // As the plug-in: any certificate (the server's own self-signed one).
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
    long status = 0;
    const bool ok = curl_easy_perform(curl) == CURLE_OK &&
                    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK &&
                    status == 200;
    curl_easy_cleanup(curl);
    return ok;
}

class PresenterHarness::Factory : public IPollWindowFactory {
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

class PresenterHarness::SilentHost : public IPollNotify {
public:
    int32_t Notify(const wchar_t*, const CWenNode*) override { return 0; }
};

PresenterHarness::PresenterHarness(const std::string& name)
    : m_work(std::filesystem::temp_directory_path() /
             ("quibra-" + name + "-" + std::to_string(getpid()))),
      m_factory(std::make_shared<Factory>()),
      m_host(std::make_unique<SilentHost>()) {}

PresenterHarness::~PresenterHarness() {
    Stop();
}

bool PresenterHarness::Start() {
    std::filesystem::create_directories(m_work / "config" / "wendrake");
    std::filesystem::create_directories(m_work / "tmp");
    m_started = true;
    setenv("XDG_CONFIG_HOME", (m_work / "config").c_str(), 1);
    for (const char* proxy :
         {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY"})
        unsetenv(proxy);
    // QUIBRA_BENCH_TLS=1: the plug-in speaks HTTPS to the server.
    const char* tlsWanted = std::getenv("QUIBRA_BENCH_TLS");
    const bool tls = tlsWanted != nullptr && std::string(tlsWanted) == "1";
    CWenDoc config;
    config.Create(L"Wendrake")
        .AddChild(L"WenConfig")
        .AddChild(L"SystemSetting")
        .AddChild(L"UseSSL")
        .AddAttributeInt(L"value", tls ? 1 : 0);
    config.Save((m_work / "config" / "wendrake" / "wenconfig.xml").wstring());

    if (!m_server.Start(m_work / "polls.db")) {
        std::fprintf(stderr, "pollserver did not start: %s\n", m_server.Error().c_str());
        return false;
    }
    m_base = tls ? m_server.HttpsUrl() : m_server.HttpUrl();
    const std::string hostPort = tls ? m_server.HttpsAddress() : m_server.HttpAddress();

    WindowFactoryRegistry::Set(m_factory);
    m_notify = m_entry.CreateQuibraManager(POLLMODE_PRESENTER, m_host.get());
    AppConfig::Instance().Load();
    m_manager = PluginObjects::CurrentManager();
    CWenDoc initDoc;
    CWenNode init = initDoc.LoadXml(
        "<init><modulename>m1</modulename><authorname>a7</authorname><managerip>" + hostPort +
        "</managerip><tmpfolder>" + (m_work / "tmp").string() + "</tmpfolder></init>");
    m_notify->Notify(L"/polling/in/init", &init);
    m_window = m_factory->last;
    return true;
}

void PresenterHarness::Stop() {
    if (!m_started) return;
    m_started = false;
    if (m_notify) m_entry.FreeAllPollingObject();
    WindowFactoryRegistry::Set(nullptr);
    m_server.Stop();
    std::filesystem::remove_all(m_work);
}

}  // namespace quibra::bench
