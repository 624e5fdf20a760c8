#pragma once

#include <curl/curl.h>

namespace quibra {

// A libcurl header list (curl_slist), freed in one place. It must outlive the
// transfer that uses it.
class CurlHeaderList {
public:
    CurlHeaderList() = default;
    ~CurlHeaderList();
    CurlHeaderList(const CurlHeaderList&) = delete;
    CurlHeaderList& operator=(const CurlHeaderList&) = delete;

    // False when the line could not be stored.
    bool Append(const char* line);
    curl_slist* Get() const { return m_list; }

private:
    curl_slist* m_list = nullptr;
};

}  // namespace quibra
