#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace quibra::test {

// Debian's tinyproxy on a free loopback port, in the foreground, with a
// configuration of its own; optionally demanding Basic credentials. It adds a
// Via header to what it forwards, so the server can tell proxied requests.
// Stopped (SIGTERM) and reaped on destruction.
class TinyProxy {
public:
    TinyProxy(const std::filesystem::path& folder, const std::string& user = {},
              const std::string& password = {});
    ~TinyProxy();
    TinyProxy(const TinyProxy&) = delete;
    TinyProxy& operator=(const TinyProxy&) = delete;

    // "127.0.0.1:<port>"
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(m_port); }

private:
    uint16_t m_port = 0;
    pid_t m_pid = -1;
};

}  // namespace quibra::test
