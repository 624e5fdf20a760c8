#include "transport/CHttpUtil.h"

#include <string_view>
#include <utility>

#include "transport/CurlEasy.h"
#include "transport/DesktopProxySettings.h"
#include "transport/PacEvaluator.h"
#include "transport/ProxyRules.h"
#include "xml/WideString.h"

namespace quibra {

namespace {

constexpr char kScriptUserAgent[] = "WenCheckProxy/1.0";
// A script larger than this is not a proxy script.
constexpr size_t kMaxScriptBytes = 1 << 20;
constexpr long kScriptConnectTimeoutMs = 30000;
constexpr long kScriptTimeoutMs = 60000;

struct ScriptBody {
    std::string bytes;
    bool tooLarge = false;
};

size_t CollectScript(char* data, size_t size, size_t count, void* user) {
    auto* body = static_cast<ScriptBody*>(user);
    const size_t n = size * count;
    if (body->bytes.size() + n > kMaxScriptBytes) {
        body->tooLarge = true;
        return 0;
    }
    body->bytes.append(data, n);
    return n;
}

// The script is fetched directly: it is what decides about proxies.
bool FetchScript(const std::string& url, std::string& script) {
    CurlEasy curl;
    if (!curl) return false;
    CURL* h = curl.Get();
    ScriptBody body;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(h, CURLOPT_PROXY, "");
    curl_easy_setopt(h, CURLOPT_NOPROXY, "");
    curl_easy_setopt(h, CURLOPT_USERAGENT, kScriptUserAgent);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, kScriptConnectTimeoutMs);
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, kScriptTimeoutMs);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, CollectScript);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &body);
    if (curl_easy_perform(h) != CURLE_OK) return false;
    long status = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
    // file:// has no status; a web server must answer 200.
    if (status != 0 && status != 200) return false;
    script = std::move(body.bytes);
    return true;
}

// The host part of "scheme://host[:port][/path]".
std::string HostOf(const std::string& url) {
    std::string_view rest(url);
    const size_t scheme = rest.find("://");
    if (scheme != std::string_view::npos) rest.remove_prefix(scheme + 3);
    rest = rest.substr(0, rest.find_first_of("/?#"));
    const size_t at = rest.rfind('@');
    if (at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (!rest.empty() && rest.front() == '[')
        return std::string(rest.substr(1, rest.find(']') - 1));
    return std::string(rest.substr(0, rest.find(':')));
}

}  // namespace

CHttpUtil& CHttpUtil::Instance() {
    // Never destroyed, like everything else request threads touch: a request
    // still running when the process exits may be inside it.
    static CHttpUtil& instance = *new CHttpUtil;
    return instance;
}

CHttpUtil::CHttpUtil() = default;
CHttpUtil::~CHttpUtil() = default;

void CHttpUtil::SetSettingsReader(SettingsReader reader) {
    std::lock_guard lock(m_readerLock);
    m_reader = std::move(reader);
}

CHttpUtil::SettingsReader CHttpUtil::CurrentReader() {
    std::lock_guard lock(m_readerLock);
    return m_reader;
}

bool CHttpUtil::ReadUserSettings(ProxySettings& settings) {
    if (ReadEnvironmentProxySettings(settings)) return true;
    std::lock_guard lock(m_desktopLock);
    // A view without the schema is opened again, so that settings installed
    // while the program runs are found.
    if (!m_desktop || !m_desktop->IsOpen()) m_desktop = std::make_unique<DesktopProxySettings>();
    return m_desktop->Read(settings);
}

bool CHttpUtil::GetProxyForUrl(const std::wstring& url, ProxyInfo& info) {
    info = ProxyInfo{};

    ProxySettings settings;
    const SettingsReader reader = CurrentReader();
    const bool read = reader ? reader(settings) : ReadUserSettings(settings);
    if (!read) return false;

    if (!settings.proxyList.empty()) {
        info.found = true;
        info.proxyList = settings.proxyList;
        info.bypassList = settings.bypassList;
        return true;
    }
    // Only an explicit script URL is evaluated; a request for automatic
    // detection alone connects directly.
    if (settings.autoConfigUrl.empty()) return true;

    std::string script;
    if (!FetchScript(ToUtf8(settings.autoConfigUrl), script)) return false;
    const std::string target = ToUtf8(url);
    std::string answer;
    if (!PacEvaluator::FindProxy(script, target, HostOf(target), answer)) return false;
    std::wstring proxyList;
    bool direct = false;
    if (!proxy_rules::FromPacAnswer(answer, proxyList, direct)) return false;
    info.fromScript = true;
    info.found = !direct;
    if (info.found) info.proxyList = std::move(proxyList);
    return true;
}

}  // namespace quibra
