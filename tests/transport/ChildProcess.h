#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/types.h>

namespace quibra::test {

// A program run by a test, its output sent to a log file; stopped (SIGTERM)
// and reaped on destruction.
class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& argv, const std::filesystem::path& log);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Running();
    // Runs a program to its end; its exit status, or -1.
    static int Run(const std::vector<std::string>& argv, const std::filesystem::path& log);

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
};

// A loopback port that nothing listens on at the moment of the call.
uint16_t FreeLoopbackPort();
// Whether a TCP connection to 127.0.0.1:port is accepted.
bool PortAccepts(uint16_t port);

}  // namespace quibra::test
