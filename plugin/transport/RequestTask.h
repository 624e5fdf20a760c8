#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "transport/HttpRequest.h"
#include "transport/RetryPolicy.h"
#include "transport/TaskMailbox.h"
#include "transport/TaskThread.h"

namespace quibra {

// Runs one server request on a thread of its own and posts the outcome to the
// worker's message window: TaskDoneMessage with the success path (and, for a
// download, the root of the downloaded document), or TaskFailedMessage with the
// failure path. With no path to report it posts nothing and frees itself.
class RequestTask final : public TaskThread {
public:
    // An empty `targetFile` fetches the reply as text; otherwise the reply is
    // downloaded into it, loaded, and the file deleted.
    RequestTask(std::unique_ptr<HttpRequest> request, std::wstring targetFile, std::wstring url,
                std::shared_ptr<TaskMailbox> window, std::wstring successPath,
                std::wstring failurePath);
    ~RequestTask() override;

    // Sends again after a failure that may pass, within the policy's budget, while
    // the mailbox is open (a torn-down worker wants no more attempts).
    void SetRetry(RetryPolicy retry) { m_retry = retry; }
    // Posted with a text reply's outcome, either way, as the notice's document:
    // what the job was about (the ballot's poll, say). Not touched on the task's
    // thread but to hand it on.
    void SetContext(CWenNode context) { m_context = std::move(context); }

    void Run() override;
    // Tasks alive in the process: started and not yet freed.
    static int Alive() { return s_alive; }

private:
    // Hands this task over with its notice; nothing of it is touched afterwards.
    void Post(int message, const std::wstring& path, CWenNode& reply);

    std::unique_ptr<HttpRequest> m_request;
    std::wstring m_targetFile;
    std::wstring m_url;
    std::shared_ptr<TaskMailbox> m_window;
    std::wstring m_successPath;
    std::wstring m_failurePath;
    RetryPolicy m_retry;
    CWenNode m_context;
    static std::atomic<int> s_alive;
};

}  // namespace quibra
