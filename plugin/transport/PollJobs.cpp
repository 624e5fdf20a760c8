#include "transport/PollJobs.h"

#include <sys/random.h>

#include <cerrno>
#include <random>

#include "config/AppConfig.h"
#include "i18n/MessageIds.h"
#include "quibra/CWenDoc.h"
#include "quibra/IPollNotify.h"
#include "transport/RequestTask.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

std::wstring Indexed(const wchar_t* name, int i) {
    return name + ToWide(i);
}

// Fields copied from a command message: texts of children of "Polling".
class CommandFields {
public:
    explicit CommandFields(const CWenNode& polling) : m_polling(polling) {}
    std::wstring Text(const std::wstring& name) const { return m_polling.GetChild(name).GetText(); }
    // A count names how many numbered fields follow. It never exceeds the
    // elements the message holds, so a bogus count cannot run away.
    int Count(const std::wstring& name) const {
        const int n = m_polling.GetChild(name).GetTextInt();
        const int present = m_polling.GetChildNodes().GetCount();
        return n < present ? n : present;
    }

private:
    CWenNode m_polling;
};

CWenNode PollingOf(const CWenNode& command) {
    return command.GetChild(L"Polling");
}

// The numbered groups of a message: for each i below the count, the fields
// name_i of every prefix, in the order given (the jobs differ in that order).
void AddNumbered(HttpRequest& request, const CommandFields& fields, const wchar_t* count,
                 std::initializer_list<const wchar_t*> prefixes) {
    for (int i = 0, n = fields.Count(count); i < n; ++i)
        for (const wchar_t* prefix : prefixes)
            request.AddField(Indexed(prefix, i), fields.Text(Indexed(prefix, i)));
}

}  // namespace

PollJobs::PollJobs(IJobHost& host) : m_host(host) {}

std::wstring PollJobs::TempFileName(const std::wstring& folder) {
    // The OS random source in one call: no device to open per name.
    unsigned char bytes[16];
    size_t have = 0;
    while (have < sizeof bytes) {
        const ssize_t got = getrandom(bytes + have, sizeof bytes - have, 0);
        if (got > 0) {
            have += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            break;
        }
    }
    if (have < sizeof bytes) {
        std::random_device random;  // a kernel without getrandom
        for (size_t i = 0; i < sizeof bytes; i += 4) {
            const unsigned value = random();
            for (size_t k = 0; k < 4; ++k)
                bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
        }
    }
    // 8-4-4-4-12 hexadecimal digits, upper case, "_" between the groups.
    std::wstring name;
    for (size_t i = 0; i < sizeof bytes; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) name += L'_';
        name += ToHexWide(bytes[i], 2, true);
    }
    return folder + L"/" + name + L".xml";
}

std::unique_ptr<HttpRequest> PollJobs::NewRequest() const {
    auto request = std::make_unique<HttpRequest>();
    const TransportParams& params = m_host.Params();
    if (!params.proxyUser.empty()) {
        request->SetProxyUser(params.proxyUser);
        request->SetProxyPassword(params.proxyPassword);
    }
    request->SetBearerToken(ToUtf8(params.authToken));
    // Opt-in in the user's configuration: the server's CA and/or key pin.
    const auto& config = AppConfig::Instance();
    request->SetServerIdentity(
        ToUtf8(config.GetSetting(AppConfig::kSystemSettingPath, L"ServerCAFile", L"value")),
        ToUtf8(config.GetSetting(AppConfig::kSystemSettingPath, L"ServerPin", L"value")));
    return request;
}

std::wstring PollJobs::Url(const wchar_t* script) const {
    // Asked every time: the configuration may have been loaded since.
    return (AppConfig::Instance().UseSSL() ? L"https://" : L"http://") + m_host.Params().managerIp +
           script;
}

