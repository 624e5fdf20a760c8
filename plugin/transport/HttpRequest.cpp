#include "transport/HttpRequest.h"

#include <algorithm>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>
#include <tuple>
#include <utility>

#include "transport/CHttpUtil.h"
#include "transport/CurlHandlePool.h"
#include "transport/CurlShare.h"
#include "transport/CurlHeaderList.h"
#include "transport/DownloadFile.h"
#include "transport/ProxyRules.h"
#include "transport/UrlEncode.h"
#include "xml/WideString.h"

namespace quibra {

std::atomic<ProxyAuthScheme> HttpRequest::s_proxyAuthScheme{ProxyAuthScheme::Basic};

namespace {

namespace fs = std::filesystem;

constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)";
// The body is read in pieces of at most this many bytes through libcurl's one
// receive buffer.
constexpr long kReadChunk = 4095;
constexpr size_t kMaxFileErrorText = 260;

// Milliseconds of the monotonic clock, truncated to a signed 32-bit value.
int32_t TickCount() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    const uint64_t ms =
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
    return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

std::wstring ErrorText(int error) {
    char buffer[256];
    // GNU strerror_r: thread-safe, returns the text (maybe not in buffer).
    const char* text = strerror_r(error, buffer, sizeof buffer);
    std::wstring wide = FromUtf8(text);
    if (wide.size() > kMaxFileErrorText) wide.resize(kMaxFileErrorText);
    return wide;
}

unsigned long CurlAuthBit(ProxyAuthScheme scheme) {
    switch (scheme) {
        case ProxyAuthScheme::NTLM:
            return CURLAUTH_NTLM;
        case ProxyAuthScheme::Digest:
            return CURLAUTH_DIGEST;
        case ProxyAuthScheme::Basic:
            break;
    }
    return CURLAUTH_BASIC;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

// The scheme a 407 challenge leads to: NTLM if offered, else Digest, else
// Basic, over every scheme of every Proxy-Authenticate header.
ProxyAuthScheme ChooseScheme(const std::vector<std::string>& challenges) {
    bool ntlm = false, digest = false;
    for (const std::string& challenge : challenges)
        for (const std::string& scheme : proxy_rules::OfferedSchemes(challenge)) {
            ntlm = ntlm || scheme == "ntlm";
            digest = digest || scheme == "digest";
        }
    return ntlm ? ProxyAuthScheme::NTLM : digest ? ProxyAuthScheme::Digest : ProxyAuthScheme::Basic;
}

bool IsHexDigit(wchar_t c) {
    return (c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f') || (c >= L'A' && c <= L'F');
}

bool IsHostChar(wchar_t c) {
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || (c >= L'0' && c <= L'9') ||
           c == L'-' || c == L'.' || c == L'_';
}

// The request target as libcurl takes it: bytes outside printable ASCII are
// percent-encoded, the rest is sent as the caller wrote it.
std::string ToRequestTarget(std::wstring_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const std::string bytes = ToUtf8(path);
    std::string out;
    out.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b <= 0x20 || b >= 0x7F) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += ch;
        }
    }
    return out;
}

// One curl_easy_perform's worth of response state, filled by the callbacks.
struct Transfer {
    bool toFile = false;
    std::string tempPath;

    long lastStatus = 0;            // status line most recently seen
    bool finalHeadersDone = false;  // the headers of a final (non-1xx) response are complete
    std::vector<std::string> proxyChallenges;  // Proxy-Authenticate values of that response
    std::string textBytes;
    DownloadFile file;
    bool createFailed = false;
    bool writeFailed = false;

    void Reset() {
        lastStatus = 0;
        finalHeadersDone = false;
        proxyChallenges.clear();
        textBytes.clear();
    }
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (StartsWithNoCase(line, "http/")) {
        // A new response starts (a proxy's, an interim 1xx, or the final one).
        t->lastStatus = 0;
        t->finalHeadersDone = false;
        t->proxyChallenges.clear();
        const size_t space = line.find(' ');
        if (space != std::string_view::npos) {
            long status = 0;
            for (size_t i = space + 1;
                 i < line.size() && line[i] >= '0' && line[i] <= '9' && status < 1000; ++i)
                status = status * 10 + (line[i] - '0');
            t->lastStatus = status;
        }
    } else if (line.empty()) {
        if (t->lastStatus >= 200) t->finalHeadersDone = true;
    } else if (StartsWithNoCase(line, "proxy-authenticate:")) {
        std::string_view value = line.substr(19);
        while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
            value.remove_prefix(1);
        t->proxyChallenges.emplace_back(value);
    }
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* t = static_cast<Transfer*>(user);
    const size_t n = size * count;
    // Only the body of a 200 reply is kept; challenges and error pages are read
    // and dropped.
    if (t->lastStatus != 200) return n;
    if (!t->toFile) {
        // Each piece counts up to its first zero byte. The bytes are decoded
        // once at the end, so no character is split between pieces.
        const void* zero = std::memchr(data, 0, n);
        t->textBytes.append(data,
                            zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : n);
        return n;
    }
    if (!t->file.IsOpen() && !t->file.Create(t->tempPath)) {
        t->createFailed = true;
        return 0;  // abandons the transfer
    }
    if (!t->file.Write(data, n)) {
        t->writeFailed = true;
        return 0;
    }
    return n;
}

