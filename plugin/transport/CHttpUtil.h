#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "transport/ProxyInfo.h"
#include "transport/ProxySettings.h"

namespace quibra {

class DesktopProxySettings;

// Finds the proxy that the current user's settings prescribe for a URL: an
// explicit proxy list first, then the auto-configuration script, else a direct
// connection. Automatic detection (WPAD) is never attempted. No answer is
// cached: every call reads the settings again, the desktop ones through a view
// of the settings store opened once and kept (see DesktopProxySettings).
// Thread-safe; called from the request threads.
class CHttpUtil {
public:
    // Where the settings come from; the default reads the environment, then
    // the desktop settings.
    using SettingsReader = std::function<bool(ProxySettings&)>;

    // The one process-wide instance; it lives until the process ends.
    static CHttpUtil& Instance();

    virtual ~CHttpUtil();
    CHttpUtil(const CHttpUtil&) = delete;
    CHttpUtil& operator=(const CHttpUtil&) = delete;

    // `url` is "http://host" or "https://host" (a path is allowed). True when
    // the settings were read and an answer reached: found tells whether a
    // proxy is to be used (a direct connection is an answer with found false).
    // False when the settings cannot be read, or the script cannot be fetched
    // or evaluated; `info` is then cleared.
    bool GetProxyForUrl(const std::wstring& url, ProxyInfo& info);

    // Replaces the settings source (tests); an empty reader restores the
    // user's own settings.
    void SetSettingsReader(SettingsReader reader);

private:
    CHttpUtil();
    SettingsReader CurrentReader();
    // The environment when it names a proxy, else the desktop settings through
    // the kept view.
    bool ReadUserSettings(ProxySettings& settings);

    std::mutex m_readerLock;
    SettingsReader m_reader;
    // Opened on first use and kept for the life of the instance; reads are
    // serialised by m_desktopLock.
    std::mutex m_desktopLock;
    std::unique_ptr<DesktopProxySettings> m_desktop;
};

}  // namespace quibra
