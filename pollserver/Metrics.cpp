#include "Metrics.h"

#include <algorithm>
#include <charconv>

namespace quibra::pollserver {

namespace {

constexpr std::array<std::string_view, static_cast<std::size_t>(Metrics::Bound::Count)>
    kBoundNames = {"max_connections",  "max_per_address",  "head_timeout",   "body_timeout",
                   "max_request_line", "max_header_bytes", "max_body_bytes", "stream_queue"};

// Numbers as Prometheus reads them, whatever the locale.
std::string Number(double value) {
    char text[64];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed).ptr;
    return std::string(text, end);
}

std::string Number(std::uint64_t value) {
    return std::to_string(value);
}

void Header(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// A metric without labels: its header and its one sample.
void Single(std::string& out, const char* name, const char* type, const char* help,
            const std::string& value) {
    Header(out, name, type, help);
    out += name;
    out += ' ' + value + '\n';
}

}  // namespace

Metrics& Metrics::Global() {
    static Metrics metrics;
    return metrics;
}

void Metrics::RequestAnswered(std::string_view job, int status) {
    const auto named = std::find(kJobs.begin(), kJobs.end() - 1, job);
    const auto jobIndex = static_cast<std::size_t>(named - kJobs.begin());
    const auto known = std::find(kStatuses.begin(), kStatuses.end(), status);
    if (known != kStatuses.end()) {
        m_requests[jobIndex][static_cast<std::size_t>(known - kStatuses.begin())].fetch_add(
            1, std::memory_order_relaxed);
        return;
    }
    std::lock_guard lock(m_mutex);
    ++m_otherStatuses[{jobIndex, status}];
}

void Metrics::GroupCommitted(std::size_t jobs, std::chrono::steady_clock::duration took) {
    m_commitJobs.Observe(static_cast<double>(jobs));
    m_commitSeconds.Observe(std::chrono::duration<double>(took).count());
}

void Metrics::Refused(Bound bound) {
    m_refused[static_cast<std::size_t>(bound)].fetch_add(1, std::memory_order_relaxed);
}

std::size_t Metrics::ListenerSlot(const std::string& name) {
    std::lock_guard lock(m_mutex);
    const auto found = std::find(m_listeners.begin(), m_listeners.end(), name);
    if (found != m_listeners.end()) return static_cast<std::size_t>(found - m_listeners.begin());
    if (m_listeners.size() == kMaxListeners) return kMaxListeners - 1;
    m_listeners.push_back(name);
    return m_listeners.size() - 1;
}

template <std::size_t N>
void Metrics::Histogram<N>::Observe(double value) {
    const auto at = std::lower_bound(bounds.begin(), bounds.end(), value);
    counts[static_cast<std::size_t>(at - bounds.begin())].fetch_add(1, std::memory_order_relaxed);
    sum.fetch_add(value, std::memory_order_relaxed);
    count.fetch_add(1, std::memory_order_relaxed);
}

template <std::size_t N>
void Metrics::Histogram<N>::Write(std::string& out, const char* name) const {
    std::uint64_t cumulative = 0;
    for (std::size_t i = 0; i <= N; ++i) {
        cumulative += counts[i].load(std::memory_order_relaxed);
        out += name;
        out += "_bucket{le=\"";
        out += i < N ? Number(bounds[i]) : std::string("+Inf");
        out += "\"} " + Number(cumulative) + '\n';
    }
    // The sum and count are read after the buckets and may be a little ahead;
    // the count is never below +Inf's bucket.
    out += name;
    out += "_sum " + Number(sum.load(std::memory_order_relaxed)) + '\n';
    out += name;
    out += "_count " + Number(std::max(cumulative, count.load(std::memory_order_relaxed))) + '\n';
}

std::string Metrics::Exposition() const {
    std::string out;
    Header(out, "quibra_pollserver_requests_total", "counter",
           "Requests of the polling and result scripts answered, by job and HTTP status.");
    std::map<std::pair<std::size_t, int>, std::uint64_t> requests;
    for (std::size_t job = 0; job < kJobs.size(); ++job)
        for (std::size_t status = 0; status < kStatuses.size(); ++status)
            if (const auto n = m_requests[job][status].load(std::memory_order_relaxed); n > 0)
                requests[{job, kStatuses[status]}] = n;
    std::vector<std::string> listeners;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& [key, n] : m_otherStatuses) requests[key] = n;
        listeners = m_listeners;
    }
    for (const auto& [key, n] : requests)
        out += "quibra_pollserver_requests_total{job=\"" + std::string(kJobs[key.first]) +
               "\",status=\"" + std::to_string(key.second) + "\"} " + Number(n) + '\n';

    Single(out, "quibra_pollserver_ballots_committed_total", "counter",
           "Ballots committed to the database.", Number(m_ballots.load(std::memory_order_relaxed)));

    Header(out, "quibra_pollserver_group_commit_jobs", "histogram",
           "Write jobs committed together in one transaction of the write queue.");
    m_commitJobs.Write(out, "quibra_pollserver_group_commit_jobs");
    Header(out, "quibra_pollserver_group_commit_duration_seconds", "histogram",
           "Time one group commit of the write queue took, its jobs and the commit.");
    m_commitSeconds.Write(out, "quibra_pollserver_group_commit_duration_seconds");

    Header(out, "quibra_pollserver_open_connections", "gauge",
           "Open client connections, by listener.");
    for (std::size_t slot = 0; slot < listeners.size(); ++slot)
        out += "quibra_pollserver_open_connections{listener=\"" + listeners[slot] + "\"} " +
               std::to_string(m_open[slot].load(std::memory_order_relaxed)) + '\n';
    Single(out, "quibra_pollserver_idle_connections", "gauge",
           "Open client connections waiting for their next request.",
           std::to_string(std::max<std::int64_t>(0, m_idle.load(std::memory_order_relaxed))));

    Single(out, "quibra_pollserver_cached_replies_total", "counter",
           "Result replies served from the reply cache, without reading the database.",
           Number(m_cacheReplies.load(std::memory_order_relaxed)));

    Header(out, "quibra_pollserver_refused_requests_total", "counter",
           "Requests and connections turned away, by the bound they passed.");
    for (std::size_t bound = 0; bound < kBoundNames.size(); ++bound)
        out += "quibra_pollserver_refused_requests_total{bound=\"" +
               std::string(kBoundNames[bound]) + "\"} " +
               Number(m_refused[bound].load(std::memory_order_relaxed)) + '\n';
    return out;
}

}  // namespace quibra::pollserver