void RemoveQuietly(const fs::path& path) {
    std::error_code ec;
    fs::remove(path, ec);
}

}  // namespace

HttpRequest::HttpRequest() = default;
HttpRequest::~HttpRequest() = default;

ProxyAuthScheme HttpRequest::GetProxyAuthScheme() {
    return s_proxyAuthScheme.load();
}
void HttpRequest::SetProxyAuthScheme(ProxyAuthScheme scheme) {
    s_proxyAuthScheme.store(scheme);
}

void HttpRequest::AddField(std::wstring name, std::wstring value) {
    m_fieldNames.push_back(std::move(name));
    m_fieldValues.push_back(std::move(value));
}

void HttpRequest::SetTargetFile(std::wstring targetFile) {
    m_toFile = !targetFile.empty();
    m_targetFile = std::move(targetFile);
}

bool HttpRequest::GetText(const std::wstring& url, std::wstring& reply) {
    m_verb = L"GET";
    m_toFile = false;
    m_url = url;
    if (!Send()) return false;
    reply = m_replyText;
    return true;
}

bool HttpRequest::Download(const std::wstring& url, const std::wstring& targetFile) {
    m_verb = L"GET";
    m_toFile = true;
    m_url = url;
    m_targetFile = targetFile;
    return Send();
}

void HttpRequest::ResetOutcome() {
    m_statusCode = 0;
    m_failureKind = FailureKind::None;
    m_fileErrorText.clear();
    m_httpErrorCode = 0;
    m_transportError = 0;
    m_replyText.clear();
}

void HttpRequest::FailHttp(int32_t code) {
    m_failureKind = FailureKind::HttpFailed;
    m_httpErrorCode = code;
}

// "http[s]://host[:port][/path][?query][#fragment]"; the fragment is dropped.
// User names in the URL, other schemes, empty hosts and bad ports do not parse.
bool HttpRequest::ParseUrl() {
    std::wstring_view url(m_url);
    for (const wchar_t c : url)
        if (c < 0x20 || c == 0x7F || c == L' ') return false;
    const size_t sep = url.find(L"://");
    if (sep == std::wstring_view::npos) return false;
    const std::wstring scheme = AsciiLower(url.substr(0, sep));
    bool secure = false;
    if (scheme == L"https")
        secure = true;
    else if (scheme != L"http")
        return false;
    url.remove_prefix(sep + 3);
    url = url.substr(0, url.find(L'#'));
    const size_t pathStart = url.find_first_of(L"/?");
    std::wstring_view authority = url.substr(0, pathStart);
    std::wstring_view path =
        pathStart == std::wstring_view::npos ? std::wstring_view() : url.substr(pathStart);

    std::wstring_view host;
    std::wstring_view portText;
    if (!authority.empty() && authority.front() == L'[') {
        const size_t close = authority.find(L']');
        if (close == std::wstring_view::npos || close < 2) return false;
        host = authority.substr(0, close + 1);
        for (const wchar_t c : host.substr(1, close - 1))
            if (!(IsHexDigit(c) || c == L':' || c == L'.')) return false;
        std::wstring_view rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != L':') return false;
            portText = rest.substr(1);
            if (portText.empty()) return false;
        }
    } else {
        const size_t colon = authority.find(L':');
        host = authority.substr(0, colon);
        if (colon != std::wstring_view::npos) {
            portText = authority.substr(colon + 1);
            if (portText.empty()) return false;
        }
        for (const wchar_t c : host)
            if (!IsHostChar(c)) return false;
    }
    if (host.empty()) return false;
    uint32_t port = secure ? 443 : 80;
    if (!portText.empty()) {
        if (portText.size() > 5) return false;
        port = 0;
        for (const wchar_t c : portText) {
            if (c < L'0' || c > L'9') return false;
            port = port * 10 + static_cast<uint32_t>(c - L'0');
        }
        if (port == 0 || port > 65535) return false;
    }

    m_secure = secure;
    m_host = host;
    m_port = static_cast<uint16_t>(port);
    m_objectPath = path.empty()
                       ? L"/"
                       : (path.front() == L'?' ? L"/" + std::wstring(path) : std::wstring(path));
    return true;
}

