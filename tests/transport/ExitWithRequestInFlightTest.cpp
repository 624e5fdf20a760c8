// A host may exit while request threads still run; nothing they use may be
// destroyed under them, the proxy discovery included.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

#include "support/TestSupport.h"
#include "transport/HttpRequest.h"
#include "transport/ScriptedServer.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

using test::ScriptedReply;
using test::ScriptedServer;

// Requests through a proxy script, one after the other, until told to stop.
struct RequestLoop {
    std::atomic<bool> stop{false};
    std::atomic<int> done{0};
    std::atomic<int> failed{0};
    std::thread thread;
    ScriptedServer* proxy = nullptr;
    ScriptedServer* scripts = nullptr;
    test::ScopedProxySettings* settings = nullptr;
};
RequestLoop* g_loop = nullptr;

// Registered before the first use of the discovery object, so it runs after
// the destructors of the process's static objects: the requests must go on
// through the script as before.
void AfterStaticDestructors() {
    const int from = g_loop->done;
    const bool kept = test::WaitFor([&] { return g_loop->done >= from + 3 || g_loop->failed > 0; });
    g_loop->stop = true;
    g_loop->thread.join();
    delete g_loop->proxy;
    delete g_loop->scripts;
    delete g_loop->settings;
    if (!kept || g_loop->failed > 0) _exit(3);
}

[[noreturn]] void ExitWithARequestInFlight() {
    std::atexit(AfterStaticDestructors);
    g_loop = new RequestLoop;
    auto* proxy = g_loop->proxy = new ScriptedServer;
    proxy->SetDefault(ScriptedReply::Status(200, "through the proxy"));
    auto* scripts = g_loop->scripts = new ScriptedServer;
    scripts->SetDefault(ScriptedReply::Status(
        200, "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" +
                 std::to_string(proxy->Port()) + "\"; }"));
    g_loop->settings =
        new test::ScopedProxySettings(test::ScriptAt(scripts->WideBaseUrl() + L"/proxy.pac"));

    g_loop->thread = std::thread([] {
        while (!g_loop->stop) {
            HttpRequest request;
            std::wstring reply;
            if (request.GetText(L"http://127.0.0.1:9/p", reply) && reply == L"through the proxy")
                ++g_loop->done;
            else
                ++g_loop->failed;
        }
    });
    test::WaitFor([] { return g_loop->done > 0; });
    std::exit(0);  // the next request is on its way
}

TEST(RequestLifetime, AProcessExitsWhileARequestGoesThroughAProxyScript) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ExitWithARequestInFlight(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace quibra
