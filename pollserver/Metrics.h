#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quibra::pollserver {

// The server's counters, gauges and histograms, and their text in Prometheus'
// exposition format. Every figure is a lock-free atomic on the request path;
// the labels are fixed sets (jobs, statuses, bounds, listeners), never a user
// or poll id. One registry per process (Global), as the parts that count are
// spread over the store, the service and the connection accounting.
class Metrics {
public:
    // Why a request or connection was turned away, one per bound of ServerOptions.
    enum class Bound {
        MaxConnections,  // past --max-connections: closed at once
        MaxPerAddress,   // past --max-per-address from one client: closed at once
        HeadTimeout,     // request head (or the next request) not in within --head-timeout
        BodyTimeout,     // body not in within --body-timeout
        RequestLine,     // 414
        HeaderBytes,     // 431
        BodyBytes,       // 413, or a chunked body past the bound
        StreamQueue,     // an event stream's client fell too far behind: dropped
        Count
    };
    static constexpr std::size_t kMaxListeners = 8;

    static Metrics& Global();

    // One reply of the polling or result script: `job` as the client named it
    // (unknown names count as "other"), `status` the HTTP status.
    void RequestAnswered(std::string_view job, int status);
    void BallotCommitted() { m_ballots.fetch_add(1, std::memory_order_relaxed); }
    // One group commit of the write queue: how many jobs, how long it took.
    void GroupCommitted(std::size_t jobs, std::chrono::steady_clock::duration took);
    void ReplyFromCache() { m_cacheReplies.fetch_add(1, std::memory_order_relaxed); }
    void Refused(Bound bound);

    // The slot of a listener's gauges ("http", "https"); the same name, the same
    // slot. Past kMaxListeners all share the last one.
    std::size_t ListenerSlot(const std::string& name);
    void ConnectionOpened(std::size_t slot) { Add(m_open[slot], 1); }
    void ConnectionClosed(std::size_t slot) { Add(m_open[slot], -1); }
    void ConnectionIdle(bool idle) { Add(m_idle, idle ? 1 : -1); }

    // Everything, in the text format (version 0.0.4).
    std::string Exposition() const;
    static constexpr const char* kContentType = "text/plain; version=0.0.4; charset=utf-8";

private:
    // Cumulative buckets are made at exposition; each bucket here counts its own range.
    template <std::size_t N>
    struct Histogram {
        std::array<double, N> bounds;
        std::array<std::atomic<std::uint64_t>, N + 1> counts{};  // the last one: +Inf
        std::atomic<std::uint64_t> count{0};
        std::atomic<double> sum{0};
        void Observe(double value);
        void Write(std::string& out, const char* name) const;
    };
    static void Add(std::atomic<std::int64_t>& gauge, std::int64_t by) {
        gauge.fetch_add(by, std::memory_order_relaxed);
    }

    static constexpr std::array<std::string_view, 9> kJobs = {
        "CreatePolling",    "UpdatePolling",  "UpdatePollingStatus", "DeletePolling", "PostPolling",
        "GetPollingResult", "GetPollingInfo", "GetPollingResult2",   "other"};
    // 401 and 403: the bearer tokens' refusals (none without --auth-*).
    static constexpr std::array<int, 11> kStatuses = {200, 400, 401, 403, 404, 409,
                                                      413, 414, 431, 500, 503};

    std::array<std::array<std::atomic<std::uint64_t>, kStatuses.size()>, kJobs.size()> m_requests{};
    mutable std::mutex m_mutex;
    std::map<std::pair<std::size_t, int>, std::uint64_t> m_otherStatuses;  // guarded by m_mutex
    std::vector<std::string> m_listeners;                                  // guarded by m_mutex
    std::atomic<std::uint64_t> m_ballots{0};
    std::atomic<std::uint64_t> m_cacheReplies{0};
    std::array<std::atomic<std::uint64_t>, static_cast<std::size_t>(Bound::Count)> m_refused{};
    std::array<std::atomic<std::int64_t>, kMaxListeners> m_open{};
    std::atomic<std::int64_t> m_idle{0};
    Histogram<11> m_commitJobs{{1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024}};
    Histogram<12> m_commitSeconds{
        {0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5}};
};

}  // namespace quibra::pollserver
