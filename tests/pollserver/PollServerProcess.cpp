#include "PollServerProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <sstream>

namespace quibra::test {

namespace {

std::string HostPort(const std::string& url) {
    return url.substr(url.find("://") + 3);
}

}  // namespace

PollServerProcess::~PollServerProcess() {
    if (m_pid > 0) Kill();
}

bool PollServerProcess::Start(const std::filesystem::path& database,
                              const std::vector<std::string>& extra) {
    m_http.clear();
    m_https.clear();
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
    if (m_pid < 0) {
        m_error = "fork failed";
        return false;
    }

    // Read the ready line; the limit only guards against a hung server.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (line.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd fd{m_stdout, POLLIN, 0};
        if (left.count() <= 0 || poll(&fd, 1, static_cast<int>(left.count())) <= 0) {
            m_error = "no ready line";
            Kill();
            return false;
        }
        char buffer[256];
        const ssize_t got = read(m_stdout, buffer, sizeof buffer);
        if (got <= 0) {
            m_error = "server ended before it was ready: " + line;
            Wait();
            return false;
        }
        line.append(buffer, static_cast<std::size_t>(got));
    }
    std::istringstream words(line);
    for (std::string word; words >> word;) {
        if (word.rfind("http://", 0) == 0) m_http = word;
        if (word.rfind("https://", 0) == 0) m_https = word;
    }
    if (m_http.empty() && m_https.empty()) {
        m_error = "no URL in: " + line;
        Kill();
        return false;
    }
    return true;
}

int PollServerProcess::Wait() {
    int status = 0;
    while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    if (m_stdout >= 0) close(m_stdout);
    m_stdout = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int PollServerProcess::Stop() {
    if (m_pid <= 0) return -1;
    kill(m_pid, SIGTERM);
    return Wait();
}

std::string PollServerProcess::HttpAddress() const {
    return HostPort(m_http);
}

std::string PollServerProcess::HttpsAddress() const {
    return HostPort(m_https);
}

void PollServerProcess::Kill() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGKILL);
    Wait();
}

}  // namespace quibra::test
