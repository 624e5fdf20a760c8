#include "transport/DesktopProxySettings.h"

#include <string>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include "xml/WideString.h"

namespace quibra {

namespace {

template <typename T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
void UnrefObject(GSettings* s) {
    g_object_unref(s);
}
void FreeString(gchar* s) {
    g_free(s);
}
void FreeStrv(gchar** s) {
    g_strfreev(s);
}
using SettingsPtr = std::unique_ptr<GSettings, Deleter<GSettings, UnrefObject>>;
using SchemaPtr =
    std::unique_ptr<GSettingsSchema, Deleter<GSettingsSchema, g_settings_schema_unref>>;
using StringPtr = std::unique_ptr<gchar, Deleter<gchar, FreeString>>;
using StrvPtr = std::unique_ptr<gchar*, Deleter<gchar*, FreeStrv>>;

std::wstring GetString(GSettings* settings, const char* key) {
    StringPtr value(g_settings_get_string(settings, key));
    return value ? FromUtf8(value.get()) : std::wstring();
}

void AppendEntry(std::wstring& list, std::wstring_view entry) {
    if (entry.empty()) return;
    if (!list.empty()) list += L';';
    list += entry;
}

// "host:port" from a child such as "org.gnome.system.proxy.http"; empty when
// the host or the port is unusable.
std::wstring HostAndPort(GSettings* settings) {
    if (settings == nullptr) return {};
    const std::wstring host = GetString(settings, "host");
    const int port = g_settings_get_int(settings, "port");
    if (host.empty() || port <= 0 || port > 65535) return {};
    return host + L":" + ToWide(port);
}

void AppendDesktopProxy(std::wstring& list, GSettings* settings, const wchar_t* scheme) {
    const std::wstring proxy = HostAndPort(settings);
    if (!proxy.empty()) AppendEntry(list, std::wstring(scheme) + L"=" + proxy);
}

}  // namespace

struct DesktopProxySettings::Handles {
    SettingsPtr proxy;
    SettingsPtr http;
    SettingsPtr https;
    SettingsPtr socks;
};

DesktopProxySettings::DesktopProxySettings(_GSettingsBackend* backend)
    : m_handles(std::make_unique<Handles>()) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (source == nullptr) return;
    SchemaPtr schema(g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE));
    if (!schema) return;
    m_handles->proxy.reset(g_settings_new_full(schema.get(), backend, nullptr));
    if (!m_handles->proxy) return;
    m_handles->http.reset(g_settings_get_child(m_handles->proxy.get(), "http"));
    m_handles->https.reset(g_settings_get_child(m_handles->proxy.get(), "https"));
    m_handles->socks.reset(g_settings_get_child(m_handles->proxy.get(), "socks"));
}

DesktopProxySettings::~DesktopProxySettings() = default;

bool DesktopProxySettings::IsOpen() const {
    return m_handles->proxy != nullptr;
}

bool DesktopProxySettings::Read(ProxySettings& settings) const {
    settings = ProxySettings{};
    GSettings* proxy = m_handles->proxy.get();
    if (proxy == nullptr) return true;

    const std::wstring mode = GetString(proxy, "mode");
    if (mode == L"manual") {
        AppendDesktopProxy(settings.proxyList, m_handles->http.get(), L"http");
        AppendDesktopProxy(settings.proxyList, m_handles->https.get(), L"https");
        // A SOCKS host alone serves both schemes, as all_proxy=socks5://... does.
        if (settings.proxyList.empty()) {
            const std::wstring socks = HostAndPort(m_handles->socks.get());
            if (!socks.empty()) settings.proxyList = L"socks5://" + socks;
        }
        StrvPtr hosts(g_settings_get_strv(proxy, "ignore-hosts"));
        for (gchar** host = hosts.get(); host != nullptr && *host != nullptr; ++host)
            AppendEntry(settings.bypassList, FromUtf8(*host));
    } else if (mode == L"auto") {
        settings.autoConfigUrl = GetString(proxy, "autoconfig-url");
        settings.autoDetect = settings.autoConfigUrl.empty();
    }
    return true;
}

}  // namespace quibra
