#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "transport/ChildProcess.h"

namespace quibra::test {

// Debian's tinyproxy on a free loopback port, in the foreground, with a
// configuration of its own; optionally demanding Basic credentials. It adds a
// Via header to what it forwards, so the server can tell proxied requests.
class TinyProxy {
public:
    TinyProxy(const std::filesystem::path& folder, const std::string& user = {}, const std::string& password = {});
    uint16_t Port() const { return m_port; }
    // "127.0.0.1:<port>"
    std::wstring Address() const;

private:
    uint16_t m_port = 0;
    std::unique_ptr<ChildProcess> m_process;
};

}  // namespace quibra::test
