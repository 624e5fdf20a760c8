// What the user's proxy settings and the proxy's answers bring in: a proxy
// script's answer, the environment's proxy variables, the bypass list matched
// against a host, and a Proxy-Authenticate value. The input is split at line
// breaks into those fields.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "transport/ProxyRules.h"
#include "transport/ProxySettings.h"
#include "xml/WideString.h"

namespace {

std::vector<std::string> Fields(std::string_view input, size_t count) {
    std::vector<std::string> fields;
    while (fields.size() + 1 < count) {
        const size_t end = input.find('\n');
        if (end == std::string_view::npos) break;
        fields.emplace_back(input.substr(0, end));
        input.remove_prefix(end + 1);
    }
    fields.emplace_back(input);
    fields.resize(count);
    return fields;
}

void SetEnv(const char* name, const std::string& value) {
    // A variable holds no zero byte; an empty field unsets it.
    const std::string text = value.substr(0, value.find('\0'));
    if (text.empty())
        unsetenv(name);
    else
        setenv(name, text.c_str(), 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quibra;
    const auto f = Fields(std::string_view(reinterpret_cast<const char*>(data), size), 7);

    std::wstring proxyList;
    bool direct = false;
    if (proxy_rules::FromPacAnswer(f[0], proxyList, direct)) {
        proxy_rules::ChooseProxy(proxyList, false);
        proxy_rules::ChooseProxy(proxyList, true);
    }

    const std::wstring bypass = FromUtf8(f[1]);
    proxy_rules::IsBypassedByPattern(bypass, FromUtf8(f[2]));
    proxy_rules::ToCurlNoProxy(bypass);

    SetEnv("http_proxy", f[3]);
    SetEnv("all_proxy", f[4]);
    SetEnv("no_proxy", f[5]);
    ProxySettings settings;
    if (ReadEnvironmentProxySettings(settings)) {
        proxy_rules::ChooseProxy(settings.proxyList, false);
        proxy_rules::ChooseProxy(settings.proxyList, true);
        proxy_rules::IsBypassedByPattern(settings.bypassList, FromUtf8(f[2]));
        proxy_rules::ToCurlNoProxy(settings.bypassList);
    }

    for (const std::string& scheme : proxy_rules::OfferedSchemes(f[6]))
        if (scheme.empty()) std::abort();
    return 0;
}
