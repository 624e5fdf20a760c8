// The operators' listener: /healthz both ways, and /metrics as promtool reads
// it with the counters that one job of each kind moves. And the packaged systemd
// unit: systemd's own checker accepts it, and its hardening rates 2.0 or lower
// ("OK" or better) in systemd's security review.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "HttpClient.h"
#include "Metrics.h"
#include "OpsEndpoint.h"
#include "PollServerProcess.h"
#include "PollServerSession.h"
#include "SqlitePollStore.h"
#include "StoreProbe.h"
#include "support/TestSupport.h"

namespace quibra::test {
namespace {

using pollserver::OpsEndpoint;

// The lines of `text` that begin with one of `prefixes`, in order.
std::string Lines(const std::string& text, const std::vector<std::string>& prefixes) {
    std::istringstream in(text);
    std::string out;
    for (std::string line; std::getline(in, line);)
        for (const auto& prefix : prefixes)
            if (line.rfind(prefix, 0) == 0) out += line + "\n";
    return out;
}

TEST(PollServerMetrics, PromtoolAcceptsTheMetricsAndOneJobOfEachKindMovesTheCounters) {
    TempDir dir;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(dir / "polls.db", {"--metrics", "127.0.0.1:0"})) << server.Error();
    ASSERT_FALSE(server.MetricsUrl().empty());
    HttpClient client;
    EXPECT_EQ(client.Get(server.MetricsUrl() + "/healthz").body, "ok\n");
    // No attendee is connected yet, and the operators' own connection is not counted.
    EXPECT_EQ(Lines(client.Get(server.MetricsUrl() + "/metrics").body, {"quibra_pollserver_idle"}),
              "quibra_pollserver_idle_connections 0\n");

    PollServerSession session(server.HttpUrl());
    const std::string id = session.Create("anna", "m", "Lunch?", "S", false, {{"A", "Yes"}});
    ASSERT_FALSE(id.empty());
    ASSERT_EQ(session.SetStatus(id, "O", "1"), 200);
    ASSERT_EQ(session.Vote(id, "bob", "Bob", {"A"}), 200);
    ASSERT_EQ(session.Vote(id, "bob", "Bob", {"Z"}), 400);
    for (int i = 0; i < 2; ++i) session.Info({id});
    session.Published({id});

    const auto metrics = client.Get(server.MetricsUrl() + "/metrics");
    EXPECT_EQ(metrics.status, 200);
    EXPECT_EQ(metrics.contentType, pollserver::Metrics::kContentType);
    const auto file = dir / "metrics.txt";
    std::ofstream(file) << metrics.body;
    EXPECT_EQ(CommandOutput("promtool check metrics < " + file.string() + " 2>&1"), "");

    // Counted: the jobs by status, the one ballot committed, three write jobs (the
    // poll, its status, the good ballot: the bad one is refused before the writer)
    // and the second GetPollingInfo from the cache.
    EXPECT_EQ(
        Lines(metrics.body,
              {"quibra_pollserver_requests_total{", "quibra_pollserver_ballots_committed_total ",
               "quibra_pollserver_group_commit_jobs_sum ",
               "quibra_pollserver_cached_replies_total ", "quibra_pollserver_open_connections{"}),
        "quibra_pollserver_requests_total{job=\"CreatePolling\",status=\"200\"} 1\n"
        "quibra_pollserver_requests_total{job=\"UpdatePollingStatus\",status=\"200\"} 1\n"
        "quibra_pollserver_requests_total{job=\"PostPolling\",status=\"200\"} 1\n"
        "quibra_pollserver_requests_total{job=\"PostPolling\",status=\"400\"} 1\n"
        "quibra_pollserver_requests_total{job=\"GetPollingInfo\",status=\"200\"} 2\n"
        "quibra_pollserver_requests_total{job=\"GetPollingResult2\",status=\"200\"} 1\n"
        "quibra_pollserver_ballots_committed_total 1\n"
        "quibra_pollserver_group_commit_jobs_sum 3\n"
        "quibra_pollserver_open_connections{listener=\"http\"} 1\n"
        "quibra_pollserver_open_connections{listener=\"https\"} 0\n"
        "quibra_pollserver_cached_replies_total 1\n");
    EXPECT_EQ(client.Get(server.MetricsUrl() + "/other").status, 404);
    // The attendees' listeners know nothing of it.
    EXPECT_EQ(client.Get(server.HttpUrl() + "/metrics").status, 404);
}

// A store whose trivial read hangs until released, or fails.
class StuckStore : public pollserver::SqlitePollStore {
public:
    using SqlitePollStore::SqlitePollStore;
    bool Ping() override {
        if (fail) return false;
        while (stuck) stuck.wait(true);
        return true;
    }
    std::atomic<bool> stuck{false};
    bool fail = false;
};

TEST(PollServerMetrics, HealthIsServiceUnavailableWhenTheStoreDoesNotAnswerWithinASecond) {
    TempDir dir;
    StuckStore store(dir / "polls.db");
    pollserver::StoreProbe probe(store);
    const OpsEndpoint ops(probe, pollserver::Metrics::Global());
    auto status = [&] { return ops.Answer("GET", "/healthz").status; };
    auto began = std::chrono::steady_clock::now();
    EXPECT_EQ(status(), 200);
    EXPECT_LT(std::chrono::steady_clock::now() - began, OpsEndpoint::kHealthLimit)
        << "a store that answers is not waited out";
    store.fail = true;
    EXPECT_EQ(status(), 503);
    store.fail = false;
    store.stuck = true;
    began = std::chrono::steady_clock::now();
    EXPECT_EQ(status(), 503);
    EXPECT_GE(std::chrono::steady_clock::now() - began, OpsEndpoint::kHealthLimit);
    store.stuck = false;
    store.stuck.notify_all();
    EXPECT_TRUE(WaitFor([&] { return status() == 200; }));
    EXPECT_EQ(ops.Answer("POST", "/healthz").status, 405);
}

// What a command prints on both streams, then "exit N" with its exit status.
std::string Shell(const std::string& command) {
    return CommandOutput("{ " + command + "; } 2>&1; echo \"exit $?\"");
}

TEST(PollServerService, TheUnitVerifiesAndRatesTwoOrLower) {
    // verify wants the program to exist: the built one stands in for /usr/bin's.
    std::ifstream in(QUIBRA_SOURCE_DIR "/debian/quibra-pollserver.service");
    std::stringstream unit;
    unit << in.rdbuf();
    std::string text = unit.str();
    const std::string installed = "/usr/bin/pollserver";
    ASSERT_NE(text.find("ExecStart=" + installed + " $POLLSERVER_OPTIONS"), std::string::npos);
    text.replace(text.find(installed), installed.size(), QUIBRA_POLLSERVER_EXE);
    TempDir dir;
    const auto copy = dir / "quibra-pollserver.service";
    std::ofstream(copy) << text;

    EXPECT_EQ(Shell("systemd-analyze verify " + copy.string()), "exit 0");
    // --threshold is ten times the exposure level: 20 is 2.0.
    const auto security =
        Shell("systemd-analyze security --offline=true --threshold=20 " + copy.string());
    EXPECT_TRUE(security.ends_with("\nexit 0")) << security;
    EXPECT_NE(security.find("Overall exposure level for quibra-pollserver.service: "),
              std::string::npos)
        << security;
}

}  // namespace
}  // namespace quibra::test
