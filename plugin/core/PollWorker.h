#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "core/MessageWindow.h"
#include "quibra/IFeedBackNotify.h"
#include "quibra/IPollNotify.h"
#include "quibra/IPollWorker.h"
#include "transport/IJobHost.h"
#include "transport/IPollJobs.h"
#include "transport/TransportParams.h"

namespace quibra {

// Carries out everything that involves the poll server: keeps the transport
// parameters, starts server jobs for "/polling/out/" commands, and routes each
// job's outcome (a follow-up job, a message to the manager, or nothing).
// Dispatch runs on the host's UI thread, which also owns the message window.
class PollWorker final : public IPollWorker, private IJobHost {
public:
    PollWorker();
    ~PollWorker();
    PollWorker(const PollWorker&) = delete;
    PollWorker& operator=(const PollWorker&) = delete;

    // IPollWorker
    void Dispatch(const wchar_t* path, void* payload) override;
    std::wstring& GetUserId() override { return m_params.userId; }
    std::wstring& GetSessionId() override { return m_params.sessionId; }
    std::wstring& GetModuleName() override { return m_params.moduleName; }
    void SetUserId(const wchar_t* value) override { m_params.userId = Text(value); }
    void SetUserName(const wchar_t* value) override { m_params.userName = Text(value); }
    void SetSessionId(const wchar_t* value) override { m_params.sessionId = Text(value); }
    void SetModuleName(const wchar_t* value) override { m_params.moduleName = Text(value); }
    void SetManagerIp(const wchar_t* value) override { m_params.managerIp = Text(value); }
    void SetProxyUser(const wchar_t* value) override { m_params.proxyUser = Text(value); }
    void SetProxyPassword(const wchar_t* value) override { m_params.proxyPassword = Text(value); }
    void SetTempFolder(const wchar_t* value) override { m_params.tempFolder = Text(value); }
    void SetManager(IFeedBackNotify* manager) override { m_manager = manager; }

    void SetHostNotify(IPollNotify* notify) { m_hostNotify = notify; }
    IFeedBackNotify* Manager() const { return m_manager; }
    const TransportParams& Transport() const { return m_params; }
    MessageWindow& Window() { return *m_window; }
    // Replaces the server job layer (tests observe the worker's routes with it).
    void SetJobs(std::unique_ptr<IPollJobs> jobs) { m_jobs = std::move(jobs); }
    IPollJobs* Jobs() const { return m_jobs.get(); }

private:
    static std::wstring Text(const wchar_t* value) { return value != nullptr ? value : L""; }
    void SetTransportParams(const CWenNode& node);
    void StartListRequest();
    void BallotFailed(const CWenNode& ballot);

    // IJobHost
    const TransportParams& Params() const override { return m_params; }
    std::shared_ptr<TaskMailbox> Mailbox() const override { return m_window->Mailbox(); }
    IPollNotify* HostNotify() const override { return m_hostNotify; }
    std::recursive_mutex& WorkerLock() override { return m_lock; }
    void ShowMessage(int messageId) override;

    TransportParams m_params;
    IFeedBackNotify* m_manager = nullptr;
    std::unique_ptr<MessageWindow> m_window;
    std::recursive_mutex m_lock;
    IPollNotify* m_hostNotify = nullptr;
    std::unique_ptr<IPollJobs> m_jobs;
};

}  // namespace quibra
