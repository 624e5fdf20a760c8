#include "core/PollManager.h"

#include <QApplication>
#include <QEvent>
#include <algorithm>

#include "config/AppConfig.h"
#include "config/Folders.h"
#include "core/HostWindowLocator.h"
#include "core/MessageRoute.h"
#include "i18n/CWenMsg.h"
#include "messages/CommandMessages.h"
#include "polldata/PollList.h"
#include "polldata/PollRecordReader.h"
#include "quibra/CWenDoc.h"
#include "quibra/WindowMessageRecord.h"

namespace quibra {

namespace {

enum class Route {
    Init,
    PutUserId,
    ShowManager,
    Updating,
    UpdatingError,
    GetAllPolling,
    AuthHoldPolling,
    ClientGetPollInfo,
    ClientGetPollResult,
    ClientShowPollResult,
    SetTransParams,
    StopPolling,
    ClientNotifyPolling,
    TranslateWindowMessage,
    BallotSent,
    BallotFailed,
    CreateFailed,
    DeleteFailed,
    UpdateFailed,
    UpdateStatsFailed,
    Nothing
};

// Matched in this order against the lower-cased path; the first match wins.
constexpr MessageRoute<Route> kRows[] = {
    {L"/polling/in/init", Route::Init},
    {L"/polling/in/putuserid", Route::PutUserId},
    {L"/polling/in/showmanager", Route::ShowManager},
    {L"/polling/in/updating", Route::Updating},
    {L"/polling/in/updatingerror", Route::UpdatingError},
    {L"/polling/in/getallpolling", Route::GetAllPolling},
    {L"/polling/in/authholdpolling", Route::AuthHoldPolling},
    {L"/polling/in/clientgetpollinfo", Route::ClientGetPollInfo},
    {L"/polling/in/clientgetpollresult", Route::ClientGetPollResult},
    {L"/polling/in/clientshowpollresult", Route::ClientShowPollResult},
    {L"/polling/in/settransparams", Route::SetTransParams},
    {L"/polling/in/stoppolling", Route::StopPolling},
    {L"/polling/in/clientnotifypolling", Route::ClientNotifyPolling},
    {L"/polling/in/trnaswinmsg", Route::TranslateWindowMessage},
    // From the worker: a ballot's outcome, and the presenter's jobs that failed.
    {L"/polling/in/postpollingok", Route::BallotSent},
    {L"/polling/in/postpollingerror", Route::BallotFailed},
    {L"/polling/in/createnewpollerror", Route::CreateFailed},
    {L"/polling/in/deletepollerror", Route::DeleteFailed},
    {L"/polling/in/updateerror", Route::UpdateFailed},
    {L"/polling/in/updatestatserror", Route::UpdateStatsFailed},
};

}  // namespace

PollManager::PollManager(std::shared_ptr<IPollWindowFactory> factory)
    : m_factory(std::move(factory)) {
    CWenMsg::GetInstance().Init(GetLangFolder());
    m_queuedRefresh.setSingleShot(true);
    QObject::connect(&m_queuedRefresh, &QTimer::timeout, [this] { RefreshWhenDue(); });
    m_listRetry.setSingleShot(true);
    QObject::connect(&m_listRetry, &QTimer::timeout, [this] { RetryList(); });
}

PollManager::~PollManager() {
    AppConfig::Instance().CloseAll();
    m_managerWindow.reset();
    m_answerWindows.clear();
    m_resultWindows.clear();
    // A refresh still pending holds the update lock; a mutex must not die held.
    for (; m_updateLockDepth > 0; --m_updateLockDepth) m_updateLock.unlock();
}

int32_t PollManager::Notify(const wchar_t* path, void* payload) {
    const Route route = MatchRoute(path, kRows, Route::Nothing);
    switch (route) {
        case Route::Init:
            return Init(XmlPayload(payload), payload != nullptr);
        case Route::PutUserId:
            if (payload != nullptr) ToWorker(L"/polling/out/setuserid", payload);
            return 0;
        case Route::ShowManager:
            ToWorker(L"/polling/out/getallpolling", nullptr);
            if (!m_managerWindow) return 1;
            m_managerWindow->Show();
            return 0;
        case Route::Updating:
            m_listRetry.stop();
            m_listRetryPause = m_listRetryFirst;
            ApplyListReply(XmlPayload(payload));
            EndRefresh();
            return 0;
        case Route::UpdatingError:
            // A failed refresh ends the pending state, so the console never stays locked.
            EndRefresh();
            ListFailed();
            return 0;
        case Route::GetAllPolling:
            ToWorker(L"/polling/out/getallpolling", nullptr);
            return 0;
        case Route::AuthHoldPolling:
            ToWorker(L"/polling/out/getsinglepolling", payload);
            return 0;
        case Route::ClientGetPollInfo:
            OpenAnswerWindows(XmlPayload(payload));
            return 0;
        case Route::ClientGetPollResult:
            ToWorker(L"/polling/out/clientgetpollresult", payload);
            return 0;
        case Route::ClientShowPollResult:
            OpenResultWindows(XmlPayload(payload));
            return 0;
        case Route::SetTransParams:
            ToWorker(L"/polling/out/settransparams", payload);
            return 0;
        case Route::StopPolling:
            CloseAnswerWindows(XmlPayload(payload));
            return 0;
        case Route::ClientNotifyPolling:
            // Every attendee's ballot arrives here. While a refresh is pending,
            // further ones only mark that one more is due when it ends, and
            // refreshes start at most once per spacing: a room voting at once
            // costs a few list downloads a second, not one per ballot, and the
            // refresh started last still shows every ballot.
            m_refreshQueued = true;
            if (!m_refreshPending) {
                m_updateLock.lock();
                ++m_updateLockDepth;
                m_refreshPending = true;
                RefreshWhenDue();
            }
            return 0;
        case Route::TranslateWindowMessage:
            ForwardKeyboardEvent(payload);
            return 0;
        case Route::BallotSent:
        case Route::BallotFailed:
            BallotDone(XmlPayload(payload), route == Route::BallotSent);
            return 0;
        case Route::CreateFailed:
        case Route::DeleteFailed:
        case Route::UpdateFailed:
        case Route::UpdateStatsFailed:
            if (m_managerWindow)
                m_managerWindow->JobFailed(route == Route::CreateFailed   ? PresenterJob::Create
                                           : route == Route::DeleteFailed ? PresenterJob::Delete
                                           : route == Route::UpdateFailed
                                               ? PresenterJob::Update
                                               : PresenterJob::UpdateStats);
            return 0;
        case Route::Nothing:
            return 0;
    }
    return 0;
}

int32_t PollManager::Init(const CWenNode& payload, bool hasPayload) {
    if (hasPayload) {
        m_imageFolder = payload.GetChild(L"skinfolder").GetText() + L"/image";
        m_hostWindow = HostWindowLocator::Find(payload.GetChild(L"mainhwnd").GetText());
        if (m_factory) m_factory->ApplySkinSettings(payload);
        CWenNode node = payload;
        ToWorker(L"/polling/out/settransparams", &node);
    }
    // The newest manager window replaces (and destroys) an older one.
    std::unique_ptr<IManagerWindow> window;
    if (m_factory) window = m_factory->CreateManagerWindow(*this, m_hostWindow.data());
    m_managerWindow = std::move(window);
    return m_managerWindow ? 0 : 1;
}

void PollManager::ApplyListReply(const CWenNode& reply) {
    if (m_managerWindow) m_managerWindow->List().Apply(reply);
}

void PollManager::StartRefresh() {
    m_refreshQueued = false;
    m_refreshStarted = std::chrono::steady_clock::now();
    ToWorker(L"/polling/out/getallpolling", nullptr);
}

void PollManager::RefreshWhenDue() {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_refreshStarted + m_refreshSpacing - std::chrono::steady_clock::now());
    if (wait.count() > 0) {
        if (!m_queuedRefresh.isActive()) m_queuedRefresh.start(wait);
        return;
    }
    StartRefresh();
}

