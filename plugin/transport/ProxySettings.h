#pragma once

#include <string>

struct _GSettingsBackend;

namespace quibra {

// The current user's proxy settings, as the system keeps them.
struct ProxySettings {
    // The user asked for automatic detection; read but never acted on.
    bool autoDetect = false;
    // URL of the auto-configuration script; empty for none.
    std::wstring autoConfigUrl;
    // Explicit proxies in the ProxyInfo format; empty for none.
    std::wstring proxyList;
    // Hosts reached directly, in the ProxyInfo format.
    std::wstring bypassList;
};

// The conventional variables https_proxy, http_proxy, all_proxy and no_proxy
// (lower case first, then upper case). True when one of the proxy variables
// names a proxy; `settings` is then filled.
bool ReadEnvironmentProxySettings(ProxySettings& settings);

// The desktop's per-user proxy settings ("org.gnome.system.proxy"): mode
// "manual" gives the HTTP and HTTPS proxies (else the SOCKS one) and the ignored hosts, mode "auto"
// the script URL (an empty URL asks for automatic detection). A machine
// without the schema has no settings. `backend` is for tests; null reads the
// user's own store. Always true: missing settings are an empty answer. Opens
// the settings afresh on each call; a frequent reader keeps a
// DesktopProxySettings instead.
bool ReadDesktopProxySettings(ProxySettings& settings, _GSettingsBackend* backend = nullptr);

}  // namespace quibra
