#pragma once

#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/IPollWindowFactory.h"
#include "polldata/PollList.h"
#include "quibra/CWenDoc.h"
#include "quibra/IFeedBackNotify.h"
#include "quibra/IPollNotify.h"
#include "quibra/IPollWorker.h"
#include "transport/IPollJobs.h"
#include "transport/TaskMailbox.h"

namespace quibra::test {

// One recorded call: a path and the payload's saved XML (or its text for strings).
struct Call {
    std::wstring path;
    std::string xml;
    bool hadPayload = false;
};

std::string XmlOf(const CWenNode* node);

// The host side of IPollNotify.
class RecordingHost : public IPollNotify {
public:
    int32_t Notify(const wchar_t* path, const CWenNode* payload) override;
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
    // Called with each path, e.g. to look at the manager's state mid-call.
    std::function<void(const std::wstring&)> onDispatch;
};

// Stands in for the manager when the worker is under test.
class RecordingManager : public IFeedBackNotify {
public:
    int32_t Notify(const wchar_t* path, void* payload) override;
    std::vector<Call> calls;
};

// Records which server jobs the worker starts.
class RecordingJobs : public IPollJobs {
public:
    explicit RecordingJobs(std::vector<std::string>* log = nullptr) : m_log(log) {}
    ~RecordingJobs() override;
    void CreatePolling(const CWenNode& command) override { Record(L"create", command); }
    void DeletePolling(const CWenNode& command) override { Record(L"delete", command); }
    void UpdatePolling(const CWenNode& command) override { Record(L"update", command); }
    bool PostPolling(const CWenNode& command) override {
        Record(L"post", command);
        return true;
    }
    bool GetResults(int mode, const CWenNode& ids) override {
        Record(L"results" + std::to_wstring(mode), ids);
        return mode >= 1 && mode <= 3;
    }
    std::vector<Call> calls;

private:
    void Record(const std::wstring& job, const CWenNode& node);
    std::vector<std::string>* m_log;
};

class FakeManagerWindow : public IManagerWindow {
public:
    explicit FakeManagerWindow(std::vector<std::string>* log) : m_log(log) {}
    ~FakeManagerWindow() override;
    bool Show() override {
        ++shown;
        return true;
    }
    PollList& List() override { return list; }
    PollList list;
    int shown = 0;

private:
    std::vector<std::string>* m_log;
};

class FakeVoteWindow : public IVoteWindow {
public:
    FakeVoteWindow(PollRecord record, VoteMode mode, std::vector<std::string>* log)
        : record(std::move(record)), mode(mode), m_log(log) {}
    ~FakeVoteWindow() override;
    const PollRecord& Record() const override { return record; }
    bool IsVisible() const override { return visible; }
    void Hide() override {
        visible = false;
        if (onHide) onHide();
    }
    std::function<void()> onHide;  // a window may call back into the manager while it goes
    PollRecord record;
    VoteMode mode;
    bool visible = true;

private:
    std::vector<std::string>* m_log;
};

// Records which windows the manager asks for, with which records.
class RecordingWindowFactory : public IPollWindowFactory {
public:
    void ApplySkinSettings(const CWenNode& init) override;
    std::unique_ptr<IManagerWindow> CreateManagerWindow(PollManager&, QWidget* hostWindow) override;
    std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager&, const PollRecord& record,
                                                  VoteMode mode) override;

    bool failManagerWindow = false;
    int skinReads = 0;
    QWidget* lastHostWindow = nullptr;
    std::vector<std::string> log;
    FakeManagerWindow* lastManagerWindow = nullptr;
    std::vector<FakeVoteWindow*> voteWindows;  // as created, never freed by the factory
};

// A request task that posts a notice when released, and counts live tasks.
class ScriptedTask : public TaskThread {
public:
    static std::atomic<int> live;
    ScriptedTask(std::shared_ptr<TaskMailbox> mailbox, std::wstring path, int message,
                 CWenNode reply, std::function<void()> before = {});
    ~ScriptedTask() override;
    void Run() override;

private:
    std::shared_ptr<TaskMailbox> m_mailbox;
    std::wstring m_path;
    int m_message;
    CWenNode m_reply;
    std::function<void()> m_before;
};

// Each call as "path" or, with a payload, "path xml": a whole sequence compares in one check.
std::vector<std::string> Trace(const std::vector<Call>& calls);

// Parses XML text into a document and returns its root.
CWenNode Xml(CWenDoc& doc, const std::string& text);

}  // namespace quibra::test
