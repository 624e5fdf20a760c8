#pragma once

#include <curl/curl.h>

#include <mutex>

namespace quibra {

// The TLS sessions of every request of the process, in one libcurl share
// handle: a request to a server the plug-in spoke to before resumes its
// session instead of paying a full handshake. Requests run on threads of
// their own, so the share locks its data. Never destroyed, like the handle
// pool: a request thread still running at exit may use it.
class CurlShare {
public:
    static CurlShare& Instance();

    // Null when libcurl could not create the share; a request then goes without.
    CURLSH* Get() const { return m_share; }

private:
    CurlShare();
    static void Lock(CURL*, curl_lock_data data, curl_lock_access, void* self);
    static void Unlock(CURL*, curl_lock_data data, void* self);

    CURLSH* m_share = nullptr;
    std::mutex m_sessions;  // the TLS session cache
    std::mutex m_other;     // whatever else libcurl locks through the share
};

}  // namespace quibra
