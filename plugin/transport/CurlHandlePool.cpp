#include "transport/CurlHandlePool.h"

#include <utility>

namespace quibra {

CurlHandlePool& CurlHandlePool::Instance() {
    static auto* pool = new CurlHandlePool;
    return *pool;
}

size_t CurlHandlePool::IdleCount() {
    std::lock_guard lock(m_lock);
    return m_idle.size();
}

CurlEasy CurlHandlePool::Take() {
    {
        std::lock_guard lock(m_lock);
        if (!m_idle.empty()) {
            CurlEasy handle = std::move(m_idle.back());
            m_idle.pop_back();
            return handle;
        }
    }
    return CurlEasy();
}

void CurlHandlePool::Return(CurlEasy handle) {
    if (!handle) return;
    // Every option goes back to its default (the handle keeps no pointer to
    // the finished request's buffers); no connection survives the transfer.
    curl_easy_reset(handle.Get());
    std::lock_guard lock(m_lock);
    if (m_idle.size() < kMaxIdle) m_idle.push_back(std::move(handle));
    // otherwise the handle is freed here, outside the pool
}

}  // namespace quibra
