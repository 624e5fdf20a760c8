#define G_SETTINGS_ENABLE_BACKEND
#include <gio/gio.h>
#include <gio/gsettingsbackend.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <list>
#include <thread>

#include "support/TinyproxyProcess.h"
#include "transport/DesktopProxySettings.h"
#include "transport/ProxyRules.h"
#include "transport/TransportTestSupport.h"
#include "transport/UrlEncode.h"

namespace quibra {
namespace {

using test::ScopedEnv;
using test::ScriptedReply;
using test::ScriptedServer;

const char kPacScript[] = R"(
function FindProxyForURL(url, host) {
    if (host == "poll.test") return "PROXY 127.0.0.1:3128; DIRECT";
    if (host == "socks.test") return "SOCKS5 127.0.0.1:1080; SOCKS 127.0.0.1:1081;; PROXY :3129";
    if (url.substring(0, 6) == "https:") return "HTTPS 127.0.0.1:8443";
    return "DIRECT";
})";

// The answer for `url` in one line, starting from a stale answer that every call must replace:
// "fail", or "proxy|direct[ script] <list> [<bypass list>]".
std::wstring Answer(const std::wstring& url) {
    ProxyInfo info{true, true, L"stale", L"stale"};
    if (!CHttpUtil::Instance().GetProxyForUrl(url, info))
        return info.found ? L"fail, found" : L"fail";
    return std::wstring(info.found ? L"proxy" : L"direct") +
           (info.fromScript ? L" script " : L" ") + info.proxyList + L" [" + info.bypassList + L"]";
}

TEST(ProxyDiscovery, ExplicitListWinsOverScriptWhichWinsOverDirect) {
    ScriptedServer scripts;
    scripts.SetDefault(ScriptedReply::Status(200, kPacScript));
    test::ScopedProxySettings scope(
        test::Proxy(L"proxy1:8080", L"<local>", scripts.Url(L"/proxy.pac")));
    EXPECT_EQ(Answer(L"http://poll.test"), L"proxy proxy1:8080 [<local>]");
    EXPECT_EQ(scripts.Connections(), 0);
    scope.Use(ProxySettings{true, {}, {}, {}});  // automatic detection alone is never attempted
    EXPECT_EQ(Answer(L"http://poll.test"), L"direct  []");
    CHttpUtil::Instance().SetSettingsReader([](ProxySettings&) { return false; });
    EXPECT_EQ(Answer(L"http://poll.test"), L"fail");

    scope.Use(test::Proxy(L"", L"", scripts.Url(L"/proxy.pac")));
    EXPECT_EQ(Answer(L"http://poll.test"), L"proxy script 127.0.0.1:3128 []");
    EXPECT_EQ(Answer(L"http://socks.test"),
              L"proxy script socks5://127.0.0.1:1080;socks4://127.0.0.1:1081;:3129 []");
    EXPECT_EQ(Answer(L"https://secure.test"), L"proxy script https://127.0.0.1:8443 []");
    EXPECT_EQ(Answer(L"http://elsewhere.test"), L"direct script  []");
    // Every call fetches the script again, with the script's own agent.
    const auto fetched = scripts.Requests();
    EXPECT_EQ(std::to_string(fetched.size()) + " " + fetched.back().line + " " +
                  fetched.back().Headers({"user-agent"}),
              "4 GET /proxy.pac HTTP/1.1 WenCheckProxy/1.0");

    // Concurrent callers share the script engine, and the form encoder's scratch space.
    const std::wstring accent(9000, L'\u00E9');
    std::wstring encoded;
    for (int i = 0; i < 8192; ++i) encoded += L"%C3%A9";
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = t; i < t + 10; ++i)
                wrong += (UrlEncode(accent) != encoded) +
                         (Answer(i % 2 ? L"http://poll.test" : L"http://other.test") !=
                          (i % 2 ? L"proxy script 127.0.0.1:3128 []" : L"direct script  []"));
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, 0);

    // Not found (with a script for a body), a broken script, one without an answer, nothing
    // listening.
    scripts.Push(ScriptedReply::Status(404, kPacScript));
    scripts.Push(ScriptedReply::Status(200, "function FindProxyForURL(url, host) { return "));
    scripts.Push(ScriptedReply::Status(200, "function FindProxyForURL(url, host) { return 42; }"));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Answer(L"http://poll.test"), L"fail") << i;
    scope.Use(test::Proxy(
        L"", L"", L"http://127.0.0.1:" + std::to_wstring(test::DeadPort()) + L"/proxy.pac"));
    EXPECT_EQ(Answer(L"http://poll.test"), L"fail");
}

