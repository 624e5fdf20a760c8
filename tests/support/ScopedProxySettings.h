#pragma once

#include <optional>

#include "transport/CHttpUtil.h"
#include "transport/HttpRequest.h"

namespace quibra::test {

// Makes every request of the test see `settings` as the user's proxy settings (none: the
// user's real ones), and starts from the Basic scheme; both are put back at the end.
class ScopedProxySettings {
public:
    explicit ScopedProxySettings(std::optional<ProxySettings> settings = ProxySettings{}) {
        Use(std::move(settings));
    }
    ~ScopedProxySettings() { Use(std::nullopt); }
    ScopedProxySettings(const ScopedProxySettings&) = delete;
    ScopedProxySettings& operator=(const ScopedProxySettings&) = delete;

    void Use(std::optional<ProxySettings> settings) {
        HttpRequest::SetProxyAuthScheme(ProxyAuthScheme::Basic);
        CHttpUtil::SettingsReader reader;
        if (settings) reader = [s = *settings](ProxySettings& out) { return out = s, true; };
        CHttpUtil::Instance().SetSettingsReader(reader);
    }
};

}  // namespace quibra::test
