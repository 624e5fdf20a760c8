#include <gtest/gtest.h>

#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>

#include <string>
#include <thread>
#include <vector>

#include "support/TestSupport.h"
#include "transport/CHttpUtil.h"
#include "transport/DesktopProxySettings.h"
#include "transport/ProxyRules.h"
#include "transport/ProxySettings.h"
#include "transport/ScriptedServer.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

using test::ScriptedReply;
using test::ScriptedServer;

const char kPacScript[] = R"(
function FindProxyForURL(url, host) {
    if (host == "poll.test") return "PROXY 127.0.0.1:3128; DIRECT";
    if (host == "socks.test") return "SOCKS5 127.0.0.1:1080; PROXY 127.0.0.1:3129";
    if (url.substring(0, 6) == "https:") return "HTTPS 127.0.0.1:8443";
    return "DIRECT";
})";

bool Ask(const std::wstring& url, ProxyInfo& info) {
    return CHttpUtil::Instance().GetProxyForUrl(url, info);
}

// The answer for `url` in one line, starting from a stale answer that every
// call must replace: "fail", or "proxy|direct[ script] <list> [<bypass list>]".
std::wstring Answer(const std::wstring& url) {
    ProxyInfo info;
    info.found = info.fromScript = true;
    info.proxyList = info.bypassList = L"stale";
    if (!Ask(url, info)) return info.found ? L"fail, found" : L"fail";
    return std::wstring(info.found ? L"proxy" : L"direct") +
           (info.fromScript ? L" script " : L" ") + info.proxyList + L" [" + info.bypassList + L"]";
}

TEST(ProxyDiscovery, ExplicitListWinsOverScriptAndNothingMeansDirect) {
    ScriptedServer scriptServer;
    ProxySettings settings = test::ExplicitProxy(L"proxy1:8080", L"<local>");
    settings.autoConfigUrl = scriptServer.WideBaseUrl() + L"/proxy.pac";
    test::ScopedProxySettings scope(settings);
    EXPECT_EQ(Answer(L"http://poll.test"), L"proxy proxy1:8080 [<local>]");
    EXPECT_EQ(scriptServer.Connections(), 0);

    scope.Use(ProxySettings{});
    EXPECT_EQ(Answer(L"http://poll.test"), L"direct  []");
    // Automatic detection alone is never attempted.
    ProxySettings detectOnly;
    detectOnly.autoDetect = true;
    scope.Use(detectOnly);
    EXPECT_EQ(Answer(L"http://poll.test"), L"direct  []");
    // Settings that cannot be read give no answer.
    CHttpUtil::Instance().SetSettingsReader([](ProxySettings&) { return false; });
    EXPECT_EQ(Answer(L"http://poll.test"), L"fail");
}

TEST(ProxyDiscovery, ScriptChoosesProxyOrDirectAndUnreachableScriptFails) {
    ScriptedServer scriptServer;
    scriptServer.SetDefault(ScriptedReply::Status(
        200, kPacScript, {"Content-Type: application/x-ns-proxy-autoconfig"}));
    test::ScopedProxySettings scope(test::ScriptAt(scriptServer.WideBaseUrl() + L"/proxy.pac"));
    EXPECT_EQ(Answer(L"http://poll.test"), L"proxy script 127.0.0.1:3128 []");
    EXPECT_EQ(Answer(L"http://socks.test"),
              L"proxy script socks5://127.0.0.1:1080;127.0.0.1:3129 []");
    EXPECT_EQ(Answer(L"https://secure.test"), L"proxy script https://127.0.0.1:8443 []");
    EXPECT_EQ(Answer(L"http://elsewhere.test"), L"direct script  []");

    // Every call fetches the script again; the script server saw the script's own agent.
    const auto requests = scriptServer.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].requestLine, "GET /proxy.pac HTTP/1.1");
    EXPECT_EQ(requests[0].Header("User-Agent"), "WenCheckProxy/1.0");

    // Not found (even with a script for a body), a broken script, a script without an
    // answer, nothing listening.
    scriptServer.Push(ScriptedReply::Status(404, kPacScript));
    scriptServer.Push(ScriptedReply::Status(200, "function FindProxyForURL(url, host) { return "));
    scriptServer.Push(
        ScriptedReply::Status(200, "function FindProxyForURL(url, host) { return 42; }"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Answer(L"http://poll.test"), L"fail") << i;
    scope.Use(test::ScriptAt(test::DeadScriptUrl()));
    EXPECT_EQ(Answer(L"http://poll.test"), L"fail");

    // A script file named by a file URL serves as well.
    test::TempDir dir;
    test::WriteFileBytes(dir / "proxy.pac", kPacScript);
    scope.Use(test::ScriptAt(L"file://" + (dir / "proxy.pac").wstring()));
    EXPECT_EQ(Answer(L"http://poll.test"), L"proxy script 127.0.0.1:3128 []");
}

