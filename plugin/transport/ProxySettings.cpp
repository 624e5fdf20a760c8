#include "transport/ProxySettings.h"

#include <glib.h>

#include <cstdlib>
#include <string_view>

#include "transport/DesktopProxySettings.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

const char* Env(const char* lower, const char* upper) {
    const char* value = std::getenv(lower);
    if (value == nullptr || *value == '\0') value = std::getenv(upper);
    return (value == nullptr || *value == '\0') ? nullptr : value;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (g_ascii_tolower(s[i]) != prefix[i]) return false;
    return true;
}

// "http://proxy:3128/" -> "proxy:3128"; other schemes are kept so that the
// request knows the proxy is not a plain HTTP one.
std::wstring ProxyFromEnvValue(std::string_view value) {
    value = Trim(value);
    if (StartsWithNoCase(value, "http://")) value.remove_prefix(7);
    const size_t schemeEnd = value.find("://");
    const size_t authority = schemeEnd == std::string_view::npos ? 0 : schemeEnd + 3;
    const size_t slash = value.find('/', authority);
    if (slash != std::string_view::npos) value = value.substr(0, slash);
    return FromUtf8(value);
}

void AppendEntry(std::wstring& list, std::wstring_view entry) {
    if (entry.empty()) return;
    if (!list.empty()) list += L';';
    list += entry;
}

}  // namespace

bool ReadEnvironmentProxySettings(ProxySettings& settings) {
    std::wstring list;
    if (const char* http = Env("http_proxy", "HTTP_PROXY"))
        AppendEntry(list, L"http=" + ProxyFromEnvValue(http));
    if (const char* https = Env("https_proxy", "HTTPS_PROXY"))
        AppendEntry(list, L"https=" + ProxyFromEnvValue(https));
    if (const char* all = Env("all_proxy", "ALL_PROXY")) AppendEntry(list, ProxyFromEnvValue(all));
    if (list.empty()) return false;

    settings = ProxySettings{};
    settings.proxyList = std::move(list);
    if (const char* noProxy = Env("no_proxy", "NO_PROXY")) {
        std::string_view rest(noProxy);
        while (!rest.empty()) {
            const size_t comma = rest.find(',');
            AppendEntry(settings.bypassList, FromUtf8(Trim(rest.substr(0, comma))));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    return true;
}

bool ReadDesktopProxySettings(ProxySettings& settings, _GSettingsBackend* backend) {
    return DesktopProxySettings(backend).Read(settings);
}

}  // namespace quibra
