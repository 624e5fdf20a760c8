#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quibra {

// Why an exchange failed. A failed body read or a download whose size does not
// match its Content-Length fails without a kind (None).
enum class FailureKind : int32_t {
    None = 0,
    BadUrl = 1,          // the URL does not parse; nothing was opened
    NoTargetFolder = 2,  // the folder of the download target does not exist; nothing was sent
    HttpFailed = 3,      // no response (HTTP error code 0) or a status other than 200
    FileError = 4,       // a file error while storing a download (see FileErrorText)
};

// The scheme used for proxy credentials, process-wide. Values are the
// platform's scheme flags.
enum class ProxyAuthScheme : uint32_t {
    Basic = 1,
    NTLM = 2,
    Digest = 8,
};

// One HTTP exchange with the PollServer: a URL and ordered form fields, sent as
// a GET query (or a POST body), with the reply kept as text or stored in a
// file. Built, filled, sent once on a request thread and destroyed by its
// owner; Send does not reset the failure fields, so a request is not reused.
// One request is not shared between threads; many requests may run at once.
class HttpRequest {
public:
    static constexpr uint32_t kDefaultConnectTimeoutMs = 180000;
    // A transfer that receives nothing for this long is abandoned.
    static constexpr uint32_t kDefaultReceiveTimeoutSeconds = 30;

    HttpRequest();
    ~HttpRequest();
    HttpRequest(const HttpRequest&) = delete;
    HttpRequest& operator=(const HttpRequest&) = delete;

    // Appends one form field; order is kept, duplicates allowed.
    void AddField(std::wstring name, std::wstring value);

    // GET `url` and keep the reply body as text; on success copies it to `reply`
    // (left untouched on failure).
    bool GetText(const std::wstring& url, std::wstring& reply);
    // GET `url` and store the body in `targetFile` (a full path) through
    // "<targetFile>.dl". Only a complete download replaces the target; a failed
    // read or a size mismatch deletes the old target as well.
    bool Download(const std::wstring& url, const std::wstring& targetFile);
    // The exchange with the URL, verb, target and fields set so far; true on
    // success. GET puts the fields and the "_rnd" cache breaker in the query;
    // any other verb sends the fields as the body.
    bool Send();

    // Settings read by Send.
    void SetUrl(std::wstring url) { m_url = std::move(url); }
    void SetVerb(std::wstring verb) { m_verb = std::move(verb); }
    // Non-empty: store the body in this file; empty: keep the reply as text.
    void SetTargetFile(std::wstring targetFile);
    void SetProxyUser(std::wstring user) { m_proxyUser = std::move(user); }
    void SetProxyPassword(std::wstring password) { m_proxyPassword = std::move(password); }
    // Non-empty: sent as "Authorization: Bearer TOKEN". A token with a byte
    // outside visible ASCII fails the request before anything is sent.
    void SetBearerToken(std::string token) { m_bearerToken = std::move(token); }
    // The server's identity, opt-in: a CA file (chain and host name verified
    // against it) and/or a public-key pin ("sha256//BASE64"). With either set
    // the request must be https and a server failing the check fails it as an
    // unreachable one does, before any form field is sent. Both empty: any
    // certificate is accepted.
    void SetServerIdentity(std::string caFile, std::string pin) {
        m_caFile = std::move(caFile);
        m_pin = std::move(pin);
    }
    void SetConnectTimeout(uint32_t milliseconds) { m_connectTimeoutMs = milliseconds; }
    void SetReceiveTimeout(uint32_t seconds) { m_receiveTimeoutSeconds = seconds; }
    // The most one exchange may take from start to end; 0 (the default) sets no bound.
    void SetTotalTimeout(uint32_t milliseconds) { m_totalTimeoutMs = milliseconds; }
    // Clears the outcome of an earlier Send, so that the request can be sent again.
    void ResetOutcome();

    // Outcome. The URL parts are set once Send has parsed the URL.
    int32_t StatusCode() const { return m_statusCode; }  // last status read; 0 when none
    FailureKind GetFailureKind() const { return m_failureKind; }
    int32_t HttpErrorCode() const { return m_httpErrorCode; }  // non-200 status, or 0
    // libcurl's code for the last exchange (CURLE_OK, 0, when the transfer completed).
    int32_t TransportError() const { return m_transportError; }
    const std::wstring& FileErrorText() const { return m_fileErrorText; }  // at most 260 characters
    const std::wstring& Host() const { return m_host; }
    const std::wstring& ObjectPath() const { return m_objectPath; }  // path and query from the URL
    uint16_t Port() const { return m_port; }                         // 80 until the URL is parsed
    bool Secure() const { return m_secure; }
    const std::wstring& ReplyText() const { return m_replyText; }
    const std::wstring& Url() const { return m_url; }
    const std::wstring& Verb() const { return m_verb; }
    const std::wstring& TargetFile() const { return m_targetFile; }
    bool ToFile() const { return m_toFile; }
    uint32_t ConnectTimeout() const { return m_connectTimeoutMs; }
    uint32_t TotalTimeout() const { return m_totalTimeoutMs; }

    // The scheme for proxy credentials shared by every request of the process:
    // Basic at start, rewritten by every proxy challenge (last writer wins).
    static ProxyAuthScheme GetProxyAuthScheme();
    static void SetProxyAuthScheme(ProxyAuthScheme scheme);

private:
    bool ParseUrl();
    std::wstring BuildForm() const;
    void FailHttp(int32_t code);

    uint32_t m_connectTimeoutMs = kDefaultConnectTimeoutMs;
    uint32_t m_receiveTimeoutSeconds = kDefaultReceiveTimeoutSeconds;
    uint32_t m_totalTimeoutMs = 0;
    int32_t m_transportError = 0;
    std::wstring m_proxyUser;
    std::wstring m_proxyPassword;
    std::string m_bearerToken;
    std::string m_caFile;
    std::string m_pin;
    int32_t m_statusCode = 0;
    bool m_secure = false;
    FailureKind m_failureKind = FailureKind::None;
    std::wstring m_fileErrorText;
    int32_t m_httpErrorCode = 0;
    std::wstring m_host;
    std::wstring m_objectPath;
    uint16_t m_port = 80;
    std::wstring m_targetFile;
    std::wstring m_url;
    std::wstring m_replyText;
    std::vector<std::wstring> m_fieldNames;
    std::vector<std::wstring> m_fieldValues;
    bool m_toFile = false;
    std::wstring m_verb = L"GET";

    static std::atomic<ProxyAuthScheme> s_proxyAuthScheme;
};

}  // namespace quibra
