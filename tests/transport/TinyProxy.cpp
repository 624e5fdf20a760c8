#include "transport/TinyProxy.h"

#include <stdexcept>

#include "support/TestSupport.h"

namespace quibra::test {

TinyProxy::TinyProxy(const std::filesystem::path& folder, const std::string& user, const std::string& password) {
    m_port = FreeLoopbackPort();
    const std::filesystem::path config = folder / "tinyproxy.conf";
    std::string text = "Port " + std::to_string(m_port) +
                       "\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Warning\n";
    if (!user.empty()) text += "BasicAuth " + user + " " + password + "\n";
    WriteFileBytes(config, text);
    m_process = std::make_unique<ChildProcess>(
        std::vector<std::string>{"tinyproxy", "-d", "-c", config.string()}, folder / "tinyproxy.log");
    if (!WaitFor([&] { return PortAccepts(m_port) || !m_process->Running(); }) || !m_process->Running())
        throw std::runtime_error("tinyproxy did not start; see " + (folder / "tinyproxy.log").string());
}

std::wstring TinyProxy::Address() const { return L"127.0.0.1:" + std::to_wstring(m_port); }

}  // namespace quibra::test
