#pragma once

#include <string>

namespace quibra {

// The proxy that the user's settings prescribe for one URL. Filled by
// CHttpUtil::GetProxyForUrl; the caller owns it.
struct ProxyInfo {
    // A proxy is to be used.
    bool found = false;
    // The answer came from the auto-configuration script.
    bool fromScript = false;
    // Entries separated by ";": "host:port" for every scheme, or
    // "http=host:port" / "https=host:port" for one scheme only. A proxy that is
    // not a plain HTTP proxy carries its scheme ("socks5://host:port").
    std::wstring proxyList;
    // Hosts reached directly, separated by ";": names, "*" wildcards,
    // "<local>" (names without a dot), or address ranges ("127.0.0.0/8").
    std::wstring bypassList;
};

}  // namespace quibra
