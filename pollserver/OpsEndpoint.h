#pragma once

#include <chrono>
#include <string>
#include <string_view>

namespace quibra::pollserver {

class Metrics;
class StoreProbe;

// What the operators' listener (--metrics ADDR:PORT) serves, apart from any
// HTTP engine: a request's method and path in, a reply out.
//   GET /healthz  200 "ok" when the store answers a trivial read within 1 s, else 503
//   GET /metrics  the Prometheus text format
class OpsEndpoint {
public:
    struct Reply {
        int status = 200;
        std::string contentType;
        std::string body;
    };
    static constexpr auto kHealthLimit = std::chrono::seconds(1);

    OpsEndpoint(StoreProbe& probe, const Metrics& metrics) : m_probe(probe), m_metrics(metrics) {}
    // `path` may carry a query, which is ignored.
    Reply Answer(std::string_view method, std::string_view path) const;

private:
    StoreProbe& m_probe;
    const Metrics& m_metrics;
};

}  // namespace quibra::pollserver
