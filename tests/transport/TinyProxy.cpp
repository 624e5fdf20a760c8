#include "transport/TinyProxy.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <csignal>
#include <stdexcept>

#include "support/TestSupport.h"
#include "transport/TransportTestSupport.h"

extern char** environ;

namespace quibra::test {

namespace {

bool PortAccepts(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

TinyProxy::TinyProxy(const std::filesystem::path& folder, const std::string& user,
                     const std::string& password)
    : m_port(FreeLoopbackPort()) {
    const std::string config = (folder / "tinyproxy.conf").string(),
                      log = (folder / "tinyproxy.log").string();
    std::string text =
        "Port " + std::to_string(m_port) +
        "\nListen 127.0.0.1\nTimeout 60\nMaxClients 20\nAllow 127.0.0.1\nLogLevel Warning\n";
    if (!user.empty()) text += "BasicAuth " + user + " " + password + "\n";
    WriteFileBytes(config, text);

    char* argv[] = {const_cast<char*>("tinyproxy"), const_cast<char*>("-d"),
                    const_cast<char*>("-c"), const_cast<char*>(config.c_str()), nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start tinyproxy");
    auto running = [this] { return m_pid > 0 && ::waitpid(m_pid, nullptr, WNOHANG) == 0; };
    if (!WaitFor([&] { return PortAccepts(m_port) || !running(); }) || !running()) {
        if (running()) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        throw std::runtime_error("tinyproxy did not start; see " + log);
    }
}

TinyProxy::~TinyProxy() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

}  // namespace quibra::test
