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
    std::wstring Url() const { return target.WideBaseUrl() + L"/wendrake-idm/v4/polling/get_polling.asp"; }
};

TEST_F(RealProxyTest, RequestReachesTheServerThroughAnOpenProxy) {
    test::TinyProxy proxy(dir.Path());
    settings.Use(test::ExplicitProxy(proxy.Address()));
    HttpRequest request;
    request.AddField(L"job", L"GetPollingResult");
    std::wstring reply;
    ASSERT_TRUE(request.GetText(Url(), reply));
    EXPECT_EQ(reply, L"poll list");

    const auto requests = target.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(CameThroughTinyproxy(requests[0]));
    EXPECT_EQ(requests[0].requestLine.rfind("GET /wendrake-idm/v4/polling/get_polling.asp?job=GetPollingResult&_rnd=", 0),
              0u)
        << requests[0].requestLine;
    EXPECT_EQ(requests[0].Header("User-Agent"), "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)");
}

TEST_F(RealProxyTest, BasicCredentialsOpenAProxyThatDemandsThem) {
    test::TinyProxy proxy(dir.Path(), "pollster", "s3cret");
    settings.Use(test::ExplicitProxy(proxy.Address()));

    HttpRequest anonymous;
    std::wstring reply;
    EXPECT_FALSE(anonymous.GetText(Url(), reply));
    EXPECT_EQ(anonymous.GetFailureKind(), FailureKind::HttpFailed);
    EXPECT_EQ(anonymous.HttpErrorCode(), 407);
    EXPECT_TRUE(target.Requests().empty());

    HttpRequest wrong;
    wrong.SetProxyUser(L"pollster");
    wrong.SetProxyPassword(L"guess");
    EXPECT_FALSE(wrong.GetText(Url(), reply));
    EXPECT_EQ(wrong.GetFailureKind(), FailureKind::HttpFailed);
    // tinyproxy refuses a wrong password outright (401) rather than challenging again.
    EXPECT_TRUE(wrong.HttpErrorCode() == 401 || wrong.HttpErrorCode() == 407) << wrong.HttpErrorCode();
    EXPECT_TRUE(target.Requests().empty());

    HttpRequest authorised;
    authorised.SetProxyUser(L"pollster");
    authorised.SetProxyPassword(L"s3cret");
    ASSERT_TRUE(authorised.GetText(Url(), reply));
    EXPECT_EQ(reply, L"poll list");
    EXPECT_EQ(HttpRequest::GetProxyAuthScheme(), ProxyAuthScheme::Basic);
    const auto requests = target.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(CameThroughTinyproxy(requests[0]));
    EXPECT_EQ(requests[0].CountHeaders("Proxy-Authorization"), 0);  // the proxy keeps them

    // Downloads go the same way.
    const auto file = dir / "list.xml";
    HttpRequest download;
    download.SetProxyUser(L"pollster");
    download.SetProxyPassword(L"s3cret");
    ASSERT_TRUE(download.Download(Url(), file.wstring()));
    EXPECT_EQ(test::ReadFileBytes(file), "poll list");
}

TEST_F(RealProxyTest, EnvironmentAndScriptLeadToTheProxy) {
    test::TinyProxy proxy(dir.Path());
    const std::string address = "127.0.0.1:" + std::to_string(proxy.Port());

    // The user's real settings source: the environment.
    CHttpUtil::Instance().SetSettingsReader({});
    {
        test::ScopedEnv http("http_proxy", "http://" + address + "/");
        test::ScopedEnv noProxy("no_proxy", std::nullopt);
        test::ScopedEnv noProxyUpper("NO_PROXY", std::nullopt);
        HttpRequest request;
        std::wstring reply;
        ASSERT_TRUE(request.GetText(Url(), reply));
    }

    // An auto-configuration script that names the proxy for this host.
    ScriptedServer scriptServer;
    scriptServer.SetDefault(ScriptedReply::Status(
        200, "function FindProxyForURL(url, host) { return host == \"127.0.0.1\" ? \"PROXY " + address +
                 "; DIRECT\" : \"DIRECT\"; }"));
    settings.Use(test::ScriptAt(scriptServer.WideBaseUrl() + L"/proxy.pac"));
    HttpRequest scripted;
    std::wstring reply;
    ASSERT_TRUE(scripted.GetText(Url(), reply));

    // A script that cannot be fetched leaves the request on its direct connection.
    settings.Use(test::ScriptAt(L"http://127.0.0.1:" + std::to_wstring(test::FreeLoopbackPort()) + L"/proxy.pac"));
    HttpRequest fallback;
    ASSERT_TRUE(fallback.GetText(Url(), reply));

    const auto requests = target.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(CameThroughTinyproxy(requests[0]));
    EXPECT_TRUE(CameThroughTinyproxy(requests[1]));
    EXPECT_FALSE(CameThroughTinyproxy(requests[2]));
}

}  // namespace
}  // namespace quibra
