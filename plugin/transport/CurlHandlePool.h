#pragma once

#include <mutex>
#include <vector>

#include "transport/CurlEasy.h"

namespace quibra {

// Easy handles kept between requests. Setting up a handle, and the private
// transfer state libcurl builds inside it on its first transfer, costs more
// than many a loopback exchange; a kept handle is reset to the default options
// before it is handed out again. Connections are never kept: every request
// still asks for a fresh connection and forbids its reuse. Thread-safe; a
// handle is used by one request thread at a time.
class CurlHandlePool {
public:
    // Handles kept idle at most; more are freed when returned.
    static constexpr size_t kMaxIdle = 4;

    // A handle for one request, returned to the pool when the lease ends.
    class Lease {
    public:
        explicit Lease(CurlHandlePool& pool) : m_pool(pool), m_handle(pool.Take()) {}
        ~Lease() { m_pool.Return(std::move(m_handle)); }
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;

        // Null when libcurl could not create a handle.
        CURL* Get() const { return m_handle.Get(); }
        explicit operator bool() const { return static_cast<bool>(m_handle); }

    private:
        CurlHandlePool& m_pool;
        CurlEasy m_handle;
    };

    // The process-wide pool. It is never destroyed, so that a request thread
    // still running at exit can return its handle; the idle handles stay
    // reachable from it.
    static CurlHandlePool& Instance();

    CurlHandlePool() = default;
    CurlHandlePool(const CurlHandlePool&) = delete;
    CurlHandlePool& operator=(const CurlHandlePool&) = delete;

    size_t IdleCount();

private:
    // A kept handle (with default options), or a new one.
    CurlEasy Take();
    // Resets the handle to the default options and keeps it, or frees it
    // when enough are kept.
    void Return(CurlEasy handle);

    std::mutex m_lock;
    std::vector<CurlEasy> m_idle;
};

}  // namespace quibra
