#pragma once

#include <curl/curl.h>

namespace quibra {

// One libcurl easy handle, freed in one place. The library's global set-up is
// done once per process before the first handle. Not copyable, movable.
class CurlEasy {
public:
    CurlEasy();
    ~CurlEasy();
    CurlEasy(const CurlEasy&) = delete;
    CurlEasy& operator=(const CurlEasy&) = delete;
    CurlEasy(CurlEasy&& other) noexcept;
    CurlEasy& operator=(CurlEasy&& other) noexcept;

    // Null when libcurl could not create a handle.
    CURL* Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != nullptr; }

private:
    CURL* m_handle;
};

}  // namespace quibra