TEST(ProxyDiscovery, ConcurrentCallersShareTheScriptEngineSafely) {
    ScriptedServer scriptServer;
    scriptServer.SetDefault(ScriptedReply::Status(200, kPacScript));
    test::ScopedProxySettings scope(test::ScriptAt(scriptServer.WideBaseUrl() + L"/proxy.pac"));
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                ProxyInfo info;
                const bool proxied = (t + i) % 2 == 0;
                const bool ok = Ask(proxied ? L"http://poll.test" : L"http://other.test", info);
                if (!ok || info.found != proxied ||
                    (proxied && info.proxyList != L"127.0.0.1:3128"))
                    ++wrong[t];
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(ProxyDiscovery, EnvironmentVariablesGiveTheProxyList) {
    std::vector<std::unique_ptr<test::ScopedEnv>> cleared;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        cleared.push_back(std::make_unique<test::ScopedEnv>(name, std::nullopt));
    ProxySettings settings;
    EXPECT_FALSE(ReadEnvironmentProxySettings(settings));

    {
        test::ScopedEnv http("http_proxy", "http://127.0.0.1:3128/");
        test::ScopedEnv all("ALL_PROXY", "socks5://127.0.0.1:1080");
        test::ScopedEnv noProxy("no_proxy", "localhost, .corp.test ,10.0.0.0/8");
        ASSERT_TRUE(ReadEnvironmentProxySettings(settings));
        EXPECT_EQ(settings.proxyList, L"http=127.0.0.1:3128;socks5://127.0.0.1:1080");
        EXPECT_EQ(settings.bypassList, L"localhost;.corp.test;10.0.0.0/8");
        EXPECT_TRUE(settings.autoConfigUrl.empty());
    }
    {
        // Lower case wins over upper case.
        test::ScopedEnv lower("https_proxy", "proxy.lower:1");
        test::ScopedEnv upper("HTTPS_PROXY", "proxy.upper:2");
        ASSERT_TRUE(ReadEnvironmentProxySettings(settings));
        EXPECT_EQ(settings.proxyList, L"https=proxy.lower:1");
        EXPECT_TRUE(settings.bypassList.empty());

        // The real source (no reader installed) reads the environment first.
        CHttpUtil::Instance().SetSettingsReader({});
        EXPECT_EQ(Answer(L"https://poll.test"), L"proxy https=proxy.lower:1 []");
    }
}

TEST(ProxyDiscovery, DesktopSettingsGiveManualProxiesOrTheScriptUrl) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    GSettingsSchema* schema =
        source ? g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE) : nullptr;
    if (schema == nullptr) GTEST_SKIP() << "the desktop proxy schema is not installed";
    g_settings_schema_unref(schema);

    GSettingsBackend* backend = g_memory_settings_backend_new();
    GSettings* proxy = g_settings_new_with_backend("org.gnome.system.proxy", backend);
    GSettings* http = g_settings_get_child(proxy, "http");
    GSettings* https = g_settings_get_child(proxy, "https");

    // A view kept from before the changes reads each change, as a fresh read does.
    const DesktopProxySettings kept(backend);
    ASSERT_TRUE(kept.IsOpen());
    auto read = [&](ProxySettings& settings) {
        ProxySettings fresh;
        if (!ReadDesktopProxySettings(fresh, backend) || !kept.Read(settings)) return false;
        EXPECT_EQ(settings.proxyList, fresh.proxyList);
        EXPECT_EQ(settings.bypassList, fresh.bypassList);
        EXPECT_EQ(settings.autoConfigUrl, fresh.autoConfigUrl);
        EXPECT_EQ(settings.autoDetect, fresh.autoDetect);
        return true;
    };

    ProxySettings settings;
    ASSERT_TRUE(read(settings));  // mode "none"
    EXPECT_TRUE(settings.proxyList.empty());
    EXPECT_TRUE(settings.autoConfigUrl.empty());

    g_settings_set_string(proxy, "mode", "manual");
    g_settings_set_string(http, "host", "proxy.test");
    g_settings_set_int(http, "port", 3128);
    g_settings_set_string(https, "host", "secure-proxy.test");
    g_settings_set_int(https, "port", 3129);
    const gchar* ignored[] = {"localhost", "*.corp.test", "<local>", nullptr};
    g_settings_set_strv(proxy, "ignore-hosts", ignored);
    g_settings_set_string(proxy, "autoconfig-url", "http://127.0.0.1:9/proxy.pac");
    ASSERT_TRUE(read(settings));
    EXPECT_EQ(settings.proxyList, L"http=proxy.test:3128;https=secure-proxy.test:3129");
    EXPECT_EQ(settings.bypassList, L"localhost;*.corp.test;<local>");
    EXPECT_TRUE(settings.autoConfigUrl.empty());

    g_settings_set_int(http, "port", 0);  // an unusable port drops that proxy
    ASSERT_TRUE(read(settings));
    EXPECT_EQ(settings.proxyList, L"https=secure-proxy.test:3129");

    // A SOCKS host serves both schemes, but only while no HTTP or HTTPS proxy is set.
    GSettings* socks = g_settings_get_child(proxy, "socks");
    g_settings_set_string(socks, "host", "socks.test");
    g_settings_set_int(socks, "port", 1080);
    ASSERT_TRUE(read(settings));
    EXPECT_EQ(settings.proxyList, L"https=secure-proxy.test:3129");
    g_settings_set_string(https, "host", "");
    ASSERT_TRUE(read(settings));
    EXPECT_EQ(settings.proxyList, L"socks5://socks.test:1080");
    EXPECT_EQ(proxy_rules::ChooseProxy(settings.proxyList, true), "socks5://socks.test:1080");
    g_object_unref(socks);

    g_settings_set_string(proxy, "mode", "auto");
    ASSERT_TRUE(read(settings));
    EXPECT_TRUE(settings.proxyList.empty());
    EXPECT_EQ(settings.autoConfigUrl, L"http://127.0.0.1:9/proxy.pac");
    EXPECT_FALSE(settings.autoDetect);

    g_settings_set_string(proxy, "autoconfig-url", "");
    ASSERT_TRUE(read(settings));
    EXPECT_TRUE(settings.autoDetect);

    g_object_unref(https);
    g_object_unref(http);
    g_object_unref(proxy);
    g_object_unref(backend);
}

