#include "transport/CurlEasy.h"

#include <mutex>
#include <utility>

namespace quibra {

namespace {
std::once_flag g_globalInit;
}

CurlEasy::CurlEasy() {
    // The global set-up is not safe against concurrent first requests, so it
    // runs once, guarded, and is never undone while threads may still run.
    std::call_once(g_globalInit, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    m_handle = curl_easy_init();
}

CurlEasy::~CurlEasy() {
    if (m_handle != nullptr) curl_easy_cleanup(m_handle);
}

CurlEasy::CurlEasy(CurlEasy&& other) noexcept : m_handle(std::exchange(other.m_handle, nullptr)) {}

CurlEasy& CurlEasy::operator=(CurlEasy&& other) noexcept {
    if (this != &other) {
        if (m_handle != nullptr) curl_easy_cleanup(m_handle);
        m_handle = std::exchange(other.m_handle, nullptr);
    }
    return *this;
}

}  // namespace quibra
