#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "transport/HttpRequest.h"
#include "transport/ScriptedServer.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

using test::ScriptedReply;
using test::ScriptedServer;

// The scripted server plays the proxy; the target behind it is never reached.
class ProxyAuthTest : public ::testing::Test {
protected:
    ScriptedServer proxyServer;
    test::ScopedProxySettings settings{
        test::ExplicitProxy(L"127.0.0.1:" + std::to_wstring(proxyServer.Port()))};

    static bool Get(HttpRequest& request, const std::wstring& url = L"http://127.0.0.1:9/p") {
        std::wstring reply;
        return request.GetText(url, reply);
    }
    static HttpRequest& WithUser(HttpRequest& request) {
        request.SetProxyUser(L"u");
        request.SetProxyPassword(L"p");
        return request;
    }
};

TEST_F(ProxyAuthTest, NothingOfARequestReachesTheNextOne) {
    // Handles are kept between requests: the second request, without
    // credentials and as a GET, must not inherit the first one's credentials,
    // verb, body or connection.
    proxyServer.SetDefault(ScriptedReply::Status(200, "ok"));
    HttpRequest post;
    post.AddField(L"job", L"PostPolling");
    post.SetVerb(L"POST");
    post.SetUrl(L"http://127.0.0.1:9/p");
    ASSERT_TRUE(WithUser(post).Send());
    HttpRequest get;
    ASSERT_TRUE(Get(get));

    const auto requests = proxyServer.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].requestLine, "POST http://127.0.0.1:9/p HTTP/1.1");
    EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "Basic dTpw");
    EXPECT_EQ(requests[0].body, "job=PostPolling");
    EXPECT_EQ(requests[1].requestLine.rfind("GET http://127.0.0.1:9/p?_rnd=", 0), 0u)
        << requests[1].requestLine;
    EXPECT_EQ(requests[1].CountHeaders("Proxy-Authorization"), 0);
    EXPECT_EQ(requests[1].CountHeaders("Content-Type"), 0);
    EXPECT_EQ(requests[1].CountHeaders("Content-Length"), 0);
    EXPECT_TRUE(requests[1].body.empty());
    EXPECT_EQ(proxyServer.Connections(), 2)
        << "the proxy kept the first connection open; it was not reused";
}

TEST_F(ProxyAuthTest, ARefusalAfterOneRetryFailsWith407) {
    struct Case {
        const char* what;
        std::string challenge;
        bool withUser;
        std::wstring url;
        std::string requestLine;  // its beginning
        std::string credentials;  // "" for none
        ProxyAuthScheme schemeAfter;
    };
    const std::vector<Case> cases = {
        {"a second 407", "Basic realm=\"q\"", true, L"http://127.0.0.1:9/p",
         "GET http://127.0.0.1:9/p?_rnd=", "Basic dTpw" /* "u:p" */, ProxyAuthScheme::Basic},
        // Without a user the scheme is still remembered, but no credentials are sent.
        {"no user", "NTLM", false, L"http://127.0.0.1:9/p", "GET http://127.0.0.1:9/p?_rnd=", "",
         ProxyAuthScheme::NTLM},
        // The server's headers stay inside the tunnel.
        {"tunnel", "Basic realm=\"q\"", true, L"https://127.0.0.1:9/p",
         "CONNECT 127.0.0.1:9 HTTP/1.1", "Basic dTpw", ProxyAuthScheme::Basic}};
    for (const auto& c : cases) {
        ScriptedServer proxy;
        settings.Use(test::ExplicitProxy(L"127.0.0.1:" + std::to_wstring(proxy.Port())));
        proxy.SetDefault(ScriptedReply::ProxyChallenge({c.challenge}));
        HttpRequest request;
        EXPECT_FALSE(Get(c.withUser ? WithUser(request) : request, c.url)) << c.what;
        EXPECT_EQ(request.GetFailureKind(), FailureKind::HttpFailed) << c.what;
        EXPECT_EQ(request.HttpErrorCode(), 407) << c.what;
        EXPECT_EQ(request.StatusCode(), 407) << c.what;
        EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), c.schemeAfter) << c.what;

        const auto requests = proxy.Requests();
        ASSERT_EQ(requests.size(), 2u) << c.what << ": the request and exactly one retry";
        for (const auto& r : requests) {
            EXPECT_EQ(r.requestLine.rfind(c.requestLine, 0), 0u) << c.what << ": " << r.requestLine;
            EXPECT_EQ(r.Header("Proxy-Authorization"), c.credentials) << c.what;
            EXPECT_EQ(r.CountHeaders("Proxy-Authorization"), c.credentials.empty() ? 0 : 1)
                << c.what;
            EXPECT_EQ(r.CountHeaders("Authorization"), 0) << c.what;
            EXPECT_EQ(r.CountHeaders("Pragma"), c.url[4] == L's' ? 0 : 1) << c.what;
        }
    }
    EXPECT_EQ(proxyServer.Connections(), 0);
}

