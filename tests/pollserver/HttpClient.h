#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

typedef void CURL;

namespace quibra::test {

// One libcurl handle (keeping its connection between requests) for talking to
// a test server. HTTPS is verified against the given certificate file.
class HttpClient {
public:
    struct Reply {
        long status = 0;  // 0: the exchange failed
        std::string body;
        std::optional<std::size_t> contentLength;
        std::string contentType;
        std::string wwwAuthenticate;
    };

    explicit HttpClient(const std::filesystem::path& caFile = {});
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    Reply Get(const std::string& url) { return Send("GET", url); }
    // A form body when `contentType` is given; otherwise an announced empty one.
    Reply Send(const std::string& method, const std::string& url, const std::string& body = {},
               const std::string& contentType = {});

    // The plug-in's form encoding: letters and digits as they are, a space as
    // "+", every other byte of the UTF-8 text as %XX (so line breaks survive).
    static std::string Encode(const std::string& text);
    static std::string Form(const std::vector<std::pair<std::string, std::string>>& fields);
    // One more header line ("Name: value") on every later request; empty: none.
    void SetHeader(std::string line) { m_header = std::move(line); }

private:
    CURL* m_curl = nullptr;
    std::string m_header;
};

}  // namespace quibra::test