void PollManager::EndRefresh() {
    if (!m_refreshPending) return;
    // Notifications came meanwhile: the pending state goes on with one more.
    if (m_refreshQueued) {
        RefreshWhenDue();
        return;
    }
    m_refreshPending = false;
    if (m_updateLockDepth > 0) {
        --m_updateLockDepth;
        m_updateLock.unlock();
    }
}

void PollManager::ListFailed() {
    if (!m_managerWindow) return;
    m_managerWindow->ListFailed();
    // One fetch again at a time: the pause runs only after a failure and none
    // starts while it runs.
    if (!m_managerWindow->IsShown() || m_listRetry.isActive()) return;
    m_listRetry.start(m_listRetryPause);
    m_listRetryPause = std::min(m_listRetryPause * 2, m_listRetryLongest);
}

void PollManager::RetryList() {
    // A closed console fetches nothing more; showing it again fetches the list.
    if (!m_managerWindow || !m_managerWindow->IsShown()) {
        m_listRetryPause = m_listRetryFirst;
        return;
    }
    ToWorker(L"/polling/out/getallpolling", nullptr);
}

void PollManager::BallotDone(const CWenNode& ballot, bool sent) {
    const std::wstring pollId = ballot.GetChild(L"ID").GetText();
    for (const auto& window : m_answerWindows) {
        if (window->Record().pollId != pollId) continue;
        window->BallotDone(sent);  // may hide the window, never destroys it
        return;
    }
}

