#include "support/TinyproxyProcess.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/ScriptedServer.h"

namespace quibra::test {

TinyproxyProcess::TinyproxyProcess(const std::string& extra)
    : m_port(std::to_string(ScriptedServer().Port())),  // free once that server is gone
      m_log((m_dir / "tinyproxy.log").string()) {
    const std::string config = (m_dir / "tinyproxy.conf").string();
    WriteFileBytes(config, "Port " + m_port + "\nListen 127.0.0.1\nAllow 127.0.0.1\nLogFile \"" +
                               m_log + "\"\nLogLevel Info\n" + extra);
    m_pid = ::fork();  // only async-signal-safe calls in the child
    if (m_pid == 0)
        ::execlp("tinyproxy", "tinyproxy", "-d", "-c", config.c_str(), nullptr), ::_exit(1);
}

TinyproxyProcess::~TinyproxyProcess() {
    if (m_pid <= 0) return;
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
}

bool TinyproxyProcess::Ready() const {
    return WaitFor([&] { return Log().find("Accepting connections") != std::string::npos; });
}

std::string TinyproxyProcess::Log() const {
    return ReadFileBytes(m_log);
}

}  // namespace quibra::test
