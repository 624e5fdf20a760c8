#include "core/PollWorker.h"

#include "core/MessageRoute.h"
#include "core/ShowMessageBox.h"
#include "i18n/CWenMsg.h"
#include "i18n/MessageIds.h"
#include "quibra/CWenDoc.h"
#include "transport/PollJobs.h"

namespace quibra {

namespace {

enum class Route {
    CreatePoll,
    SetUserId,
    DeletePoll,
    UpdateContent,
    UpdateStats,
    GetAllPolling,
    GetSinglePolling,
    ClientGetPollResult,
    PostPolling,
    SetTransportParams,
    ListReady,
    ListFailed,
    RefreshList,
    PollInfoReady,
    PollResultReady,
    BallotSent,
    BallotFailed,
    JobFailed,
    Nothing
};

// Matched in this order against the lower-cased path; the first match wins.
constexpr MessageRoute<Route> kRows[] = {
    {L"/polling/out/creaenewpolling", Route::CreatePoll},
    {L"/polling/out/setuserid", Route::SetUserId},
    {L"/polling/out/deletepolling", Route::DeletePoll},
    {L"/polling/out/updatecontant", Route::UpdateContent},
    {L"/polling/out/updatestats", Route::UpdateStats},
    {L"/polling/out/getallpolling", Route::GetAllPolling},
    {L"/polling/out/getsinglepolling", Route::GetSinglePolling},
    {L"/polling/out/clientgetpollresult", Route::ClientGetPollResult},
    {L"/polling/out/postpolling", Route::PostPolling},
    {L"/polling/out/settransparams", Route::SetTransportParams},
    {L"/polling/out/getresultok", Route::ListReady},
    {L"/polling/out/getresulterror", Route::ListFailed},
    {L"/polling/out/createnewpollok", Route::RefreshList},
    {L"/polling/out/createnewpollerror", Route::JobFailed},
    {L"/polling/out/deletepollok", Route::RefreshList},
    {L"/polling/out/deletepollerror", Route::JobFailed},
    {L"/polling/out/updateok", Route::RefreshList},
    {L"/polling/out/updateerror", Route::JobFailed},
    {L"/polling/out/updatestatsok", Route::RefreshList},
    {L"/polling/out/updatestatserror", Route::JobFailed},
    {L"/polling/out/clientgetresultok", Route::PollInfoReady},
    {L"/polling/out/clientgetresulterror", Route::Nothing},
    {L"/polling/out/clientshowresultok", Route::PollResultReady},
    {L"/polling/out/clientshowresulterror", Route::Nothing},
    {PollJobs::kBallotSentPath, Route::BallotSent},
    {PollJobs::kBallotFailedPath, Route::BallotFailed},
};

// A failed job's path, as the manager hears of it: "/polling/out/X" -> "/polling/in/X".
std::wstring ManagerPath(const wchar_t* path) {
    std::wstring lower = AsciiLower(path);
    return L"/polling/in/" + lower.substr(std::wstring_view(L"/polling/out/").size());
}

}  // namespace

PollWorker::PollWorker()
    : m_window(std::make_unique<MessageWindow>(*this)),
      m_jobs(std::make_unique<PollJobs>(static_cast<IJobHost&>(*this))) {}

PollWorker::~PollWorker() {
    // The window goes first: undelivered outcomes are freed with their tasks,
    // and tasks still running find the mailbox closed.
    m_window.reset();
    m_jobs.reset();
}

void PollWorker::Dispatch(const wchar_t* path, void* payload) {
    const Route route = MatchRoute(path, kRows, Route::Nothing);
    switch (route) {
        case Route::SetUserId:
            if (payload != nullptr) m_params.userId = static_cast<const wchar_t*>(payload);
            return;
        case Route::SetTransportParams:
            SetTransportParams(XmlPayload(payload));
            return;
        case Route::ListReady: {
            std::lock_guard lock(m_lock);
            if (m_manager != nullptr) m_manager->Notify(L"/polling/in/updating", payload);
            return;
        }
        case Route::ListFailed: {
            std::lock_guard lock(m_lock);
            if (m_manager != nullptr) m_manager->Notify(L"/polling/in/updatingerror", nullptr);
            return;
        }
        case Route::PollInfoReady:
            if (m_manager != nullptr) m_manager->Notify(L"/polling/in/clientgetpollinfo", payload);
            return;
        case Route::PollResultReady:
            if (m_manager != nullptr)
                m_manager->Notify(L"/polling/in/clientshowpollresult", payload);
            return;
        case Route::BallotSent:
            // The server has the ballot: now the host hears of it.
            if (m_hostNotify != nullptr)
                m_hostNotify->Notify(L"/polling/notify/postpolling", &XmlPayload(payload));
            if (m_manager != nullptr) m_manager->Notify(L"/polling/in/postpollingok", payload);
            return;
        case Route::BallotFailed:
            BallotFailed(XmlPayload(payload));
            return;
        case Route::JobFailed:
            // The presenter is told, and the list is fetched again: it shows what
            // the server really holds.
            if (m_manager != nullptr) m_manager->Notify(ManagerPath(path).c_str(), nullptr);
            if (m_jobs) StartListRequest();
            return;
        case Route::Nothing:
            return;
        default:
            break;
    }
    if (!m_jobs) return;
    const CWenNode& node = XmlPayload(payload);
    switch (route) {
        case Route::CreatePoll:
            m_jobs->CreatePolling(node);
            break;
        case Route::DeletePoll:
            m_jobs->DeletePolling(node);
            break;
        case Route::UpdateContent:
        case Route::UpdateStats:
            m_jobs->UpdatePolling(node);
            break;
        case Route::GetAllPolling:
        case Route::RefreshList:
            StartListRequest();
            break;
        case Route::GetSinglePolling:
            m_jobs->GetResults(2, node);
            break;
        case Route::ClientGetPollResult:
            m_jobs->GetResults(3, node);
            break;
        case Route::PostPolling:
            if (!m_jobs->PostPolling(node)) {
                // Never started: it failed at once.
                CWenDoc ballot;
                ballot.Create(L"Polling")
                    .AddChild(L"ID")
                    .SetText(node.GetChild(L"Polling").GetChild(L"pollid").GetText());
                BallotFailed(ballot.GetRoot());
            }
            break;
        default:
            break;
    }
}

void PollWorker::BallotFailed(const CWenNode& ballot) {
    // The host hears nothing; the voting dialog gets its choices back first, so
    // that Submit can be pressed again once the message is read.
    CWenNode copy = ballot;
    if (m_manager != nullptr)
        m_manager->Notify(L"/polling/in/postpollingerror", copy.IsNull() ? nullptr : &copy);
    ShowMessage(msg::kVoteNotSentInTime);
}

void PollWorker::StartListRequest() {
    m_jobs->GetResults(1, CWenNode());
}

void PollWorker::SetTransportParams(const CWenNode& node) {
    // Every key is replaced; a missing child clears its field.
    m_params.userId = node.GetChild(L"userid").GetText();
    m_params.userName = node.GetChild(L"username").GetText();
    m_params.sessionId = node.GetChild(L"sessionid").GetText();
    m_params.moduleName = node.GetChild(L"modulename").GetText();
    m_params.proxyUser = node.GetChild(L"proxyuser").GetText();
    m_params.proxyPassword = node.GetChild(L"proxypw").GetText();
    m_params.managerIp = node.GetChild(L"managerip").GetText();
    m_params.authorName = node.GetChild(L"authorname").GetText();
    m_params.tempFolder = node.GetChild(L"tmpfolder").GetText();
    // Renewed by the next settransparams; absent clears it like every key.
    m_params.authToken = node.GetChild(L"authtoken").GetText();
    m_window->Create(false);
}

void PollWorker::ShowMessage(int messageId) {
    ShowMessageBox(CWenMsg::GetInstance().GetMsg(messageId), 0);
}

}  // namespace quibra