void PollManager::OpenAnswerWindows(const CWenNode& reply) {
    for (const CWenNode& element : PollRecordReader::RecordElements(reply)) {
        const std::wstring pollId = element.GetAttribute(L"PollingId");
        bool open = false;
        for (const auto& window : m_answerWindows)
            if (window->Record().pollId == pollId) open = true;
        if (open || !m_factory) continue;
        PollRecord record = PollRecordReader::ReadAnswerRecord(element);
        if (auto window = m_factory->CreateVoteWindow(*this, record, VoteMode::Voting))
            m_answerWindows.push_back(std::move(window));
    }
}

void PollManager::OpenResultWindows(const CWenNode& reply) {
    if (!m_factory) return;
    for (const CWenNode& element : PollRecordReader::RecordElements(reply)) {
        PollRecord record = PollRecordReader::ReadResultRecord(element);
        if (auto window = m_factory->CreateVoteWindow(*this, record, VoteMode::Result))
            m_resultWindows.push_back(std::move(window));
    }
}

void PollManager::CloseAnswerWindows(const CWenNode& pollIds) {
    CWenNodeList ids = pollIds.GetChildNodes();
    for (CWenNode id = ids.Next(); !id.IsNull(); id = ids.Next()) {
        const std::wstring pollId = id.GetText();
        for (auto it = m_answerWindows.begin(); it != m_answerWindows.end(); ++it) {
            if ((*it)->Record().pollId != pollId) continue;
            // Out of the list before it is touched: hiding may call back into Notify.
            std::unique_ptr<IVoteWindow> window = std::move(*it);
            m_answerWindows.erase(it);
            if (window->IsVisible()) window->Hide();
            break;
        }
    }
}

void PollManager::ForwardKeyboardEvent(void* payload) {
    auto* record = static_cast<WindowMessageRecord*>(payload);
    if (record == nullptr || record->target == nullptr || record->event == nullptr) return;
    // Only a live, visible widget of this application gets the host's key events.
    QWidget* target = HostWindowLocator::Live(record->target);
    if (target == nullptr || !target->isVisible()) return;
    switch (record->event->type()) {
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
            QCoreApplication::sendEvent(target, record->event);
            break;
        default:
            break;
    }
}

void PollManager::ToWorker(const wchar_t* path, void* payload) {
    if (m_worker != nullptr) m_worker->Dispatch(path, payload);
}

bool PollManager::SendCommand(const wchar_t* path, const CWenDoc& message) {
    CWenNode root = message.GetRoot();
    ToWorker(path, root.IsNull() ? nullptr : &root);
    return true;
}

bool PollManager::CmdCreatePolling(const PollRecord& record) {
    return SendCommand(CommandMessages::kCreatePollingPath, CommandMessages::CreatePolling(record));
}

bool PollManager::CmdUpdateContant(const PollRecord& record) {
    return SendCommand(CommandMessages::kUpdateContantPath, CommandMessages::UpdateContant(record));
}

bool PollManager::CmdUpdateStats(const std::vector<const PollRecord*>& records) {
    return SendCommand(CommandMessages::kUpdateStatsPath, CommandMessages::UpdateStats(records));
}

bool PollManager::CmdDelete(const std::vector<const PollRecord*>& records) {
    return SendCommand(CommandMessages::kDeletePath, CommandMessages::Delete(records));
}

bool PollManager::CmdSendPoll(const std::wstring& pollId,
                              const std::vector<std::wstring>& chosenItemNames) {
    return SendCommand(CommandMessages::kSendPollPath,
                       CommandMessages::SendPoll(pollId, chosenItemNames));
}

}  // namespace quibra