TEST(ProxyDiscovery, EnvironmentVariablesGiveTheProxyListBeforeTheDesktop) {
    std::list<ScopedEnv> cleared;
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        cleared.emplace_back(name, std::nullopt);
    ProxySettings settings;
    // The real source (no reader installed) then reads the desktop's (empty) settings.
    test::ScopedProxySettings scope(std::nullopt);
    ScopedEnv memory("GSETTINGS_BACKEND", "memory");
    EXPECT_EQ(Answer(L"https://poll.test"), L"direct  []");
    {
        ScopedEnv http("http_proxy", "http://127.0.0.1:3128/"), all("ALL_PROXY", "socks5://s:1");
        ScopedEnv noProxy("no_proxy", "localhost, .corp.test ,10.0.0.0/8");
        ASSERT_TRUE(ReadEnvironmentProxySettings(settings));
        EXPECT_EQ(settings.proxyList + L" [" + settings.bypassList + L"] " + settings.autoConfigUrl,
                  L"http=127.0.0.1:3128;socks5://s:1 [localhost;.corp.test;10.0.0.0/8] ");
    }
    // Lower case wins over upper case.
    ScopedEnv lower("https_proxy", "proxy.lower:1"), upper("HTTPS_PROXY", "proxy.upper:2");
    EXPECT_EQ(Answer(L"https://poll.test"), L"proxy https=proxy.lower:1 []");
}

TEST(ProxyDiscovery, DesktopSettingsGiveManualProxiesSocksOrTheScriptUrl) {
    GSettingsBackend* backend = g_memory_settings_backend_new();
    GSettings* proxy = g_settings_new_with_backend("org.gnome.system.proxy", backend);
    GSettings *http = g_settings_get_child(proxy, "http"),
              *https = g_settings_get_child(proxy, "https"),
              *socks = g_settings_get_child(proxy, "socks");
    // "<proxy list> [<bypass list>] <script URL>[ detect]", read afresh and through a view kept
    // from before the changes, in turn.
    const DesktopProxySettings kept(backend);
    auto read = [&, useKept = true]() mutable {
        ProxySettings s;
        const bool ok = (useKept = !useKept) ? kept.Read(s) : ReadDesktopProxySettings(s, backend);
        return ok ? s.proxyList + L" [" + s.bypassList + L"] " + s.autoConfigUrl +
                        (s.autoDetect ? L" detect" : L"")
                  : L"fail";
    };
    EXPECT_TRUE(kept.IsOpen());
    EXPECT_EQ(read(), L" [] ");  // mode "none"

    g_settings_set_string(proxy, "mode", "manual");
    g_settings_set_string(http, "host", "proxy.test");
    g_settings_set_int(http, "port", 3128);
    g_settings_set_string(https, "host", "secure-proxy.test");
    g_settings_set_int(https, "port", 3129);
    const gchar* ignored[] = {"localhost", "*.corp.test", "<local>", nullptr};
    g_settings_set_strv(proxy, "ignore-hosts", ignored);
    g_settings_set_string(proxy, "autoconfig-url", "http://127.0.0.1:9/proxy.pac");
    const std::wstring bypass = L" [localhost;*.corp.test;<local>] ";
    EXPECT_EQ(read(), L"http=proxy.test:3128;https=secure-proxy.test:3129" + bypass);
    g_settings_set_int(http, "port", 0);  // an unusable port drops that proxy
    // A SOCKS host serves both schemes, but only while no HTTP or HTTPS proxy is set.
    g_settings_set_string(socks, "host", "socks.test");
    g_settings_set_int(socks, "port", 1080);
    EXPECT_EQ(read(), L"https=secure-proxy.test:3129" + bypass);
    g_settings_set_string(https, "host", "");
    EXPECT_EQ(read(), L"socks5://socks.test:1080" + bypass);
    g_settings_set_string(proxy, "mode", "auto");
    EXPECT_EQ(read(), L" [] http://127.0.0.1:9/proxy.pac");
    g_settings_set_string(proxy, "autoconfig-url", "");
    EXPECT_EQ(read(), L" []  detect");
    for (void* object : {socks, https, http, proxy}) g_object_unref(object);
    g_object_unref(backend);
}

