#include "PollServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

namespace quibra::test {

bool PollServerProcess::Start(const std::filesystem::path& database,
                              const std::vector<std::string>& extra) {
    m_http.clear();
    m_https.clear();
    m_metrics.clear();
    std::vector<std::string> args = {QUIBRA_POLLSERVER_EXE, "--http", "0", "--https", "0", "--db",
                                     database.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return false;
    }
    const pid_t parent = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // The server must not outlive a test that crashed.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        dup2(pipeFds[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeFds[1]);
    m_stdout = pipeFds[0];
    if (m_pid < 0) m_error = "fork failed";

    // Read the ready line; the limit only guards against a hung server.
    std::string line;
    pollfd ready{m_stdout, POLLIN, 0};
    for (char c = 0; m_pid > 0 && c != '\n'; line += c) {
        if (poll(&ready, 1, 30000) <= 0 || read(m_stdout, &c, 1) != 1) {
            m_error = "server ended or hung before it was ready: " + line;
            Kill();
        }
    }
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        if (word.rfind("http://", 0) == 0) m_http = word;
        if (word.rfind("https://", 0) == 0) m_https = word;
        if (word.rfind("metrics=", 0) == 0) m_metrics = word.substr(8);
    }
    if (m_pid > 0 && m_http.empty() && m_https.empty()) {
        m_error = "no URL in: " + line;
        Kill();
    }
    return m_pid > 0;
}

int PollServerProcess::Wait() {
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    close(m_stdout);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int PollServerProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    return Wait();
}

void PollServerProcess::Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    Wait();
}

}  // namespace quibra::test
