#include "transport/CurlShare.h"

#include "transport/CurlEasy.h"

namespace quibra {

CurlShare& CurlShare::Instance() {
    static auto* share = new CurlShare;
    return *share;
}

CurlShare::CurlShare() {
    // The library's global set-up comes first, as for the first easy handle.
    const CurlEasy first;
    m_share = curl_share_init();
    if (m_share == nullptr) return;
    curl_share_setopt(m_share, CURLSHOPT_LOCKFUNC, &CurlShare::Lock);
    curl_share_setopt(m_share, CURLSHOPT_UNLOCKFUNC, &CurlShare::Unlock);
    curl_share_setopt(m_share, CURLSHOPT_USERDATA, this);
    curl_share_setopt(m_share, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
}

void CurlShare::Lock(CURL*, curl_lock_data data, curl_lock_access, void* self) {
    auto* share = static_cast<CurlShare*>(self);
    (data == CURL_LOCK_DATA_SSL_SESSION ? share->m_sessions : share->m_other).lock();
}

void CurlShare::Unlock(CURL*, curl_lock_data data, void* self) {
    auto* share = static_cast<CurlShare*>(self);
    (data == CURL_LOCK_DATA_SSL_SESSION ? share->m_sessions : share->m_other).unlock();
}

}  // namespace quibra
