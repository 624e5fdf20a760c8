#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>

#include "support/TestSupport.h"
#include "transport/HttpRequest.h"
#include "transport/ScriptedServer.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

using test::RecordedRequest;
using test::ScriptedReply;
using test::ScriptedServer;
namespace fs = std::filesystem;

int32_t Tick() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u));
}

// The request target of "GET <target> HTTP/1.1".
std::string Target(const RecordedRequest& request) {
    const std::string& line = request.requestLine;
    const size_t first = line.find(' ');
    return line.substr(first + 1, line.rfind(' ') - first - 1);
}

// Splits "<prefix>_rnd=<n>" and checks n is the tick count of the request.
void ExpectCacheBreaker(const RecordedRequest& request, const std::string& prefix, int32_t before,
                        int32_t after) {
    const std::string target = Target(request);
    ASSERT_EQ(target.rfind(prefix + "_rnd=", 0), 0u) << target;
    const std::string tick = target.substr(prefix.size() + 5);
    ASSERT_TRUE(std::regex_match(tick, std::regex("-?[0-9]+"))) << tick;
    const auto value = static_cast<int32_t>(std::stol(tick));
    EXPECT_LE(static_cast<uint32_t>(value) - static_cast<uint32_t>(before),
              static_cast<uint32_t>(after) - static_cast<uint32_t>(before));
}

// The URL parts a request settled on: "https 127.0.0.1:443 /p?q".
std::wstring Parts(const HttpRequest& r) {
    return (r.Secure() ? L"https " : L"http ") + r.Host() + L":" + std::to_wstring(r.Port()) +
           L" " + r.ObjectPath();
}

class HttpRequestTest : public ::testing::Test {
protected:
    test::ScopedProxySettings proxy;  // direct connections
    ScriptedServer server;
    test::TempDir dir;

    std::wstring Url(const std::wstring& path) const { return server.WideBaseUrl() + path; }
};

TEST_F(HttpRequestTest, LaysOutTheQueryWithFieldsAndCacheBreaker) {
    server.SetDefault(ScriptedReply::Status(200, "ok"));
    struct Case {
        std::wstring path;
        std::vector<std::pair<std::wstring, std::wstring>> fields;
        std::string prefix;  // of the request target, before "_rnd=<tick>"
    };
    const std::vector<Case> cases = {
        {L"/p", {}, "/p?"},
        {L"/p", {{L"a", L"1"}, {L"b", L"2"}}, "/p?a=1&b=2&"},
        {L"/p?x=1", {{L"a", L"1"}}, "/p?x=1&a=1&"},
        // Bytes outside printable ASCII are escaped in the target, the rest kept as written.
        {L"/\u00E9%41~", {}, "/%C3%A9%41~?"},
        // Duplicates and empty values are kept; a value is cut at 8192 units.
        {L"/p",
         {{L"n m", L"\u00E9-\U0001F600\nz"}, {L"big", std::wstring(9000, L'v')}, {L"n m", L""}},
         "/p?n+m=%C3%A9%2D%F0%9F%98%80+z&big=" + std::string(8192, 'v') + "&n+m=&"}};
    const int32_t before = Tick();
    for (const auto& c : cases) {
        HttpRequest request;
        for (const auto& [name, value] : c.fields) request.AddField(name, value);
        std::wstring reply;
        ASSERT_TRUE(request.GetText(Url(c.path), reply));
        EXPECT_EQ(request.ObjectPath(), c.path);  // the parsed path keeps no form
    }
    const int32_t after = Tick();

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), cases.size());
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(requests[i].requestLine.substr(0, 4), "GET ") << requests[i].requestLine;
        EXPECT_EQ(requests[i].requestLine.substr(requests[i].requestLine.size() - 9), " HTTP/1.1");
        ExpectCacheBreaker(requests[i], cases[i].prefix, before, after);
    }
}

TEST_F(HttpRequestTest, SendsTheFixedHeadersOnAFreshConnectionWithoutCookies) {
    server.Push(ScriptedReply::Status(200, "first", {"Set-Cookie: session=abc; Path=/"}));
    server.Push(ScriptedReply::Status(200, "second"));
    std::wstring reply;
    HttpRequest first;
    ASSERT_TRUE(first.GetText(Url(L"/p"), reply));
    EXPECT_EQ(reply, L"first");
    HttpRequest second;
    ASSERT_TRUE(second.GetText(Url(L"/p"), reply));
    EXPECT_EQ(reply, L"second");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const auto& r : requests) {
        EXPECT_EQ(
            r.Header("User-Agent") + "|" + r.Header("Accept") + "|" + r.Header("Pragma") + "|" +
                r.Header("Cache-Control") + "|" + r.Header("Host"),
            "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)|*/*|no-cache|no-cache|127.0.0.1:" +
                std::to_string(server.Port()));
        for (const char* absent :
             {"Cookie", "Authorization", "Proxy-Authorization", "Content-Type"})
            EXPECT_EQ(r.CountHeaders(absent), 0) << absent;
        EXPECT_EQ(r.CountHeaders("Accept"), 1);
    }
    // The server kept the first connection open; the second request did not use it.
    EXPECT_EQ(server.Connections(), 2);
}