TEST(ProxyRules, ChoosesTheEntryForTheSchemeAndTranslatesTheBypassList) {
    using namespace proxy_rules;
    EXPECT_EQ(ChooseProxy(L"http=a:1;https=b:2;c:3", false), "a:1");
    EXPECT_EQ(ChooseProxy(L"http=a:1;https=b:2;c:3", true), "b:2");
    EXPECT_EQ(ChooseProxy(L"HTTP=a:1 c:3", true), "c:3");
    EXPECT_EQ(ChooseProxy(L"", false), "");

    EXPECT_TRUE(IsBypassedByPattern(L"<local>", L"intranet"));
    EXPECT_FALSE(IsBypassedByPattern(L"<local>", L"poll.test"));
    EXPECT_TRUE(IsBypassedByPattern(L"10.*;*.CORP.*", L"server.corp.example"));
    EXPECT_FALSE(IsBypassedByPattern(L"10.*", L"110.0.0.1"));
    EXPECT_FALSE(IsBypassedByPattern(L"poll.test", L"poll.test"));  // left to libcurl
    EXPECT_EQ(ToCurlNoProxy(L"*.corp.test;localhost <local>,10.*;10.0.0.0/8"),
              ".corp.test,localhost,10.0.0.0/8");
    EXPECT_EQ(ToCurlNoProxy(L"*"), "*");

    std::wstring list;
    bool direct = false;
    EXPECT_TRUE(FromPacAnswer("DIRECT; PROXY a:1", list, direct));
    EXPECT_TRUE(direct);
    EXPECT_TRUE(FromPacAnswer(" PROXY a:1 ;; socks b:2; DIRECT; PROXY c:3", list, direct));
    EXPECT_FALSE(direct);
    EXPECT_EQ(list, L"a:1;socks4://b:2");
    EXPECT_FALSE(FromPacAnswer("undefined", list, direct));
    EXPECT_FALSE(FromPacAnswer("", list, direct));
}

TEST(ProxyRules, EveryChallengeOfAHeaderValueNamesItsScheme) {
    using proxy_rules::OfferedSchemes;
    using Schemes = std::vector<std::string>;
    EXPECT_EQ(OfferedSchemes("Negotiate, NTLM"), (Schemes{"negotiate", "ntlm"}));
    EXPECT_EQ(
        OfferedSchemes("Digest realm=\"a, Basic\", nonce=\"n\\\"x,\", qop=auth, Basic realm=b"),
        (Schemes{"digest", "basic"}));
    EXPECT_EQ(OfferedSchemes("Negotiate YWJj==, , NTLM"), (Schemes{"negotiate", "ntlm"}));
    EXPECT_EQ(OfferedSchemes("=x, \"q\""), Schemes{});
    EXPECT_EQ(OfferedSchemes("Scheme09 a=b, NTLM"), (Schemes{"scheme09", "ntlm"}));
}

}  // namespace
}  // namespace quibra