std::wstring HttpRequest::BuildForm() const {
    std::wstring form;
    for (size_t i = 0; i < m_fieldNames.size(); ++i) {
        if (i > 0) form += L'&';
        form += UrlEncode(m_fieldNames[i]);
        form += L'=';
        form += UrlEncode(m_fieldValues[i]);
    }
    return form;
}

bool HttpRequest::Send() {
    if (!ParseUrl()) {
        m_failureKind = FailureKind::BadUrl;
        return false;
    }

    fs::path target;
    fs::path temp;
    if (m_toFile) {
        target = fs::path(ToUtf8(m_targetFile));
        const fs::path folder = target.parent_path();
        std::error_code ec;
        if (folder.empty() || !fs::is_directory(folder, ec)) {
            m_failureKind = FailureKind::NoTargetFolder;
            return false;
        }
        temp = target;
        temp += ".dl";
    }

    // A token that could break the header, or a server check asked of plain
    // HTTP: nothing leaves the machine.
    const bool checksServer = !m_caFile.empty() || !m_pin.empty();
    const bool tokenUsable = std::all_of(m_bearerToken.begin(), m_bearerToken.end(),
                                         [](char c) { return c > ' ' && c < 0x7F; });
    if (!tokenUsable || (checksServer && !m_secure)) {
        FailHttp(0);
        return false;
    }

    // Query layout: GET carries the form and a tick-count cache breaker in the
    // query; any other verb sends the form as its body.
    std::wstring form = BuildForm();
    std::wstring requestPath = m_objectPath;
    std::string body;
    const bool isGet = m_verb == L"GET";
    if (isGet) {
        form += form.empty() ? L"_rnd=" : L"&_rnd=";
        form += ToWide(TickCount());
        requestPath += requestPath.find(L'?') == std::wstring::npos ? L'?' : L'&';
        requestPath += form;
    } else {
        body = ToUtf8(form);
    }

    // A kept handle: cheaper than a new one, and it carries nothing over
    // (options reset, no connection, no name cache; see below).
    CurlHandlePool::Lease curl(CurlHandlePool::Instance());
    if (!curl) {
        FailHttp(0);
        return false;
    }
    CURL* h = curl.Get();
    const std::string host = ToUtf8(m_host);
    const std::string url = std::string(m_secure ? "https://" : "http://") + host + ":" +
                            std::to_string(m_port) + ToRequestTarget(requestPath);
    const std::string verb = ToUtf8(m_verb);

    Transfer transfer;
    transfer.toFile = m_toFile;
    transfer.tempPath = temp.string();

    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    curl_easy_setopt(h, CURLOPT_USERAGENT, kUserAgent);
    // Every request has a connection of its own; nothing is carried over.
    curl_easy_setopt(h, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(h, CURLOPT_FORBID_REUSE, 1L);
    // A kept handle would otherwise remember host names from earlier requests.
    curl_easy_setopt(h, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
    // TLS sessions are shared by all requests: a server's later requests resume.
    curl_easy_setopt(h, CURLOPT_SHARE, CurlShare::Instance().Get());
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_connectTimeoutMs));
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, static_cast<long>(m_receiveTimeoutSeconds));
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, static_cast<long>(m_totalTimeoutMs));
    // Unless the user's configuration names the server's CA or pin, any
    // certificate is accepted: unknown authority, wrong name, expired.
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, m_caFile.empty() ? 0L : 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, m_caFile.empty() ? 0L : 2L);
    if (!m_caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, m_caFile.c_str());
    if (!m_pin.empty()) curl_easy_setopt(h, CURLOPT_PINNEDPUBLICKEY, m_pin.c_str());
    curl_easy_setopt(h, CURLOPT_BUFFERSIZE, kReadChunk);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);

    if (isGet) {
        curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
    } else {
        if (m_verb == L"POST")
            curl_easy_setopt(h, CURLOPT_POST, 1L);
        else
            curl_easy_setopt(h, CURLOPT_CUSTOMREQUEST, verb.c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    }

    CurlHeaderList headers;
    headers.Append("Accept: */*");
    headers.Append("Pragma: no-cache");
    headers.Append("Cache-Control: no-cache");
    if (!isGet) {
        headers.Append(m_verb == L"POST" ? "Content-Type: application/x-www-form-urlencoded;"
                                         : "Content-Type:");
        headers.Append("Expect:");
    }
    if (!m_bearerToken.empty()) {
        headers.Append(("Authorization: Bearer " + m_bearerToken).c_str());
    }
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.Get());

    // The proxy comes only from the user's settings; an empty CURLOPT_PROXY
    // and CURLOPT_NOPROXY keep libcurl's own environment handling out.
    std::string proxy;
    std::string noProxy;
    ProxyInfo info;
    if (CHttpUtil::Instance().GetProxyForUrl((m_secure ? L"https://" : L"http://") + m_host,
                                             info) &&
        info.found && !proxy_rules::IsBypassedByPattern(info.bypassList, m_host)) {
        proxy = proxy_rules::ChooseProxy(info.proxyList, m_secure);
        noProxy = proxy_rules::ToCurlNoProxy(info.bypassList);
    }
    curl_easy_setopt(h, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());

    const std::string proxyUser = ToUtf8(m_proxyUser);
    const std::string proxyPassword = ToUtf8(m_proxyPassword);
    // The server itself is never sent credentials; the proxy gets them with
    // exactly one scheme, so libcurl never tries another on its own.
    auto setCredentials = [&](ProxyAuthScheme scheme) {
        if (proxyUser.empty()) return;
        curl_easy_setopt(h, CURLOPT_PROXYUSERNAME, proxyUser.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYPASSWORD, proxyPassword.c_str());
        curl_easy_setopt(h, CURLOPT_PROXYAUTH, CurlAuthBit(scheme));
    };
    setCredentials(GetProxyAuthScheme());

    // The status of the response just read: the server's, or the proxy's
    // refusal of a tunnel; 0 when no response arrived.
    auto perform = [&]() -> std::pair<CURLcode, long> {
        transfer.Reset();
        const CURLcode code = curl_easy_perform(h);
        long status = 0;
        long connectStatus = 0;
        curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &connectStatus);
        if (status > 0 && transfer.finalHeadersDone) return {code, status};
        if (connectStatus >= 300 && transfer.finalHeadersDone) return {code, connectStatus};
        return {code, 0};
    };

    auto [code, status] = perform();
    if (status == 407) {
        // One retry, with the strongest scheme the proxy offers; the choice
        // holds for every later request of the process.
        const ProxyAuthScheme scheme = ChooseScheme(transfer.proxyChallenges);
        SetProxyAuthScheme(scheme);
        setCredentials(scheme);
        std::tie(code, status) = perform();
    }
    m_statusCode = static_cast<int32_t>(status);
    m_transportError = static_cast<int32_t>(code);

    if (status == 0) {
        FailHttp(0);
        return false;
    }
    if (status != 200) {
        FailHttp(static_cast<int32_t>(status));
        return false;
    }

    if (!m_toFile) {
        m_replyText = FromUtf8(transfer.textBytes);
        return code == CURLE_OK;
    }

    // A temporary file that cannot be created fails the download and touches
    // nothing else.
    if (transfer.createFailed) return false;
    if (transfer.writeFailed) {
        m_failureKind = FailureKind::FileError;
        m_fileErrorText = ErrorText(transfer.file.Error());
        transfer.file.Close();
        RemoveQuietly(temp);
        return false;
    }
    if (code == CURLE_OK && !transfer.file.IsOpen() && !transfer.file.Create(transfer.tempPath))
        return false;
    if (!transfer.file.Close()) {
        m_failureKind = FailureKind::FileError;
        m_fileErrorText = ErrorText(transfer.file.Error());
        RemoveQuietly(temp);
        return false;
    }
    if (code != CURLE_OK) {
        // A broken read leaves no partial reply behind, old or new.
        RemoveQuietly(temp);
        RemoveQuietly(target);
        return false;
    }
    curl_off_t contentLength = -1;
    curl_easy_getinfo(h, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &contentLength);
    if (contentLength > 0) {
        std::error_code ec;
        const uintmax_t size = fs::file_size(temp, ec);
        if (static_cast<uintmax_t>(ec ? 0 : size) != static_cast<uintmax_t>(contentLength)) {
            RemoveQuietly(temp);
            RemoveQuietly(target);
            return false;
        }
    }
    std::error_code ec;
    fs::rename(temp, target, ec);  // replaces an existing target in one step
    if (ec) {
        m_failureKind = FailureKind::FileError;
        m_fileErrorText = ErrorText(ec.value());
        RemoveQuietly(temp);
        return false;
    }
    return true;
}

}  // namespace quibra