TEST_F(HttpRequestTest, PostSendsTheFormAsBodyWithoutCacheBreaker) {
    server.SetDefault(ScriptedReply::Status(200, "posted"));
    HttpRequest request;
    request.AddField(L"job", L"PostPolling");
    request.AddField(L"v", L"a b");
    request.SetVerb(L"POST");
    request.SetUrl(Url(L"/p?q=1"));
    ASSERT_TRUE(request.Send());
    EXPECT_EQ(request.ReplyText(), L"posted");

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].requestLine, "POST /p?q=1 HTTP/1.1");
    EXPECT_EQ(requests[0].body, "job=PostPolling&v=a+b");
    EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded;");
    EXPECT_EQ(requests[0].Header("Content-Length"), "21");
    EXPECT_EQ(requests[0].CountHeaders("Expect"), 0);
    EXPECT_EQ(requests[0].Header("Accept"), "*/*");
}

TEST_F(HttpRequestTest, DecodesTheTextReplyWholeAcrossReadChunks) {
    // 5-byte groups never line up with the 4095-byte reads.
    std::string body;
    std::wstring expected;
    for (int i = 0; i < 3000; ++i) {
        body += "\xC3\xA9\xE4\xB8\xAD";
        expected += L"\u00E9\u4E2D";
    }
    server.Push(ScriptedReply::Status(200, body));
    std::wstring reply = L"untouched";
    HttpRequest request;
    ASSERT_TRUE(request.GetText(Url(L"/t"), reply));
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(request.StatusCode(), 200);
    EXPECT_EQ(request.GetFailureKind(), FailureKind::None);
}

TEST_F(HttpRequestTest, ReportsBadUrlsAndHttpFailuresWithTheirCodes) {
    for (const wchar_t* bad :
         {L"", L"ftp://127.0.0.1/x", L"http://", L"http:/127.0.0.1/p", L"http://:80/p",
          L"http://127.0.0.1:0/p", L"http://127.0.0.1:99999/p", L"http://127.0.0.1:/p",
          L"http://127.0.0.1:8a/p", L"http://user@127.0.0.1/p", L"http://127.0.0.1/a b",
          L"127.0.0.1/p"}) {
        HttpRequest request;
        std::wstring reply = L"kept";
        EXPECT_FALSE(request.GetText(bad, reply)) << bad;
        EXPECT_EQ(request.GetFailureKind(), FailureKind::BadUrl) << bad;
        EXPECT_EQ(request.HttpErrorCode(), 0);
        EXPECT_EQ(reply, L"kept");
    }
    EXPECT_EQ(server.Connections(), 0);

    server.Push(ScriptedReply::Status(404, "missing"));
    server.Push(ScriptedReply::Status(500, "broken"));
    for (const int status : {404, 500}) {
        HttpRequest request;
        std::wstring reply = L"kept";
        EXPECT_FALSE(request.GetText(Url(L"/p"), reply));
        EXPECT_EQ(request.GetFailureKind(), FailureKind::HttpFailed);
        EXPECT_EQ(request.HttpErrorCode(), status);
        EXPECT_EQ(request.StatusCode(), status);
        EXPECT_EQ(reply, L"kept");
    }

    // Nothing listens: no response at all. The URL parts are known even so.
    HttpRequest refused;
    const uint16_t closedPort = test::FreeLoopbackPort();
    std::wstring reply;
    EXPECT_FALSE(refused.GetText(
        L"https://127.0.0.1:" + std::to_wstring(closedPort) + L"/a/b?c=d#frag", reply));
    EXPECT_EQ(refused.GetFailureKind(), FailureKind::HttpFailed);
    EXPECT_EQ(refused.HttpErrorCode(), 0);
    EXPECT_EQ(refused.StatusCode(), 0);
    EXPECT_EQ(Parts(refused), L"https 127.0.0.1:" + std::to_wstring(closedPort) + L" /a/b?c=d");

    // A response that never comes is abandoned after the receive time-out.
    server.Push(ScriptedReply{"", false, true});
    HttpRequest stalled;
    stalled.SetReceiveTimeout(1);
    EXPECT_FALSE(stalled.GetText(Url(L"/p"), reply));
    EXPECT_EQ(stalled.GetFailureKind(), FailureKind::HttpFailed);
    EXPECT_EQ(stalled.HttpErrorCode(), 0);
}

