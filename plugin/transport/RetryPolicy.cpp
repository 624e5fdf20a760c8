#include "transport/RetryPolicy.h"

#include <curl/curl.h>

#include <algorithm>
#include <random>
#include <thread>

#include "transport/HttpRequest.h"

namespace quibra {

namespace {

using std::chrono::milliseconds;

// A pause between half and all of `pause`: attendees whose ballots failed
// together do not all come back at the same moment.
milliseconds Jittered(milliseconds pause) {
    thread_local std::minstd_rand random{std::random_device{}()};
    std::uniform_int_distribution<long long> spread(pause.count() / 2, pause.count());
    return milliseconds(spread(random));
}

}  // namespace

RetryPolicy RetryPolicy::Within(milliseconds budget) {
    RetryPolicy policy;
    policy.m_budget = std::max(budget, milliseconds(0));
    return policy;
}

milliseconds RetryPolicy::Pause(int attempt) {
    milliseconds pause = kFirstPause;
    for (int i = 1; i < attempt && pause < kLongestPause; ++i) pause *= 2;
    return std::min(pause, kLongestPause);
}

bool RetryPolicy::IsTransient(const HttpRequest& request) {
    if (request.GetFailureKind() != FailureKind::HttpFailed &&
        request.GetFailureKind() != FailureKind::None)
        return false;
    switch (request.HttpErrorCode()) {
        case 502:
        case 503:
        case 504:
            return true;
        case 0:
            break;
        default:
            return false;
    }
    switch (request.TransportError()) {
        case CURLE_COULDNT_CONNECT:     // refused: the server is down or restarting
        case CURLE_OPERATION_TIMEDOUT:  // no connection or no answer in time
        case CURLE_GOT_NOTHING:         // closed before a reply
        case CURLE_SEND_ERROR:          // reset while sending
        case CURLE_RECV_ERROR:          // reset while receiving
        case CURLE_PARTIAL_FILE:        // a reply cut short
            return true;
        default:
            return false;
    }
}

bool RetryPolicy::Run(HttpRequest& request, const std::function<bool()>& attempt,
                      const std::function<bool()>& cancelled) const {
    if (!Retries()) return attempt();
    const Clock::time_point deadline = Clock::now() + m_budget;
    const auto left = [&] {
        return std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
    };
    const uint32_t connectLimit = request.ConnectTimeout();
    for (int tries = 1;; ++tries) {
        const milliseconds remaining = std::max(left(), milliseconds(1));
        const auto cap = static_cast<uint32_t>(remaining.count());
        request.ResetOutcome();
        request.SetConnectTimeout(std::min(connectLimit, cap));
        request.SetTotalTimeout(cap);
        if (attempt()) return true;
        if (!IsTransient(request)) return false;
        const milliseconds pause = Jittered(Pause(tries));
        if (left() <= pause) return false;  // no time for another attempt
        // Sleeps in short steps, so that a torn-down worker is not kept waiting.
        const Clock::time_point wake = Clock::now() + pause;
        while (Clock::now() < wake) {
            if (cancelled && cancelled()) return false;
            std::this_thread::sleep_for(std::min(milliseconds(50), pause));
        }
        if (cancelled && cancelled()) return false;
    }
}

}  // namespace quibra