TEST(ProxyRules, ChoosesTheEntryForTheSchemeReadsBypassPatternsAndChallenges) {
    using namespace proxy_rules;
    EXPECT_EQ(ChooseProxy(L"http=a:1;https=b:2;c:3", false) + ChooseProxy(L"HTTP=a:1 c:3", true),
              "a:1c:3");
    EXPECT_TRUE(IsBypassedByPattern(L"<local>", L"intranet"));
    EXPECT_FALSE(IsBypassedByPattern(L"<local>", L"poll.test"));
    EXPECT_TRUE(IsBypassedByPattern(L"10.*;*.CORP.*", L"server.corp.example"));
    EXPECT_FALSE(IsBypassedByPattern(L"10.*", L"110.0.0.1"));
    // Every challenge of a Proxy-Authenticate value names its scheme; parameters do not.
    using Schemes = std::vector<std::string>;
    EXPECT_EQ(
        OfferedSchemes("Digest realm=\"a, Basic\", nonce=\"n\\\"x,\", qop=auth, Basic realm=b"),
        (Schemes{"digest", "basic"}));
    EXPECT_EQ(OfferedSchemes("=x, \"q\", Scheme09 a=b, NTLM"), (Schemes{"scheme09", "ntlm"}));
}

// The scripted server plays the proxy; the target behind it is never reached.
class ProxyAuthTest : public ::testing::Test {
protected:
    ScriptedServer proxy;
    test::ScopedProxySettings settings{test::Proxy(L"127.0.0.1:" + std::to_wstring(proxy.Port()))};

    static bool Get(HttpRequest& request, const std::wstring& url = L"http://127.0.0.1:9/p",
                    const std::wstring& user = L"u") {
        request.SetProxyUser(user);
        request.SetProxyPassword(L"p");
        std::wstring reply;
        return request.GetText(url, reply);
    }
};

TEST_F(ProxyAuthTest, OneRetryWithTheStrongestOfferedSchemeWhichLaterRequestsKeep) {
    using S = ProxyAuthScheme;
    const std::string B = "Proxy-Authenticate: Basic realm=\"q\"", N = "Proxy-Authenticate: NTLM",
                      D = "Proxy-Authenticate: Digest realm=\"q\", nonce=\"n1\", qop=\"auth\"",
                      G = "Proxy-Authenticate: Negotiate", ntlm = "NTLM TlRMTVNTUAAB*";
    // Through a tunnel or not, the user, the challenges of each reply (none: 200), the outcome,
    // the scheme then chosen, and the Proxy-Authorization of every request of a refusal or of
    // the accepted one ("*": the beginning only).
    const std::tuple<bool, std::wstring, std::vector<std::vector<std::string>>, std::string, S,
                     std::string>
        cases[] = {{false, L"u", {{B}, {B}}, "3 407 407", S::Basic, "Basic dTpw"},
                   // Without a user the scheme is still remembered, but no credentials are sent.
                   {false, L"", {{N}, {N}}, "3 407 407", S::NTLM, "-"},
                   // The server's own headers (Pragma) stay inside the tunnel.
                   {true, L"u", {{B}, {B}}, "3 407 407", S::Basic, "Basic dTpw"},
                   // NTLM over Digest over Basic, over every header; anything else leads to Basic.
                   {false, L"u", {{B, D}, {D}, {}}, "0 200 0", S::Digest, "Digest username=\"u\"*"},
                   {false, L"u", {{G}, {}}, "0 200 0", S::Basic, "Basic dTpw"},
                   {false, L"u", {{D, G + " abc==, ntlm"}, {}}, "0 200 0", S::NTLM, ntlm},
                   {false, L"u", {{}}, "0 200 0", S::NTLM, ntlm}};  // the last choice is kept
    for (const auto& [tunnel, user, replies, outcome, scheme, sent] : cases) {
        SCOPED_TRACE(outcome + " " + sent);
        if (replies.size() > 1) HttpRequest::SetProxyAuthScheme(S::Basic);
        const size_t before = proxy.Requests().size();
        for (const auto& challenges : replies)
            proxy.Push(ScriptedReply::Status(challenges.empty() ? 200 : 407, "", challenges));
        HttpRequest request;
        EXPECT_EQ(Get(request, tunnel ? L"https://127.0.0.1:9/p" : L"http://127.0.0.1:9/p", user),
                  outcome[0] == '0');
        EXPECT_EQ(test::Outcome(request), outcome);
        EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), scheme);
        const auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), before + replies.size()) << "at most one retry";
        for (size_t i = outcome[0] == '0' ? requests.size() - 1 : before; i < requests.size();
             ++i) {
            const auto& r = requests[i];
            std::string got = r.Headers({"proxy-authorization"});
            if (sent.ends_with('*')) got = got.substr(0, sent.size() - 1) + "*";
            EXPECT_EQ(
                r.line.substr(0, 30) + " " + got + " " + r.Headers({"authorization", "pragma"}),
                (tunnel ? "CONNECT 127.0.0.1:9 HTTP/1.1 " : "GET http://127.0.0.1:9/p?_rnd= ") +
                    sent + (tunnel ? " -|-" : " -|no-cache"));
        }
    }
}