std::shared_ptr<TaskCompletion> PollJobs::Start(std::unique_ptr<HttpRequest> request,
                                                const std::wstring& targetFile,
                                                const wchar_t* script,
                                                const std::wstring& successPath,
                                                const std::wstring& failurePath, RetryPolicy retry,
                                                CWenNode context) {
    auto task = std::make_unique<RequestTask>(std::move(request), targetFile, Url(script),
                                              m_host.Mailbox(), successPath, failurePath);
    task->SetRetry(retry);
    task->SetContext(std::move(context));
    std::shared_ptr<TaskCompletion> done = task->GetThreadHandle();
    if (!task->Start()) return nullptr;  // nothing is reported for a task that never ran
    task.release();                      // the running task owns itself now
    return done;
}

void PollJobs::NotifyHost(const wchar_t* path, const CWenDoc& notification) {
    IPollNotify* host = m_host.HostNotify();
    if (host == nullptr) return;
    CWenNode root = notification.GetRoot();
    host->Notify(path, &root);
}

void PollJobs::CreatePolling(const CWenNode& command) {
    const CommandFields fields(PollingOf(command));
    const TransportParams& params = m_host.Params();
    auto request = NewRequest();
    request->AddField(L"job", L"CreatePolling");
    request->AddField(L"userid", params.authorName);
    request->AddField(L"modulename", params.moduleName);
    request->AddField(L"title", fields.Text(L"title"));
    request->AddField(L"type", fields.Text(L"type"));
    request->AddField(L"status", L"N");
    request->AddField(L"issign", fields.Text(L"issign"));
    request->AddField(L"ispublish", L"0");
    request->AddField(L"itemcount", fields.Text(L"itemcount"));
    AddNumbered(*request, fields, L"itemcount", {L"content_", L"itemname_"});
    // Never sent twice: a resent creation would make a second poll.
    Start(std::move(request), L"", kPollingScript, L"/polling/out/createnewpollok",
          L"/polling/out/createnewpollerror");
}

void PollJobs::DeletePolling(const CWenNode& command) {
    const CommandFields fields(PollingOf(command));
    auto request = NewRequest();
    request->AddField(L"job", L"DeletePolling");
    request->AddField(L"pollcount", fields.Text(L"pollcount"));
    AddNumbered(*request, fields, L"pollcount", {L"pollid_"});
    // Deleting twice deletes once: tried again within the same budget as a ballot.
    Start(std::move(request), L"", kPollingScript, L"/polling/out/deletepollok",
          L"/polling/out/deletepollerror", RetryPolicy::Within(m_voteWait));
}

void PollJobs::UpdatePolling(const CWenNode& command) {
    // The message's own action type decides, not the path it came on.
    const std::wstring action = command.GetAttribute(L"ActionType");
    if (action == L"UpdateContant")
        UpdatePollingContent(PollingOf(command));
    else if (action == L"UpdateStats")
        UpdatePollingStatus(PollingOf(command));
}

void PollJobs::UpdatePollingContent(const CWenNode& polling) {
    const CommandFields fields(polling);
    auto request = NewRequest();
    request->AddField(L"job", L"UpdatePolling");
    for (const wchar_t* name : {L"pollid", L"title", L"type", L"issign"})
        request->AddField(name, fields.Text(name));
    request->AddField(L"ispublish", L"0");
    request->AddField(L"itemcount", fields.Text(L"itemcount"));
    AddNumbered(*request, fields, L"itemcount", {L"itemname_", L"content_"});
    Start(std::move(request), L"", kPollingScript, L"/polling/out/updateok",
          L"/polling/out/updateerror", RetryPolicy::Within(m_voteWait));
}

