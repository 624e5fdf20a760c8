#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/IPollWindowFactory.h"
#include "core/PollManager.h"
#include "polldata/IPollListView.h"
#include "polldata/PollList.h"
#include "pollserver/PollServerProcess.h"
#include "quibra/CQuibraExport.h"

namespace quibra::bench {

// A console that counts its rebuilt lists and the voters each one carried.
class CountingWindow : public IManagerWindow, public IPollListView {
public:
    CountingWindow() : m_list(this) {}
    bool Show() override { return true; }
    PollList& List() override { return m_list; }
    std::optional<std::wstring> ClearPresentation() override { return std::nullopt; }
    void FillPresentation(std::vector<PollRecord>& records, const std::wstring&) override;
    int fills = 0;
    long voterEntries = 0;
    int lastVoters = 0;

private:
    PollList m_list;
};

// Sleeps in the event loop until `done` holds: every step of the road arrives as
// a posted event, so nothing here spins against the request threads.
bool WaitUntil(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(30));

// One exchange as the plug-in makes it: a fresh connection. True on a 200; the
// body goes to `body` when given, else it is dropped.
bool Get(const std::string& url, std::string* body = nullptr);

// The presenter's plug-in, loaded as the host loads it (plain HTTP, no proxy,
// a private configuration folder) and initialised against a pollserver of its own.
class PresenterHarness {
public:
    // `name` tells the temporary folder apart from other benchmarks'.
    explicit PresenterHarness(const std::string& name);
    ~PresenterHarness();

    // False, with the reason on stderr, when the pollserver did not start.
    bool Start();
    // Frees the plug-in, stops the server and removes the folder; once only.
    void Stop();

    const std::string& Base() const { return m_base; }  // "http://127.0.0.1:PORT"
    IFeedBackNotify& Notify() { return *m_notify; }
    PollManager& Manager() { return *m_manager; }
    CountingWindow& Window() { return *m_window; }

private:
    class Factory;
    class SilentHost;

    std::filesystem::path m_work;
    test::PollServerProcess m_server;
    std::shared_ptr<Factory> m_factory;
    std::unique_ptr<SilentHost> m_host;
    CQuibraExport m_entry;
    std::string m_base;
    IFeedBackNotify* m_notify = nullptr;
    PollManager* m_manager = nullptr;
    CountingWindow* m_window = nullptr;
    bool m_started = false;
};

}  // namespace quibra::bench
