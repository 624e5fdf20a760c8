#pragma once

#include <memory>

#include "transport/ProxySettings.h"

struct _GSettings;
struct _GSettingsBackend;

namespace quibra {

// A kept view of the desktop's per-user proxy settings ("org.gnome.system.proxy"
// and its "http" and "https" children). Opening the settings (schema lookup,
// backend binding, change subscription) is the expensive part; the values
// themselves are read from the store on every Read, so a change made while the
// view is kept is seen by the next Read. Not thread-safe: callers serialise
// Read.
class DesktopProxySettings {
public:
    // `backend` is for tests; null binds the user's own store. A machine
    // without the schema gives a view that reads empty settings.
    explicit DesktopProxySettings(_GSettingsBackend* backend = nullptr);
    ~DesktopProxySettings();
    DesktopProxySettings(const DesktopProxySettings&) = delete;
    DesktopProxySettings& operator=(const DesktopProxySettings&) = delete;

    // Mode "manual" gives the HTTP and HTTPS proxies (else the SOCKS one) and the ignored hosts,
    // mode "auto" the script URL (an empty URL asks for automatic detection).
    // Always true: missing settings are an empty answer.
    bool Read(ProxySettings& settings) const;
    // False when the schema was not found: such a view only reads empty settings.
    bool IsOpen() const;

private:
    struct Handles;
    std::unique_ptr<Handles> m_handles;
};

}  // namespace quibra
