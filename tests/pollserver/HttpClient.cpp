#include "HttpClient.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace quibra::test {

namespace {

size_t CollectBody(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

size_t CollectHeader(char* data, size_t size, size_t count, void* user) {
    static_cast<std::vector<std::string>*>(user)->emplace_back(data, size * count);
    return size * count;
}

std::string Lower(std::string text) {
    for (auto& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

HttpClient::HttpClient(std::filesystem::path caFile) {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_curl = curl_easy_init();
    if (m_curl == nullptr) throw std::runtime_error("curl_easy_init failed");
    curl_easy_setopt(m_curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(m_curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_curl, CURLOPT_TIMEOUT, 60L);
    if (!caFile.empty()) curl_easy_setopt(m_curl, CURLOPT_CAINFO, caFile.c_str());
}

HttpClient::~HttpClient() { curl_easy_cleanup(m_curl); }

HttpClient::Reply HttpClient::Perform() {
    Reply reply;
    std::vector<std::string> headers;
    curl_easy_setopt(m_curl, CURLOPT_WRITEFUNCTION, CollectBody);
    curl_easy_setopt(m_curl, CURLOPT_WRITEDATA, &reply.body);
    curl_easy_setopt(m_curl, CURLOPT_HEADERFUNCTION, CollectHeader);
    curl_easy_setopt(m_curl, CURLOPT_HEADERDATA, &headers);
    if (curl_easy_perform(m_curl) != CURLE_OK) return Reply{};
    curl_easy_getinfo(m_curl, CURLINFO_RESPONSE_CODE, &reply.status);
    for (const auto& line : headers) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        const auto name = Lower(line.substr(0, colon));
        auto value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        value.erase(value.find_last_not_of("\r\n ") + 1);
        if (name == "content-length") reply.contentLength = std::stoul(value);
        if (name == "content-type") reply.contentType = value;
    }
    return reply;
}

HttpClient::Reply HttpClient::Get(const std::string& url) {
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    return Perform();
}

HttpClient::Reply HttpClient::Post(const std::string& url, const std::string& body, const std::string& contentType) {
    curl_slist* headers = curl_slist_append(nullptr, ("Content-Type: " + contentType).c_str());
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(m_curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
    auto reply = Perform();
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    return reply;
}

HttpClient::Reply HttpClient::Send(const std::string& method, const std::string& url) {
    curl_easy_setopt(m_curl, CURLOPT_HTTPGET, 1L);
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, method.c_str());
    curl_easy_setopt(m_curl, CURLOPT_URL, url.c_str());
    // An empty body, announced, so the server need not wait for one.
    curl_slist* headers = curl_slist_append(nullptr, "Content-Length: 0");
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, headers);
    auto reply = Perform();
    curl_easy_setopt(m_curl, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(headers);
    curl_easy_setopt(m_curl, CURLOPT_CUSTOMREQUEST, nullptr);
    return reply;
}

std::string HttpClient::Encode(const std::string& text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) && byte < 0x80) {
            out.push_back(c);
        } else if (c == ' ') {
            out.push_back('+');
        } else {
            out.push_back('%');
            out.push_back(hex[byte >> 4]);
            out.push_back(hex[byte & 0x0F]);
        }
    }
    return out;
}

std::string HttpClient::Form(const std::vector<std::pair<std::string, std::string>>& fields) {
    std::string form;
    for (const auto& [name, value] : fields) {
        if (!form.empty()) form += '&';
        form += Encode(name) + "=" + Encode(value);
    }
    return form;
}

}  // namespace quibra::test
