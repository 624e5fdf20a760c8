#include "OpsEndpoint.h"

#include "Metrics.h"
#include "StoreProbe.h"

namespace quibra::pollserver {

OpsEndpoint::Reply OpsEndpoint::Answer(std::string_view method, std::string_view path) const {
    constexpr const char* kText = "text/plain; charset=utf-8";
    path = path.substr(0, path.find('?'));
    if (path != "/healthz" && path != "/metrics") return {404, kText, "not found\n"};
    if (method != "GET" && method != "HEAD") return {405, kText, "method not allowed\n"};
    if (path == "/metrics") return {200, Metrics::kContentType, m_metrics.Exposition()};
    if (m_probe.Answers(kHealthLimit)) return {200, kText, "ok\n"};
    return {503, kText, "the database does not answer\n"};
}

}  // namespace quibra::pollserver