TEST_F(ProxyAuthTest, TheStrongestSchemeOfEveryChallengeHeaderIsChosenAndKept) {
    // NTLM over Digest over Basic; anything else leads back to Basic.
    const std::string digest = "Digest realm=\"q\", nonce=\"n1\", qop=\"auth\"";
    const struct {
        std::vector<std::string> headers;
        ProxyAuthScheme chosen;
        std::string sent;  // how the accepted request's Proxy-Authorization begins
    } cases[] = {
        {{"Basic realm=\"q\"", digest}, ProxyAuthScheme::Digest, "Digest username=\"u\""},
        {{"Negotiate"}, ProxyAuthScheme::Basic, "Basic dTpw"},
        {{"Negotiate", "Basic realm=\"q\", Digest realm=\"q\", nonce=\"n\""},
         ProxyAuthScheme::Digest,
         "Digest username=\"u\""},
        // Commas inside quotes and between parameters start no scheme.
        {{"Basic realm=\"a, NTLM\", charset=\"UTF-8\""}, ProxyAuthScheme::Basic, "Basic dTpw"},
        {{"Negotiate, NTLM"}, ProxyAuthScheme::NTLM, "NTLM TlRMTVNTUAAB"},
        {{"Basic realm=\"q\"", "Negotiate abc==, ntlm"},
         ProxyAuthScheme::NTLM,
         "NTLM TlRMTVNTUAAB"},
        {{"Basic realm=\"q\"", digest, "NTLM"}, ProxyAuthScheme::NTLM, "NTLM TlRMTVNTUAAB"},
    };
    for (const auto& c : cases) {
        HttpRequest::SetProxyAuthScheme(ProxyAuthScheme::Basic);
        proxyServer.Push(ScriptedReply::ProxyChallenge(c.headers));
        if (c.chosen == ProxyAuthScheme::Digest)
            proxyServer.Push(ScriptedReply::ProxyChallenge({digest}));  // the digest's round trip
        proxyServer.Push(ScriptedReply::Status(200, "through"));
        HttpRequest request;
        EXPECT_TRUE(Get(WithUser(request))) << c.headers[0];
        EXPECT_EQ(request.ReplyText(), L"through") << c.headers[0];
        EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), c.chosen) << c.headers[0];
        const std::string sent = proxyServer.Requests().back().Header("Proxy-Authorization");
        EXPECT_EQ(sent.rfind(c.sent, 0), 0u) << c.headers[0] << ": " << sent;
    }
    // A later request uses the chosen scheme from the start.
    const size_t before = proxyServer.Requests().size();
    proxyServer.Push(ScriptedReply::Status(200, "again"));
    HttpRequest later;
    ASSERT_TRUE(Get(WithUser(later)));
    const auto requests = proxyServer.Requests();
    ASSERT_EQ(requests.size(), before + 1);
    EXPECT_EQ(requests.back().Header("Proxy-Authorization").rfind("NTLM TlRMTVNTUAAB", 0), 0u);
}

TEST_F(ProxyAuthTest, BypassedHostsAndMissingSettingsGoDirect) {
    ScriptedServer target;
    target.SetDefault(ScriptedReply::Status(200, "direct"));
    const std::wstring url = target.WideBaseUrl() + L"/p";
    const std::wstring deadProxy = L"127.0.0.1:" + std::to_wstring(test::FreeLoopbackPort());

    // A proxy that does not answer fails the request...
    settings.Use(test::ExplicitProxy(deadProxy));
    HttpRequest viaDead;
    EXPECT_FALSE(Get(viaDead, url));
    EXPECT_EQ(viaDead.HttpErrorCode(), 0);
    // ...unless the host is on the bypass list, in any of its forms.
    for (const wchar_t* bypass :
         {L"127.0.0.1", L"localhost;127.0.0.1", L"127.0.*", L"127.0.0.0/8", L"*"}) {
        settings.Use(test::ExplicitProxy(deadProxy, bypass));
        HttpRequest bypassed;
        EXPECT_TRUE(Get(bypassed, url)) << bypass;
    }
    // An entry for the other scheme only is not used.
    settings.Use(test::ExplicitProxy(L"https=" + deadProxy));
    HttpRequest otherScheme;
    EXPECT_TRUE(Get(otherScheme, url));

    // libcurl's own reading of the environment never interferes.
    test::ScopedEnv http("http_proxy", "http://" + std::string(deadProxy.begin(), deadProxy.end()));
    test::ScopedEnv noProxy("no_proxy", std::nullopt);
    settings.Use(ProxySettings{});
    HttpRequest direct;
    EXPECT_TRUE(Get(direct, url));
    EXPECT_EQ(target.Requests().size(), 7u);
    EXPECT_EQ(proxyServer.Connections(), 0);
}

}  // namespace
}  // namespace quibra
