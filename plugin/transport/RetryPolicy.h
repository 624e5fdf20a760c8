#pragma once

#include <chrono>
#include <functional>

namespace quibra {

class HttpRequest;

// How a request is sent again after a failure that may pass: no connection, a
// reset, a time-out, or a 502, 503 or 504 from the server or a proxy in front
// of it. The attempts are spaced by a growing, jittered pause and all end
// within one budget: every attempt's time-outs are cut to the time left, so the
// whole exchange never takes longer than the budget. Any other failure (a
// refusal, a bad URL, a TLS error) and success end it at once.
//
// Only for jobs that may safely reach the server twice: a second ballot of the
// same user replaces the first, a status change or a deletion done twice is
// done once. A creation is never retried (the default policy: one attempt with
// the request's own time-outs).
class RetryPolicy {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirstPause{250};
    static constexpr std::chrono::milliseconds kLongestPause{2000};

    // One attempt, as the request is set.
    RetryPolicy() = default;
    // Attempts until `budget` has passed.
    static RetryPolicy Within(std::chrono::milliseconds budget);

    bool Retries() const { return m_budget.count() > 0; }
    std::chrono::milliseconds Budget() const { return m_budget; }
    // The pause before attempt `attempt` + 1 (attempt counted from 1), before jitter.
    static std::chrono::milliseconds Pause(int attempt);
    // Whether the failure of a finished request may pass.
    static bool IsTransient(const HttpRequest& request);

    // Calls `attempt` (one Send of `request`) until it succeeds, fails for good,
    // the budget is spent, or `cancelled` (checked between attempts and during
    // the pauses) says true. The outcome of the last attempt stays in `request`.
    bool Run(HttpRequest& request, const std::function<bool()>& attempt,
             const std::function<bool()>& cancelled = {}) const;

private:
    std::chrono::milliseconds m_budget{0};
};

}  // namespace quibra