void PollJobs::UpdatePollingStatus(const CWenNode& polling) {
    const CommandFields fields(polling);
    CWenDoc notification;
    CWenNode ids = notification.Create(L"Polling");
    std::wstring status;
    std::wstring publish;
    auto request = NewRequest();
    request->AddField(L"job", L"UpdatePollingStatus");
    request->AddField(L"pollcount", fields.Text(L"pollcount"));
    for (int i = 0, n = fields.Count(L"pollcount"); i < n; ++i) {
        const std::wstring pollId = fields.Text(Indexed(L"pollid_", i));
        const std::wstring pollStatus = fields.Text(Indexed(L"status_", i));
        const std::wstring pollPublish = fields.Text(Indexed(L"ispublish_", i));
        request->AddField(Indexed(L"pollid_", i), pollId);
        request->AddField(Indexed(L"status_", i), pollStatus);
        request->AddField(Indexed(L"ispublish_", i), pollPublish);
        ids.AddChild(L"ID").SetText(pollId);
        if (status.empty()) status = pollStatus;
        if (publish.empty()) publish = pollPublish;
    }
    Start(std::move(request), L"", kPollingScript, L"/polling/out/updatestatsok",
          L"/polling/out/updatestatserror", RetryPolicy::Within(m_voteWait));
    // The host hears of the change at once; a later failure does not withdraw it.
    if (publish != L"0")
        NotifyHost(L"/polling/notify/publish", notification);
    else if (status == L"O")
        NotifyHost(L"/polling/notify/open", notification);
    else if (status == L"C")
        NotifyHost(L"/polling/notify/close", notification);
}

bool PollJobs::PostPolling(const CWenNode& command) {
    const CommandFields fields(PollingOf(command));
    const TransportParams& params = m_host.Params();
    const std::wstring pollId = fields.Text(L"pollid");
    CWenDoc notification;
    notification.Create(L"Polling").AddChild(L"ID").SetText(pollId);

    auto request = NewRequest();
    request->AddField(L"job", L"PostPolling");
    request->AddField(L"pollid", pollId);
    request->AddField(L"userid", params.userId);
    request->AddField(L"username", params.userName);
    request->AddField(L"itemcount", fields.Text(L"itemcount"));
    AddNumbered(*request, fields, L"itemcount", {L"itemname_"});
    // The ballot counts as sent only on the server's 200; failures that may pass
    // are tried again (a second ballot of the user replaces the first) within
    // the vote's time. The outcome comes back to the worker with the poll id;
    // without a window to come back to, nothing is sent.
    if (!m_host.Mailbox()) return false;
    return Start(std::move(request), L"", kPollingScript, kBallotSentPath, kBallotFailedPath,
                 RetryPolicy::Within(m_voteWait), notification.GetRoot()) != nullptr;
}

bool PollJobs::GetResults(int mode, const CWenNode& pollIds) {
    const wchar_t* job = nullptr;
    const wchar_t* success = nullptr;
    const wchar_t* failure = nullptr;
    switch (mode) {
        case 1:
            job = L"GetPollingResult", success = L"/polling/out/getresultok",
            failure = L"/polling/out/getresulterror";
            break;
        case 2:
            job = L"GetPollingInfo", success = L"/polling/out/clientgetresultok",
            failure = L"/polling/out/clientgetresulterror";
            break;
        case 3:
            job = L"GetPollingResult2", success = L"/polling/out/clientshowresultok",
            failure = L"/polling/out/clientshowresulterror";
            break;
        default:
            return false;
    }
    std::unique_lock<std::recursive_mutex> lock(m_host.WorkerLock(), std::defer_lock);
    if (mode != 1) lock.lock();
    const TransportParams& params = m_host.Params();
    auto request = NewRequest();
    request->AddField(L"job", job);
    if (mode == 1) {
        request->AddField(L"modulename", params.moduleName);
        request->AddField(L"userid", params.authorName);
    } else {
        std::vector<std::wstring> ids;
        CWenNodeList children = pollIds.GetChildNodes();
        for (CWenNode id = children.Next(); !id.IsNull(); id = children.Next())
            ids.push_back(id.GetText());
        request->AddField(L"pollcount", ToWide(static_cast<long long>(ids.size())));
        for (size_t i = 0; i < ids.size(); ++i)
            request->AddField(Indexed(L"pollid_", static_cast<int>(i)), ids[i]);
    }
    Start(std::move(request), TempFileName(params.tempFolder), kResultScript, success, failure);
    return true;
}

}  // namespace quibra