TEST_F(ProxyAuthTest, ARealProxyTakesTheRightCredentialsAndBypassedHostsGoDirect) {
    ScriptedServer target;
    target.SetDefault(ScriptedReply::Status(200, "direct"));
    const std::wstring url = target.Url(L"/p");
    // Debian's tinyproxy, demanding Basic credentials "u:p".
    test::TinyproxyProcess tinyproxy("BasicAuth u p\n");
    ASSERT_TRUE(tinyproxy.Ready()) << tinyproxy.Log();
    settings.Use(test::Proxy(L"http=127.0.0.1:" + FromUtf8(tinyproxy.Port())));
    HttpRequest anonymous, authorised;
    EXPECT_FALSE(Get(anonymous, url, L""));
    EXPECT_EQ(test::Outcome(anonymous), "3 407 407");
    EXPECT_TRUE(Get(authorised, url));
    EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), ProxyAuthScheme::Basic);
    // tinyproxy keeps the credentials, and marks what it forwards with a Via header.
    const std::string forwarded = target.Requests().at(0).Headers({"proxy-authorization", "via"});
    EXPECT_TRUE(forwarded.starts_with("-|") && forwarded.find("tinyproxy") != std::string::npos)
        << forwarded;

    const std::wstring dead = L"127.0.0.1:" + std::to_wstring(test::DeadPort());
    settings.Use(test::Proxy(dead));
    HttpRequest viaDead;
    EXPECT_FALSE(Get(viaDead, url));
    EXPECT_EQ(test::Outcome(viaDead), "3 0 0") << "a proxy that does not answer fails the request";
    // Unless the host is on the bypass list, in any of its forms, or the only entry is for the
    // other scheme, or a script cannot be fetched; libcurl's own reading of the environment
    // never interferes.
    ScopedEnv http("http_proxy", "http://" + ToUtf8(dead)), noProxy("no_proxy", std::nullopt);
    for (const auto& s : {test::Proxy(dead, L"127.0.0.1"), test::Proxy(dead, L"127.0.*"),
                          test::Proxy(dead, L"localhost;127.0.0.0/8"), test::Proxy(dead, L"*"),
                          test::Proxy(L"https=" + dead),
                          test::Proxy(L"", L"", L"http://" + dead + L"/p"), ProxySettings{}}) {
        settings.Use(s);
        HttpRequest request;
        EXPECT_TRUE(Get(request, url)) << s.proxyList << " " << s.bypassList;
    }
    EXPECT_EQ(target.Requests().size(), 8u);
    EXPECT_EQ(proxy.Connections(), 0);
}

// A host may exit while request threads still run; nothing they use may be destroyed under
// them, the proxy discovery included. Requests go through a proxy script, one after the
// other, until the check registered with atexit (before the first use of the discovery
// object, so it runs after the destructors of the process's static objects) has seen three
// more succeed.
struct RequestLoop {
    std::atomic<int> done{0};
    std::atomic<bool> stop{false};
    ScriptedServer proxy, scripts;
    test::ScopedProxySettings settings;
    std::thread thread;
};
RequestLoop* g_loop = nullptr;

[[noreturn]] void ExitWithARequestInFlight() {
    std::atexit([] {
        const int from = g_loop->done;
        const bool kept = test::WaitFor([&] { return g_loop->done >= from + 3; });
        g_loop->stop = true;
        g_loop->thread.join();
        delete g_loop;  // its servers join their threads
        if (!kept) _exit(3);
    });
    g_loop = new RequestLoop;
    g_loop->proxy.SetDefault(ScriptedReply::Status(200, "through the proxy"));
    g_loop->scripts.SetDefault(ScriptedReply::Status(
        200, "function FindProxyForURL(url, host) { return \"PROXY 127.0.0.1:" +
                 std::to_string(g_loop->proxy.Port()) + "\"; }"));
    g_loop->settings.Use(test::Proxy(L"", L"", g_loop->scripts.Url(L"/proxy.pac")));
    g_loop->thread = std::thread([] {
        while (!g_loop->stop) {
            HttpRequest request;
            std::wstring reply;
            if (request.GetText(L"http://127.0.0.1:9/p", reply) && reply == L"through the proxy")
                ++g_loop->done;
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
