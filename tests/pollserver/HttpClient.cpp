#include "HttpClient.h"

#include <curl/curl.h>
#include <strings.h>

#include <cctype>
#include <mutex>
#include <stdexcept>

namespace quibra::test {

namespace {

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* user) {
    auto& reply = *static_cast<HttpClient::Reply*>(user);
    std::string line(data, size * count);
    const auto colon = line.find(':');
    if (colon != std::string::npos) {
        auto value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n ") + 1);
        if (strncasecmp(line.c_str(), "content-length:", 15) == 0)
            reply.contentLength = std::stoul(value);
        if (strncasecmp(line.c_str(), "content-type:", 13) == 0) reply.contentType = value;
        if (strncasecmp(line.c_str(), "www-authenticate:", 17) == 0) reply.wwwAuthenticate = value;
    }
    return size * count;
}

}  // namespace

HttpClient::HttpClient(const std::filesystem::path& caFile) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    if (m_curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 60L);
    if (!caFile.empty()) curl_easy_setopt(m_curl, CURLOPT_CAINFO, caFile.c_str());
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, CollectHeader);
}

HttpClient::~HttpClient() {
    curl_easy_cleanup(m_curl);
}

HttpClient::Reply HttpClient::Send(const std::string& method, const std::string& url,
                                   const std::string& body, const std::string& contentType) {
    Reply reply;
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &reply);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_slist* headers = nullptr;
    if (!contentType.empty()) {
        headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body.c_str());
        curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    } else {
        curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
        // An empty body, announced, so the server need not wait for one.
        if (method != "GET") headers = curl_slist_append(nullptr, "Content-Length: 0");
    }
    if (!m_header.empty()) headers = curl_slist_append(headers, m_header.c_str());
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST,
                     method == "GET" || method == "POST" ? nullptr : method.c_str());
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
    const bool ok = curl_easy_perform(m_curl) == CURLE_OK;
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    if (!ok) return Reply{};
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

std::string HttpClient::Encode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80)
            out.push_back(c);
        else if (c == ' ')
            out.push_back('+');
        else
            out += {'%', hex[byte >> 4], hex[byte & 0x0F]};
    }
    return out;
}

std::string HttpClient::Form(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string form;
    for (const auto& [name, value] : fields)
        form += (form.empty() ? "" : "&") + Encode(name) + "=" + Encode(value);
    return form;
}

}  // namespace quibra::test
