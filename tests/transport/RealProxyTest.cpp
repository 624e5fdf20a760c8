#include <gtest/gtest.h>

#include <string>

#include "support/TestSupport.h"
#include "transport/HttpRequest.h"
#include "transport/ScriptedServer.h"
#include "transport/TinyProxy.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

using test::ScriptedReply;
using test::ScriptedServer;

// tinyproxy marks what it forwards with a Via header naming itself.
bool CameThroughTinyproxy(const test::RecordedRequest& request) {
    return request.Header("Via").find("tinyproxy") != std::string::npos;
}

class RealProxyTest : public ::testing::Test {
protected:
    test::TempDir dir;
    ScriptedServer target;
    test::ScopedProxySettings settings;

    void SetUp() override { target.SetDefault(ScriptedReply::Status(200, "poll list")); }
    std::wstring Url() const {
        return target.WideBaseUrl() + L"/wendrake-idm/v4/polling/get_polling.asp";
    }
    bool Get(HttpRequest& request, const std::wstring& user = {},
             const std::wstring& password = {}) {
        request.SetProxyUser(user);
        request.SetProxyPassword(password);
        std::wstring reply;
        return request.GetText(Url(), reply) && reply == L"poll list";
    }
};

TEST_F(RealProxyTest, BasicCredentialsOpenAProxyThatDemandsThem) {
    test::TinyProxy proxy(dir.Path(), "pollster", "s3cret");
    settings.Use(test::ExplicitProxy(proxy.Address()));

    HttpRequest anonymous;
    EXPECT_FALSE(Get(anonymous));
    EXPECT_EQ(anonymous.GetFailureKind(), FailureKind::HttpFailed);
    EXPECT_EQ(anonymous.HttpErrorCode(), 407);
    HttpRequest wrong;
    EXPECT_FALSE(Get(wrong, L"pollster", L"guess"));
    EXPECT_EQ(wrong.GetFailureKind(), FailureKind::HttpFailed);
    // tinyproxy refuses a wrong password outright (401) rather than challenging again.
    EXPECT_TRUE(wrong.HttpErrorCode() == 401 || wrong.HttpErrorCode() == 407)
        << wrong.HttpErrorCode();
    EXPECT_TRUE(target.Requests().empty());

    HttpRequest authorised;
    authorised.AddField(L"job", L"GetPollingResult");
    ASSERT_TRUE(Get(authorised, L"pollster", L"s3cret"));
    EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), ProxyAuthScheme::Basic);
    const auto requests = target.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(CameThroughTinyproxy(requests[0]));
    EXPECT_EQ(requests[0].requestLine.rfind(
                  "GET /wendrake-idm/v4/polling/get_polling.asp?job=GetPollingResult&_rnd=", 0),
              0u)
        << requests[0].requestLine;
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)");
    EXPECT_EQ(requests[0].CountHeaders("Proxy-Authorization"), 0);  // the proxy keeps them
}

TEST_F(RealProxyTest, EnvironmentAndScriptLeadToAnOpenProxy) {
    test::TinyProxy proxy(dir.Path());
    const std::wstring wideAddress = proxy.Address();
    const std::string address(wideAddress.begin(), wideAddress.end());

    // The user's real settings source: the environment.
    CHttpUtil::Instance().SetSettingsReader({});
    {
        test::ScopedEnv http("http_proxy", "http://" + address + "/");
        test::ScopedEnv noProxy("no_proxy", std::nullopt);
        test::ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
        HttpRequest request;
        ASSERT_TRUE(Get(request));
    }

    // An auto-configuration script that names the proxy for this host.
    ScriptedServer scriptServer;
    scriptServer.SetDefault(ScriptedReply::Status(
        200, "function FindProxyForURL(url, host) { return host == \"127.0.0.1\" ? \"PROXY " +
                 address + "; DIRECT\" : \"DIRECT\"; }"));
    settings.Use(test::ScriptAt(scriptServer.WideBaseUrl() + L"/proxy.pac"));
    HttpRequest scripted;
    ASSERT_TRUE(Get(scripted));

    // A script that cannot be fetched leaves the request on its direct connection.
    settings.Use(test::ScriptAt(test::DeadScriptUrl()));
    HttpRequest fallback;
    ASSERT_TRUE(Get(fallback));

    const auto requests = target.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(CameThroughTinyproxy(requests[0]));
    EXPECT_TRUE(CameThroughTinyproxy(requests[1]));
    EXPECT_FALSE(CameThroughTinyproxy(requests[2]));
}

}  // namespace
}  // namespace quibra
