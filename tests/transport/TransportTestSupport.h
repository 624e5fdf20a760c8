#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

#include "transport/CHttpUtil.h"
#include "transport/HttpRequest.h"

namespace quibra::test {

// Makes every request of the test see `settings` as the user's proxy settings,
// and starts from the Basic scheme; both are put back at the end of the scope.
class ScopedProxySettings {
public:
    explicit ScopedProxySettings(ProxySettings settings = {}) { Use(std::move(settings)); }
    ~ScopedProxySettings() {
        CHttpUtil::Instance().SetSettingsReader({});
        HttpRequest::SetProxyAuthScheme(ProxyAuthScheme::Basic);
    }
    ScopedProxySettings(const ScopedProxySettings&) = delete;
    ScopedProxySettings& operator=(const ScopedProxySettings&) = delete;

    void Use(ProxySettings settings) {
        HttpRequest::SetProxyAuthScheme(ProxyAuthScheme::Basic);
        CHttpUtil::Instance().SetSettingsReader([settings](ProxySettings& out) {
            out = settings;
            return true;
        });
    }
};

inline ProxySettings ExplicitProxy(std::wstring list, std::wstring bypass = {}) {
    ProxySettings settings;
    settings.proxyList = std::move(list);
    settings.bypassList = std::move(bypass);
    return settings;
}

inline ProxySettings ScriptAt(std::wstring url) {
    ProxySettings settings;
    settings.autoConfigUrl = std::move(url);
    return settings;
}

// A loopback port that nothing listens on at the moment of the call.
inline uint16_t FreeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    const bool ok = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0;
    if (fd >= 0) ::close(fd);
    if (!ok) throw std::runtime_error("no free loopback port");
    return ntohs(addr.sin_port);
}

// "http://127.0.0.1:<port>/proxy.pac" on a port nothing listens on.
inline std::wstring DeadScriptUrl() {
    return L"http://127.0.0.1:" + std::to_wstring(FreeLoopbackPort()) + L"/proxy.pac";
}

}  // namespace quibra::test
