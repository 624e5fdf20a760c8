#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/IPollWindowFactory.h"
#include "polldata/PollRecord.h"
#include "quibra/IFeedBackNotify.h"
#include "quibra/IPollNotify.h"
#include "quibra/IPollWorker.h"

namespace quibra {

// The object the host talks to: every host message arrives at Notify, which
// either handles it here (windows, poll list, voting dialogs) or forwards it to
// the worker under a "/polling/out/" path. The worker reports back through
// Notify too. Owns the poll manager window and every voting dialog.
// Host UI thread only.
class PollManager final : public IFeedBackNotify {
public:
    // `factory` makes the windows; null means no windows can be made.
    explicit PollManager(std::shared_ptr<IPollWindowFactory> factory = nullptr);
    ~PollManager();
    PollManager(const PollManager&) = delete;
    PollManager& operator=(const PollManager&) = delete;

    int32_t Notify(const wchar_t* path, void* payload) override;

    void SetWorker(IPollWorker* worker) { m_worker = worker; }
    void SetHostNotify(IPollNotify* notify) { m_hostNotify = notify; }
    IPollWorker* Worker() const { return m_worker; }
    IPollNotify* HostNotify() const { return m_hostNotify; }

    // The user interface's commands: each builds a command message and hands
    // it to the worker. They never report failure.
    bool CmdCreatePolling(const PollRecord& record);
    bool CmdUpdateContant(const PollRecord& record);
    bool CmdUpdateStats(const std::vector<const PollRecord*>& records);
    bool CmdDelete(const std::vector<const PollRecord*>& records);
    bool CmdSendPoll(const std::wstring& pollId, const std::vector<std::wstring>& chosenItemNames);

    // The host's main window when "mainhwnd" named a live widget, else null.
    QWidget* HostWindow() const { return m_hostWindow.data(); }
    const std::wstring& ImageFolder() const { return m_imageFolder; }
    IManagerWindow* ManagerWindow() const { return m_managerWindow.get(); }
    bool RefreshPending() const { return m_refreshPending; }
    // Another refresh is due when the pending one ends (notifications meanwhile).
    bool RefreshQueued() const { return m_refreshQueued; }
    // The least time between the starts of two refreshes for notifications
    // (after a quiet spell, a notification's refresh starts at once).
    void SetRefreshSpacing(std::chrono::milliseconds spacing) { m_refreshSpacing = spacing; }
    static constexpr std::chrono::milliseconds kRefreshSpacing{500};
    // A list that could not be fetched while the console is shown is fetched
    // again after a pause that doubles from the first to the longest, one fetch
    // at a time, until one succeeds or the console is closed.
    void SetListRetryPauses(std::chrono::milliseconds first, std::chrono::milliseconds longest) {
        m_listRetryFirst = m_listRetryPause = first;
        m_listRetryLongest = longest;
    }
    static constexpr std::chrono::milliseconds kListRetryFirst{1000};
    static constexpr std::chrono::milliseconds kListRetryLongest{30000};
    bool ListRetryDue() const { return m_listRetry.isActive(); }
    const std::vector<std::unique_ptr<IVoteWindow>>& AnswerWindows() const {
        return m_answerWindows;
    }
    const std::vector<std::unique_ptr<IVoteWindow>>& ResultWindows() const {
        return m_resultWindows;
    }

private:
    int32_t Init(const CWenNode& payload, bool hasPayload);
    void ApplyListReply(const CWenNode& reply);
    void StartRefresh();
    void RefreshWhenDue();  // at once, or when the spacing after the last start has passed
    void EndRefresh();
    void ListFailed();
    void RetryList();
    void BallotDone(const CWenNode& ballot, bool sent);
    void OpenAnswerWindows(const CWenNode& reply);
    void OpenResultWindows(const CWenNode& reply);
    void CloseAnswerWindows(const CWenNode& pollIds);
    void ForwardKeyboardEvent(void* record);
    void ToWorker(const wchar_t* path, void* payload);
    bool SendCommand(const wchar_t* path, const CWenDoc& message);

    std::recursive_mutex m_updateLock;
    int m_updateLockDepth = 0;  // acquisitions still held, released on destruction
    IPollWorker* m_worker = nullptr;
    QPointer<QWidget> m_hostWindow;
    std::unique_ptr<IManagerWindow> m_managerWindow;
    bool m_refreshPending = false;
    bool m_refreshQueued = false;
    std::chrono::milliseconds m_refreshSpacing = kRefreshSpacing;
    std::chrono::steady_clock::time_point m_refreshStarted;
    QTimer m_queuedRefresh;  // starts the due refresh once the spacing has passed
    QTimer m_listRetry;      // fetches a list that could not be fetched again
    std::chrono::milliseconds m_listRetryFirst = kListRetryFirst;
    std::chrono::milliseconds m_listRetryLongest = kListRetryLongest;
    std::chrono::milliseconds m_listRetryPause = kListRetryFirst;  // the next pause
    std::wstring m_imageFolder;
    std::vector<std::unique_ptr<IVoteWindow>> m_answerWindows;
    std::vector<std::unique_ptr<IVoteWindow>> m_resultWindows;
    IPollNotify* m_hostNotify = nullptr;
    std::shared_ptr<IPollWindowFactory> m_factory;
};

}  // namespace quibra
