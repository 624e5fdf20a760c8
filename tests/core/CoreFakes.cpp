#include "CoreFakes.h"

#include "xml/WideString.h"

namespace quibra::test {

namespace {
std::string Narrow(const std::wstring& text) {
    return ToUtf8(text);
}

// name=text for leaves, name{child;child} otherwise, with ActionType when present.
std::string Describe(const CWenNode& node) {
    std::string out = Narrow(node.GetName());
    if (node.HasAttribute(L"ActionType"))
        out += "[" + Narrow(node.GetAttribute(L"ActionType")) + "]";
    CWenNodeList children = node.GetChildNodes();
    if (children.GetCount() == 0) return out + "=" + Narrow(node.GetText());
    out += "{";
    for (CWenNode child = children.Next(); !child.IsNull(); child = children.Next())
        out += Describe(child) + ";";
    return out + "}";
}
}  // namespace

std::string XmlOf(const CWenNode* node) {
    if (node == nullptr || node->IsNull()) return std::string();
    return Describe(*node);
}

int32_t RecordingHost::Notify(const wchar_t* path, const CWenNode* payload) {
    Call call{path, {}, payload != nullptr};
    if (payload != nullptr) {
        call.xml = XmlOf(payload);
    }
    calls.push_back(call);
    return 0;
}

void RecordingWorker::Dispatch(const wchar_t* path, void* payload) {
    Call call{path, {}, payload != nullptr};
    if (payload != nullptr && std::wstring(path) == L"/polling/out/setuserid") {
        call.xml = Narrow(static_cast<const wchar_t*>(payload));
    } else if (payload != nullptr) {
        call.xml = XmlOf(static_cast<const CWenNode*>(payload));
    }
    calls.push_back(call);
    if (onDispatch) onDispatch(path);
}

int32_t RecordingManager::Notify(const wchar_t* path, void* payload) {
    calls.push_back({path, payload != nullptr ? XmlOf(static_cast<const CWenNode*>(payload)) : "",
                     payload != nullptr});
    return 0;
}

RecordingJobs::~RecordingJobs() {
    if (m_log != nullptr) m_log->push_back("jobs destroyed");
}

void RecordingJobs::Record(const std::wstring& job, const CWenNode& node) {
    calls.push_back({job, XmlOf(&node), !node.IsNull()});
}

FakeManagerWindow::~FakeManagerWindow() {
    if (m_log != nullptr) m_log->push_back("manager window destroyed");
}

FakeVoteWindow::~FakeVoteWindow() {
    if (m_log != nullptr) m_log->push_back("vote window destroyed " + Narrow(record.pollId));
}

void RecordingWindowFactory::ApplySkinSettings(const CWenNode&) {
    ++skinReads;
}

std::unique_ptr<IManagerWindow> RecordingWindowFactory::CreateManagerWindow(PollManager&,
                                                                            QWidget* hostWindow) {
    lastHostWindow = hostWindow;
    log.push_back("manager window created");
    if (failManagerWindow) return nullptr;
    auto window = std::make_unique<FakeManagerWindow>(&log);
    lastManagerWindow = window.get();
    return window;
}

std::unique_ptr<IVoteWindow> RecordingWindowFactory::CreateVoteWindow(PollManager&,
                                                                      const PollRecord& record,
                                                                      VoteMode mode) {
    auto window = std::make_unique<FakeVoteWindow>(record, mode, &log);
    voteWindows.push_back(window.get());
    return window;
}

std::atomic<int> ScriptedTask::live{0};

ScriptedTask::ScriptedTask(std::shared_ptr<TaskMailbox> mailbox, std::wstring path, int message,
                           CWenNode reply, std::function<void()> before)
    : m_mailbox(std::move(mailbox)),
      m_path(std::move(path)),
      m_message(message),
      m_reply(std::move(reply)),
      m_before(std::move(before)) {
    ++live;
}

ScriptedTask::~ScriptedTask() {
    WaitForThread();
    --live;
}

void ScriptedTask::Run() {
    if (m_before) m_before();
    auto notice = std::make_unique<TaskNotice>();
    notice->message = m_message;
    notice->path = m_path;
    notice->reply = m_reply;
    notice->task.reset(this);
    auto mailbox = m_mailbox;  // nothing of this task is touched once the notice is out
    if (!mailbox) return;      // the notice (and this task) go with it
    mailbox->Post(std::move(notice));
}

std::vector<std::string> Trace(const std::vector<Call>& calls) {
    std::vector<std::string> lines;
    for (const Call& call : calls)
        lines.push_back(Narrow(call.path) + (call.hadPayload ? " " + call.xml : ""));
    return lines;
}

CWenNode Xml(CWenDoc& doc, const std::string& text) {
    return doc.LoadXml(text);
}

}  // namespace quibra::test
