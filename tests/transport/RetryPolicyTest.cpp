#include <chrono>

#include "transport/RetryPolicy.h"
#include "transport/TransportTestSupport.h"

using namespace quibra;
using namespace quibra::test;
using std::chrono::milliseconds;

TEST(RetryPolicy, PausesDoubleUpToTheLongest) {
    const std::pair<int, long> pauses[] = {{1, 250}, {2, 500}, {3, 1000}, {4, 2000}, {9, 2000}};
    for (const auto& [attempt, pause] : pauses)
        EXPECT_EQ(RetryPolicy::Pause(attempt).count(), pause);
    EXPECT_FALSE(RetryPolicy().Retries());
}

// A server that accepts and never answers costs the budget, not the request's own
// 30 s receive time-out; one that answers 503 is asked again until the budget ends.
TEST(RetryPolicy, TheBudgetBoundsEveryAttempt) {
    ScopedProxySettings direct;
    ScriptedServer server;
    ScriptedReply stall;
    stall.stall = true;
    const std::pair<ScriptedReply, int> cases[] = {{stall, 1}, {ScriptedReply::Status(503), 2}};
    for (const auto& [reply, atLeast] : cases) {
        server.SetDefault(reply);
        const int before = server.Connections();
        HttpRequest request;
        std::wstring text;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_FALSE(RetryPolicy::Within(milliseconds(700)).Run(request, [&] {
            return request.GetText(server.Url(L"/p"), text);
        }));
        EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(5000));
        EXPECT_GE(server.Connections() - before, atLeast);
        EXPECT_TRUE(RetryPolicy::IsTransient(request));
    }
}
