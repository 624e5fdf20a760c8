#include "transport/RequestTask.h"

#include <cstdio>

#include "quibra/CWenDoc.h"
#include "xml/WideString.h"

namespace quibra {

std::atomic<int> RequestTask::s_alive{0};

RequestTask::RequestTask(std::unique_ptr<HttpRequest> request, std::wstring targetFile,
                         std::wstring url, std::shared_ptr<TaskMailbox> window,
                         std::wstring successPath, std::wstring failurePath)
    : m_request(std::move(request)),
      m_targetFile(std::move(targetFile)),
      m_url(std::move(url)),
      m_window(std::move(window)),
      m_successPath(std::move(successPath)),
      m_failurePath(std::move(failurePath)) {
    ++s_alive;
}

RequestTask::~RequestTask() {
    WaitForThread();
    --s_alive;
}

void RequestTask::Run() {
    std::wstring reply;  // read to the end, never examined
    const auto attempt = [&] {
        return m_targetFile.empty() ? m_request->GetText(m_url, reply)
                                    : m_request->Download(m_url, m_targetFile);
    };
    const auto cancelled = [window = m_window] { return window && !window->IsOpen(); };
    const bool ok = m_retry.Run(*m_request, attempt, cancelled);

    if (ok && !m_successPath.empty()) {
        if (m_targetFile.empty()) return Post(TaskDoneMessage, m_successPath, m_context);
        CWenNode root = CWenDoc().Load(m_targetFile);
        if (!root.IsNull()) {
            std::remove(ToUtf8(m_targetFile).c_str());
            return Post(TaskDoneMessage, m_successPath, root);
        }
        // A reply that is no XML document is not reported and stays in the folder.
    } else if (!ok && !m_failurePath.empty()) {
        CWenNode none;
        return Post(TaskFailedMessage, m_failurePath, m_targetFile.empty() ? m_context : none);
    }
    delete this;  // nothing posted: the task releases itself (and its request)
}

void RequestTask::Post(int message, const std::wstring& path, CWenNode& reply) {
    auto notice = std::make_unique<TaskNotice>();
    notice->message = message;
    notice->path = path;
    notice->reply = reply;
    // The notice keeps the only hold on the reply's document, so the thread that
    // reads it frees it too, never this one after the hand-over.
    reply = CWenNode();
    std::shared_ptr<TaskMailbox> window = m_window;
    notice->task.reset(this);
    // From here on the notice owns this task; the receiving thread may free it
    // at any moment, and a closed or missing window frees it right here.
    if (window) window->Post(std::move(notice));
}

}  // namespace quibra
