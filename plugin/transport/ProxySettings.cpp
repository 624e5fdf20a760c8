#include "transport/ProxySettings.h"

#include <cstdlib>
#include <memory>
#include <string_view>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

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

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
void UnrefObject(GSettings* s) { g_object_unref(s); }
void FreeString(gchar* s) { g_free(s); }
void FreeStrv(gchar** s) { g_strfreev(s); }
using SettingsPtr = std::unique_ptr<GSettings, Deleter<GSettings, UnrefObject>>;
using SchemaPtr = std::unique_ptr<GSettingsSchema, Deleter<GSettingsSchema, g_settings_schema_unref>>;
using StringPtr = std::unique_ptr<gchar, Deleter<gchar, FreeString>>;
using StrvPtr = std::unique_ptr<gchar*, Deleter<gchar*, FreeStrv>>;

std::wstring GetString(GSettings* settings, const char* key) {
    StringPtr value(g_settings_get_string(settings, key));
    return value ? FromUtf8(value.get()) : std::wstring();
}

// "http=host:port" from a child schema such as "org.gnome.system.proxy.http".
void AppendDesktopProxy(std::wstring& list, GSettings* parent, const char* child, const wchar_t* scheme) {
    SettingsPtr settings(g_settings_get_child(parent, child));
    if (!settings) return;
    const std::wstring host = GetString(settings.get(), "host");
    const int port = g_settings_get_int(settings.get(), "port");
    if (host.empty() || port <= 0 || port > 65535) return;
    AppendEntry(list, std::wstring(scheme) + L"=" + host + L":" + std::to_wstring(port));
}

}  // namespace

bool ReadEnvironmentProxySettings(ProxySettings& settings) {
    std::wstring list;
    if (const char* http = Env("http_proxy", "HTTP_PROXY")) AppendEntry(list, L"http=" + ProxyFromEnvValue(http));
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
    settings = ProxySettings{};
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) return true;
    SchemaPtr schema(g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE));
    if (!schema) return true;
    SettingsPtr proxy(g_settings_new_full(schema.get(), backend, nullptr));
    if (!proxy) return true;

    const std::wstring mode = GetString(proxy.get(), "mode");
    if (mode == L"manual") {
        AppendDesktopProxy(settings.proxyList, proxy.get(), "http", L"http");
        AppendDesktopProxy(settings.proxyList, proxy.get(), "https", L"https");
        StrvPtr hosts(g_settings_get_strv(proxy.get(), "ignore-hosts"));
        for (gchar** host = hosts.get(); host != nullptr && *host != nullptr; ++host)
            AppendEntry(settings.bypassList, FromUtf8(*host));
    } else if (mode == L"auto") {
        settings.autoConfigUrl = GetString(proxy.get(), "autoconfig-url");
        settings.autoDetect = settings.autoConfigUrl.empty();
    }
    return true;
}

bool ReadUserProxySettings(ProxySettings& settings) {
    if (ReadEnvironmentProxySettings(settings)) return true;
    return ReadDesktopProxySettings(settings);
}

}  // namespace quibra
