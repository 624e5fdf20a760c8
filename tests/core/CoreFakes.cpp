#include "CoreFakes.h"

namespace quibra::test {

void RecordingWorker::Dispatch(const wchar_t* path, void* payload) {
    std::string xml;
    if (payload != nullptr && std::wstring(path) == L"/polling/out/setuserid")
        xml = ToUtf8(static_cast<const wchar_t*>(payload));
    else if (payload != nullptr)
        xml = Outline(*static_cast<const CWenNode*>(payload));
    calls.push_back({path, xml, payload != nullptr});
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

std::vector<std::string> Trace(const std::vector<Call>& calls) {
    std::vector<std::string> lines;
    for (const Call& call : calls)
        lines.push_back(ToUtf8(call.path) + (call.hadPayload ? " " + call.xml : ""));
    return lines;
}

}  // namespace quibra::test