TEST_F(HttpRequestTest, DefaultPortsAndMissingFolderAreSettledBeforeAnyConnection) {
    const fs::path missing = dir / "no-such-folder" / "reply.xml";
    for (const auto& [url, parts] : std::vector<std::pair<std::wstring, std::wstring>>{
             {L"http://127.0.0.1", L"http 127.0.0.1:80 /"},
             {L"HTTPS://localhost?x=1", L"https localhost:443 /?x=1"},
             {L"https://[::1]:8443/p", L"https [::1]:8443 /p"}}) {
        HttpRequest request;
        EXPECT_EQ(request.Port(), 80);
        EXPECT_FALSE(request.Download(url, missing.wstring())) << url;
        EXPECT_EQ(request.GetFailureKind(), FailureKind::NoTargetFolder);
        EXPECT_EQ(Parts(request), parts);
    }
    HttpRequest toServer;
    EXPECT_FALSE(toServer.Download(Url(L"/p"), missing.wstring()));
    EXPECT_EQ(toServer.GetFailureKind(), FailureKind::NoTargetFolder);
    HttpRequest noFolderPart;
    EXPECT_FALSE(noFolderPart.Download(Url(L"/p"), L"reply.xml"));
    EXPECT_EQ(noFolderPart.GetFailureKind(), FailureKind::NoTargetFolder);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));
}

class DownloadTest : public HttpRequestTest {
protected:
    fs::path target = dir / "reply.xml";
    fs::path temp = dir / "reply.xml.dl";

    bool Fetch(HttpRequest& request) { return request.Download(Url(L"/get"), target.wstring()); }
};

TEST_F(DownloadTest, ReplacesTheTargetOnlyWithACompleteBody) {
    std::string binary;
    for (int i = 0; i < 100000; ++i)
        binary += static_cast<char>((i * 7919) % 256);  // zero bytes included
    test::WriteFileBytes(target, "old reply");
    server.Push(ScriptedReply::Status(200, binary));
    HttpRequest request;
    ASSERT_TRUE(Fetch(request));
    EXPECT_EQ(test::ReadFileBytes(target), binary);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_TRUE(request.ReplyText().empty());

    // An empty body is a complete download too.
    server.Push(ScriptedReply::Status(200, ""));
    HttpRequest empty;
    ASSERT_TRUE(Fetch(empty));
    EXPECT_TRUE(fs::exists(target));
    EXPECT_EQ(fs::file_size(target), 0u);

    // Without Content-Length the body ends with the connection and is not size-checked.
    server.Push(ScriptedReply{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nuntil close", true});
    HttpRequest unsized;
    ASSERT_TRUE(Fetch(unsized));
    EXPECT_EQ(test::ReadFileBytes(target), "until close");

    // An error status touches no file.
    server.Push(ScriptedReply::Status(404, "missing"));
    HttpRequest notFound;
    EXPECT_FALSE(Fetch(notFound));
    EXPECT_EQ(notFound.HttpErrorCode(), 404);
    EXPECT_EQ(test::ReadFileBytes(target), "until close");
    EXPECT_FALSE(fs::exists(temp));
}

TEST_F(DownloadTest, ShortOrStalledBodyLeavesNeitherTemporaryNorTargetFile) {
    test::WriteFileBytes(target, "old reply");
    server.Push(ScriptedReply{
        "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(900, 'x'), true});
    HttpRequest shortBody;
    EXPECT_FALSE(Fetch(shortBody));
    EXPECT_EQ(shortBody.GetFailureKind(), FailureKind::None);
    EXPECT_EQ(shortBody.StatusCode(), 200);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(target));

    test::WriteFileBytes(target, "old reply");
    // The body never comes. (libcurl averages the speed over five seconds, so
    // a stall after some body bytes would only be noticed later.)
    server.Push(ScriptedReply{"HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n", false, true});
    HttpRequest stalled;
    stalled.SetReceiveTimeout(1);
    EXPECT_FALSE(Fetch(stalled));
    EXPECT_EQ(stalled.GetFailureKind(), FailureKind::None);
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_FALSE(fs::exists(target));

    // A short text reply fails too, keeping what was read.
    server.Push(ScriptedReply{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", true});
    HttpRequest text;
    std::wstring reply = L"kept";
    EXPECT_FALSE(text.GetText(Url(L"/t"), reply));
    EXPECT_EQ(reply, L"kept");
    EXPECT_EQ(text.ReplyText(), L"half");
}

TEST_F(DownloadTest, FileErrorsAreReportedWithTheirText) {
    // The temporary file cannot be created: the download fails and the old
    // reply stays.
    test::WriteFileBytes(target, "old reply");
    fs::create_directory(temp);
    server.Push(ScriptedReply::Status(200, "new reply"));
    HttpRequest blocked;
    EXPECT_FALSE(Fetch(blocked));
    EXPECT_EQ(test::ReadFileBytes(target), "old reply");
    fs::remove(temp);

    // The target cannot be replaced (a folder with content stands there).
    fs::remove(target);
    fs::create_directory(target);
    test::WriteFileBytes(target / "inside", "x");
    server.Push(ScriptedReply::Status(200, "new reply"));
    HttpRequest rename;
    EXPECT_FALSE(Fetch(rename));
    EXPECT_EQ(rename.GetFailureKind(), FailureKind::FileError);
    EXPECT_FALSE(rename.FileErrorText().empty());
    EXPECT_LE(rename.FileErrorText().size(), 260u);
    EXPECT_FALSE(fs::exists(temp));
}

}  // namespace
}  // namespace quibra
