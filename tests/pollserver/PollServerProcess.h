#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace quibra::test {

// The real pollserver as a child process on ephemeral loopback ports. Start
// returns once the server has printed its URLs; the destructor stops it.
class PollServerProcess {
public:
    PollServerProcess() = default;
    ~PollServerProcess() { Kill(); }
    PollServerProcess(const PollServerProcess&) = delete;
    PollServerProcess& operator=(const PollServerProcess&) = delete;

    // Starts with --http 0 --https 0 --db <database> and the extra arguments.
    // False (with the reason in Error()) when it did not come up.
    bool Start(const std::filesystem::path& database, const std::vector<std::string>& extra = {});
    // SIGTERM and wait; returns the exit status (or -1 when not running).
    int Stop();
    // SIGKILL and wait: a crash between jobs.
    void Kill();

    const std::string& HttpUrl() const { return m_http; }
    const std::string& HttpsUrl() const { return m_https; }
    // The operators' listener of --metrics, or empty.
    const std::string& MetricsUrl() const { return m_metrics; }
    // "host:port" of each, as the host's init message names the poll server.
    std::string HttpAddress() const { return m_http.substr(m_http.find("://") + 3); }
    std::string HttpsAddress() const { return m_https.substr(m_https.find("://") + 3); }
    const std::string& Error() const { return m_error; }

private:
    int Wait();

    pid_t m_pid = -1;
    int m_stdout = -1;
    std::string m_http;
    std::string m_https;
    std::string m_metrics;
    std::string m_error;
};

}  // namespace quibra::test
