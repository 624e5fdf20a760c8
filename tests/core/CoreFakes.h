#pragma once

#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IPollWindowFactory.h"
#include "polldata/PollList.h"
#include "quibra/IFeedBackNotify.h"
#include "quibra/IPollNotify.h"
#include "quibra/IPollWorker.h"
#include "support/NodeOutline.h"
#include "transport/IPollJobs.h"

namespace quibra::test {

// One recorded call: a path and the payload's outline (or its text for strings).
struct Call {
    std::wstring path;
    std::string xml;
    bool hadPayload = false;
};

// Each call as "path" or, with a payload, "path outline": a whole sequence compares in one check.
std::vector<std::string> Trace(const std::vector<Call>& calls);

// The host side of IPollNotify; as an IFeedBackNotify, the manager when the worker is under test.
class RecordingHost : public IPollNotify, public IFeedBackNotify {
public:
    int32_t Notify(const wchar_t* path, const CWenNode* payload) override {
        calls.push_back({path, payload != nullptr ? Outline(*payload) : "", payload != nullptr});
        return 0;
    }
    int32_t Notify(const wchar_t* path, void* payload) override {
        return Notify(path, static_cast<const CWenNode*>(payload));
    }
    std::vector<Call> calls;
};

// Stands in for the worker when the manager is under test.
class RecordingWorker : public IPollWorker {
public:
    void Dispatch(const wchar_t* path, void* payload) override;
    std::wstring& GetUserId() override { return text; }
    std::wstring& GetSessionId() override { return text; }
    std::wstring& GetModuleName() override { return text; }
    void SetUserId(const wchar_t*) override {}
    void SetUserName(const wchar_t*) override {}
    void SetSessionId(const wchar_t*) override {}
    void SetModuleName(const wchar_t*) override {}
    void SetManagerIp(const wchar_t*) override {}
    void SetProxyUser(const wchar_t*) override {}
    void SetProxyPassword(const wchar_t*) override {}
    void SetTempFolder(const wchar_t*) override {}
    void SetManager(IFeedBackNotify*) override {}

    std::vector<Call> calls;
    std::wstring text;
};

// Adds `line` to `log`, where there is one: the fakes' ends in the order they come.
inline void Log(std::vector<std::string>* log, std::string line) {
    if (log != nullptr) log->push_back(std::move(line));
}

// Records which server jobs the worker starts; its end goes to `log`.
class RecordingJobs : public IPollJobs {
public:
    explicit RecordingJobs(std::vector<std::string>* log = nullptr) : log(log) {}
    ~RecordingJobs() override { Log(log, "jobs destroyed"); }
    void CreatePolling(const CWenNode& command) override { Record(L"create", command); }
    void DeletePolling(const CWenNode& command) override { Record(L"delete", command); }
    void UpdatePolling(const CWenNode& command) override { Record(L"update", command); }
    bool PostPolling(const CWenNode& command) override { return Record(L"post", command); }
    bool GetResults(int mode, const CWenNode& ids) override {
        return Record(L"results" + std::to_wstring(mode), ids) && mode >= 1 && mode <= 3;
    }
    std::vector<Call> calls;
    std::vector<std::string>* log;

private:
    bool Record(const std::wstring& job, const CWenNode& node) {
        calls.push_back({job, Outline(node), !node.IsNull()});
        return true;
    }
};

class FakeManagerWindow : public IManagerWindow {
public:
    explicit FakeManagerWindow(std::vector<std::string>* log) : log(log) {}
    ~FakeManagerWindow() override { Log(log, "manager window destroyed"); }
    bool Show() override { return ++shown > 0; }
    PollList& List() override { return list; }
    bool IsShown() const override { return shown > 0; }
    void JobFailed(PresenterJob job) override { failed.push_back(static_cast<int>(job)); }
    void ListFailed() override { ++listFailures; }
    PollList list;
    int shown = 0;
    std::vector<int> failed;  // the PresenterJob values, in order
    int listFailures = 0;
    std::vector<std::string>* log;
};

class FakeVoteWindow : public IVoteWindow {
public:
    FakeVoteWindow(PollRecord record, VoteMode mode, std::vector<std::string>* log)
        : record(std::move(record)), mode(mode), log(log) {}
    ~FakeVoteWindow() override { Log(log, "vote window destroyed " + ToUtf8(record.pollId)); }
    const PollRecord& Record() const override { return record; }
    bool IsVisible() const override { return visible; }
    void Hide() override {
        visible = false;
        if (onHide) onHide();
    }
    void BallotDone(bool sent) override { ballots += sent ? "sent " : "failed "; }
    std::function<void()> onHide;  // a window may call back into the manager while it goes
    std::string ballots;
    PollRecord record;
    VoteMode mode;
    bool visible = true;
    std::vector<std::string>* log;
};

// Records which windows the manager asks for, with which records.
class RecordingWindowFactory : public IPollWindowFactory {
public:
    void ApplySkinSettings(const CWenNode&) override { ++skinReads; }
    std::unique_ptr<IManagerWindow> CreateManagerWindow(PollManager&, QWidget* hostWindow) override;
    std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager&, const PollRecord& record,
                                                  VoteMode mode) override {
        voteWindows.push_back(new FakeVoteWindow(record, mode, &log));
        return std::unique_ptr<IVoteWindow>(voteWindows.back());
    }

    bool failManagerWindow = false;
    int skinReads = 0;
    QWidget* lastHostWindow = nullptr;
    std::vector<std::string> log;
    FakeManagerWindow* lastManagerWindow = nullptr;
    std::vector<FakeVoteWindow*> voteWindows;  // as created, never freed by the factory
};

}  // namespace quibra::test
