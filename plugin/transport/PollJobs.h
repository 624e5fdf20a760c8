#pragma once

#include <chrono>
#include <memory>
#include <string>

#include "transport/HttpRequest.h"
#include "transport/IJobHost.h"
#include "transport/IPollJobs.h"
#include "transport/RetryPolicy.h"
#include "transport/TaskThread.h"

class CWenDoc;

namespace quibra {

// The server jobs: each reads a command message, sends one form-encoded GET to
// the PollServer on a task thread, and tells the host what it started.
class PollJobs final : public IPollJobs {
public:
    static constexpr const wchar_t* kPollingScript = L"/wendrake-idm/v4/polling/polling.asp";
    static constexpr const wchar_t* kResultScript = L"/wendrake-idm/v4/polling/get_polling.asp";
    static constexpr std::chrono::milliseconds kVoteWait{15000};
    // Ballot outcomes, from its task back to the worker; both carry the
    // ballot's <Polling><ID>pollid</ID></Polling>.
    static constexpr const wchar_t* kBallotSentPath = L"/polling/out/postpollingok";
    static constexpr const wchar_t* kBallotFailedPath = L"/polling/out/postpollingerror";

    explicit PollJobs(IJobHost& host);

    void CreatePolling(const CWenNode& command) override;
    void DeletePolling(const CWenNode& command) override;
    void UpdatePolling(const CWenNode& command) override;
    bool PostPolling(const CWenNode& command) override;
    bool GetResults(int mode, const CWenNode& pollIds) override;

    // How long a ballot, a status change, an edit or a deletion may take, its
    // attempts after failures that may pass included, before it fails.
    void SetVoteWait(std::chrono::milliseconds limit) { m_voteWait = limit; }
    std::chrono::milliseconds VoteWait() const { return m_voteWait; }
    // "tmpfolder/XXXXXXXX_XXXX_XXXX_XXXX_XXXXXXXXXXXX.xml" from 128 random bits.
    static std::wstring TempFileName(const std::wstring& folder);

private:
    void UpdatePollingContent(const CWenNode& polling);
    void UpdatePollingStatus(const CWenNode& polling);
    std::unique_ptr<HttpRequest> NewRequest() const;
    std::wstring Url(const wchar_t* script) const;
    // Starts the task; the completion signal, or null when no thread could start.
    std::shared_ptr<TaskCompletion> Start(std::unique_ptr<HttpRequest> request,
                                          const std::wstring& targetFile, const wchar_t* script,
                                          const std::wstring& successPath,
                                          const std::wstring& failurePath, RetryPolicy retry = {},
                                          CWenNode context = {});
    void NotifyHost(const wchar_t* path, const CWenDoc& notification);

    IJobHost& m_host;
    std::chrono::milliseconds m_voteWait = kVoteWait;
};

}  // namespace quibra
