#pragma once

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

}  // namespace quibra::test
