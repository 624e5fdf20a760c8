#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "transport/TransportTestSupport.h"
#include "transport/UrlEncode.h"

namespace quibra {
namespace {

using test::ScriptedReply;
namespace fs = std::filesystem;

// The URL parts a request settled on: "https 127.0.0.1:443 /p?q".
std::wstring Parts(const HttpRequest& r) {
    return (r.Secure() ? L"https " : L"http ") + r.Host() + L":" + std::to_wstring(r.Port()) +
           L" " + r.ObjectPath();
}

class HttpRequestTest : public ::testing::Test {
protected:
    test::ScopedProxySettings direct;
    test::ScriptedServer server;
    test::TempDir dir;
    const fs::path target = dir / "reply.xml", temp = dir / "reply.xml.dl";

    bool Fetch(HttpRequest& request) {
        return request.Download(server.Url(L"/get"), target.wstring());
    }
};

TEST_F(HttpRequestTest, LaysOutQueryAndHeadersOnFreshConnectionsAndDecodesTheWholeReply) {
    std::string body;  // 5-byte groups never line up with the 4095-byte reads
    std::wstring text;
    for (int i = 0; i < 3000; ++i) body += "\xC3\xA9\xE4\xB8\xAD", text += L"\u00E9\u4E2D";
    server.SetDefault(ScriptedReply::Status(200, body, {"Set-Cookie: session=abc; Path=/"}));
    const std::string fixed =
        "Mozilla/4.0 (compatible; MSIE 5.00; Windows 98)|*/*|no-cache|no-cache|"
        "127.0.0.1:" +
        std::to_string(server.Port()) + "|-|-|-|-";
    using Fields = std::vector<std::pair<std::wstring, std::wstring>>;
    const std::tuple<std::wstring, Fields, std::string> cases[] = {
        {L"/p", {}, "/p?_rnd="},
        {L"/p?x=1", {{L"a", L"1"}}, "/p?x=1&a=1&_rnd="},
        // Bytes outside printable ASCII are escaped in the target, the rest kept as written.
        {L"/\u00E9%41~", {}, "/%C3%A9%41~?_rnd="},
        // Duplicates and empty values are kept; a value is cut at 8192 units.
        {L"/p",
         {{L"n m", L"\u00E9-\U0001F600\nz"}, {L"big", std::wstring(9000, L'v')}, {L"n m", L""}},
         "/p?n+m=%C3%A9%2D%F0%9F%98%80+z&big=" + std::string(8192, 'v') + "&n+m=&_rnd="}};
    for (const auto& [path, fields, query] : cases) {
        HttpRequest request;
        for (const auto& [name, value] : fields) request.AddField(name, value);
        std::wstring reply = L"untouched";
        ASSERT_TRUE(request.GetText(server.Url(path), reply));
        EXPECT_TRUE(reply == text && request.ObjectPath() == path);  // the path keeps no form
        EXPECT_EQ(test::Outcome(request), "0 200 0");
        const auto r = server.Requests().back();
        EXPECT_EQ(test::WithoutTick(r.line), "GET " + query + " HTTP/1.1");
        EXPECT_EQ(r.Headers({"user-agent", "accept", "pragma", "cache-control", "host", "cookie",
                             "authorization", "proxy-authorization", "content-type"}),
                  fixed);
    }
    // The server kept every connection open; no request used another's.
    EXPECT_EQ(server.Connections(), static_cast<int>(std::size(cases)));
}

TEST_F(HttpRequestTest, OnlyACompleteOkReplyCountsAndOnlyACompleteDownloadReplacesTheTarget) {
    std::string binary;
    for (int i = 0; i < 100000; ++i) binary += static_cast<char>((i * 7919) % 256);  // zeros too
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n";
    // The reply, whether it is downloaded, the outcome, and then the reply text (kept by a
    // failed text request) or the target file's bytes.
    const std::tuple<ScriptedReply, bool, std::string, std::string> cases[] = {
        // A redirect is not followed: like every status but 200 it fails with its code.
        {ScriptedReply::Status(302, "", {"Location: /p"}), false, "3 302 302", ""},
        // A response that never comes is abandoned after the receive time-out.
        {{""}, false, "3 0 0", ""},
        {{"HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhalf", true}, false, "0 200 0", "half"},
        {ScriptedReply::Status(200, binary), true, "0 200 0", binary},
        {ScriptedReply::Status(200), true, "0 200 0", ""},
        // Without Content-Length the body ends with the connection and is not size-checked.
        {{"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nend", true}, true, "0 200 0", "end"},
        {ScriptedReply::Status(404, "missing"), true, "3 404 404", "old reply"},
        // A short body, or none (libcurl averages the speed over five seconds, so a stall
        // after some body bytes would only be noticed later): no old reply, no new one.
        {{head + std::string(900, 'x'), true}, true, "0 200 0", "(none)"},
        {{head}, true, "0 200 0", "(none)"}};
    for (const auto& [reply, toFile, outcome, left] : cases) {
        SCOPED_TRACE(outcome + " " + left.substr(0, 20));
        test::WriteFileBytes(target, "old reply");
        server.Push(reply);
        HttpRequest request;
        request.SetReceiveTimeout(1);
        std::wstring text = L"kept";
        // Only a complete 200 reply succeeds, and only as a download here.
        const bool ok = toFile && outcome == "0 200 0" && left != "(none)";
        EXPECT_EQ(toFile ? Fetch(request) : request.GetText(server.Url(L"/t"), text), ok);
        // Then no temporary file is left.
        const std::string file = fs::exists(target) ? test::ReadFileBytes(target) : "(none)";
        EXPECT_EQ(test::Outcome(request) + (fs::exists(temp) ? " temp " : " ") +
                      (toFile ? file + ToUtf8(request.ReplyText())
                              : ToUtf8(text + L" " + request.ReplyText())),
                  outcome + " " + (toFile ? left : "kept " + left));
    }
}

TEST_F(HttpRequestTest, BadUrlsMissingFoldersAndFileErrorsFailBeforeAnyReply) {
    std::wstring reply = L"kept";
    for (const wchar_t* bad :
         {L"", L"ftp://127.0.0.1/x", L"http://", L"http:/127.0.0.1/p", L"http://:80/p",
          L"http://127.0.0.1:0/p", L"http://127.0.0.1:99999/p", L"http://127.0.0.1:/p",
          L"http://127.0.0.1:8a/p", L"http://user@127.0.0.1/p", L"http://127.0.0.1/a b",
          L"127.0.0.1/p"}) {
        HttpRequest request;
        EXPECT_FALSE(request.GetText(bad, reply)) << bad;
        EXPECT_EQ(test::Outcome(request), "1 0 0") << bad;
    }
    EXPECT_EQ(server.Connections(), 0);
    // Nothing listens: no response at all. The URL parts are known even so.
    HttpRequest refused;
    const std::wstring port = std::to_wstring(test::DeadPort());
    EXPECT_FALSE(refused.GetText(L"https://127.0.0.1:" + port + L"/a/b?c=d#frag", reply));
    EXPECT_EQ(test::Outcome(refused) + " " + ToUtf8(Parts(refused) + L" " + reply),
              "3 0 0 https 127.0.0.1:" + ToUtf8(port) + " /a/b?c=d kept");

    const std::wstring missing = (dir / "no-such-folder" / "reply.xml").wstring();
    for (const auto& [url, target, parts] :
         std::vector<std::tuple<std::wstring, std::wstring, std::wstring>>{
             {L"http://127.0.0.1", missing, L"http 127.0.0.1:80 /"},
             {L"HTTPS://localhost?x=1", missing, L"https localhost:443 /?x=1"},
             {L"https://[::1]:8443/p", missing, L"https [::1]:8443 /p"},
             {server.Url(L"/p"), L"reply.xml",
              L"http 127.0.0.1:" + std::to_wstring(server.Port()) + L" /p"}}) {
        HttpRequest request;
        EXPECT_FALSE(request.Download(url, target)) << url;
        EXPECT_EQ(test::Outcome(request) + " " + ToUtf8(Parts(request)), "2 0 0 " + ToUtf8(parts));
    }
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_FALSE(fs::exists(dir / "no-such-folder"));

    // The temporary file cannot be created: the download fails and the old reply stays.
    server.SetDefault(ScriptedReply::Status(200, "new reply"));
    test::WriteFileBytes(target, "old reply");
    fs::create_directory(temp);
    HttpRequest blocked;
    EXPECT_FALSE(Fetch(blocked));
    EXPECT_EQ(test::ReadFileBytes(target), "old reply");
    // The target cannot be replaced (a folder with content stands there).
    fs::remove(temp), fs::remove(target), fs::create_directories(target / "inside");
    HttpRequest rename;
    EXPECT_FALSE(Fetch(rename));
    EXPECT_EQ(test::Outcome(rename), "4 200 0");
    EXPECT_TRUE(!rename.FileErrorText().empty() && rename.FileErrorText().size() <= 260u)
        << rename.FileErrorText().size();
    EXPECT_FALSE(fs::exists(temp));
}

TEST_F(HttpRequestTest, AnyCertificateIsAccepted) {
    // Self-signed, for a name that is not the server's, expired yesterday.
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> cert(X509_new(), X509_free);
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -2 * 86400);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), -86400);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("expired.test"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    ASSERT_GT(X509_sign(cert.get(), key.get(), EVP_sha256()), 0);
    httplib::SSLServer tls(cert.get(), key.get());
    tls.Get("/poll", [](const auto&, auto& res) { res.set_content("secure reply", "text/plain"); });
    const int port = tls.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { tls.listen_after_bind(); });

    HttpRequest request;
    std::wstring reply;
    EXPECT_TRUE(request.GetText(L"https://127.0.0.1:" + std::to_wstring(port) + L"/poll", reply) &&
                reply == L"secure reply");
    tls.stop();
    thread.join();
}

// The server's identity, opt-in: a CA file or a key pin refuses a server with
// another key before any field is sent, accepts the right one, and is HTTPS only.
TEST_F(HttpRequestTest, ServerCaFileAndPinRefuseAnotherServerBeforeSendingAnything) {
    const auto at = [&](const char* name) { return (dir / name).string(); };
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
    for (const char* ca : {"ca", "otherca"})
        ASSERT_EQ(std::system(("openssl req -x509" + ec + " -subj /CN=" + ca + " -keyout " +
                               at(ca) + ".key -out " + at(ca) + ".pem 2>/dev/null")
                                  .c_str()),
                  0);
    ASSERT_EQ(std::system(("openssl req" + ec +
                           " -subj /CN=localhost -addext "
                           "subjectAltName=IP:127.0.0.1 -keyout " +
                           at("srv.key") + " -out " + at("srv.csr") +
                           " 2>/dev/null && openssl x509 -req -in " + at("srv.csr") + " -CA " +
                           at("ca.pem") + " -CAkey " + at("ca.key") +
                           " -CAcreateserial -copy_extensions copy -days 2 -out " + at("srv.pem") +
                           " 2>/dev/null")
                              .c_str()),
              0);
    const auto pinOf = [&](const std::string& cert) {
        return "sha256//" +
               test::CommandOutput("openssl x509 -in " + cert +
                                   " -pubkey -noout | openssl pkey -pubin -outform der |"
                                   " openssl dgst -sha256 -binary | openssl base64 -A");
    };
    httplib::SSLServer tls(at("srv.pem").c_str(), at("srv.key").c_str());
    std::atomic<int> served{0};
    std::string authorization;
    tls.Get("/poll", [&](const auto& req, auto& res) {
        authorization = req.get_header_value("Authorization");
        ++served;
        res.set_content("secure reply", "text/plain");
    });
    const int port = tls.bind_to_any_port("127.0.0.1");
    std::thread thread([&] { tls.listen_after_bind(); });
    const auto https = L"https://127.0.0.1:" + std::to_wstring(port) + L"/poll";
    const struct {
        std::string caFile, pin;
        std::wstring url;
        bool accepted;
    } cases[] = {
        {at("ca.pem"), "", https, true},
        {"", pinOf(at("srv.pem")), https, true},
        {at("ca.pem"), pinOf(at("srv.pem")), https, true},
        {at("otherca.pem"), "", https, false},
        {"", pinOf(at("ca.pem")), https, false},
        {at("ca.pem"), pinOf(at("ca.pem")), https, false},
        {"", pinOf(at("srv.pem")), server.Url(L"/poll"), false},  // plain HTTP: never sent
    };
    int accepted = 0;
    for (const auto& c : cases) {
        HttpRequest request;
        request.SetServerIdentity(c.caFile, c.pin);
        request.SetBearerToken("t0k.en");
        request.AddField(L"userid", L"u1");
        std::wstring reply;
        EXPECT_EQ(request.GetText(c.url, reply), c.accepted) << c.caFile << " " << c.pin;
        EXPECT_EQ(test::Outcome(request), c.accepted ? "0 200 0" : "3 0 0");
        accepted += c.accepted;
        EXPECT_EQ(served.load(), accepted) << "a refused server never gets the request";
    }
    EXPECT_EQ(authorization, "Bearer t0k.en");
    EXPECT_TRUE(server.Requests().empty());
    tls.stop();
    thread.join();
}

TEST(UrlEncode, EscapesAllButAlphanumericsAndSpacesAndJoinsSurrogatePairs) {
    const std::wstring emoji(1, static_cast<wchar_t>(0x1F600)),
        pair = {0xD83D, 0xDE00}, encoded = L"%F0%9F%98%80", bad = L"%EF%BF%BD";
    const wchar_t high = 0xD83D, low = 0xDE00;
    std::wstring pairs, all;
    for (int i = 0; i < 4096; ++i) pairs += pair, all += encoded;
    const std::vector<std::pair<std::wstring, std::wstring>> cases = {
        {L"a b", L"a+b"},
        {L"x-y_z.~AZaz09*+&=%/", L"x%2Dy%5Fz%2E%7EAZaz09%2A%2B%26%3D%25%2F"},
        {L"line\r\nbreak\ttab\v\f" + std::wstring(1, L'\0') + L"\x7F", L"line++break+tab++%00%7F"},
        // Outside the basic plane: one code point or a UTF-16 pair, encoded whole.
        {L"a" + pair + L"b" + emoji, L"a" + encoded + L"b" + encoded},
        {{0xD800, 0xDC00}, L"%F0%90%80%80"},  // the first pair of all: U+10000
        // Lone halves, halves in the wrong order, and values that are no code point.
        {{high, L'a'}, bad + L"a"},
        {{low, high}, bad + bad},
        {{static_cast<wchar_t>(0x110000), static_cast<wchar_t>(-1)}, bad + bad},
        // Outside ASCII a fixed set of spaces, whatever the locale; no-break spaces are not.
        {L"\u3000\u2003\u00A0\u2007", L"++%C2%A0%E2%80%87"},
        // The first 8192 units are kept, and no character is split at the limit.
        {std::wstring(9000, L'a'), std::wstring(8192, L'a')},
        {pairs + L"b", all},  // 4096 pairs fill the limit exactly
        {std::wstring(8190, L'a') + emoji + L"z", std::wstring(8190, L'a') + encoded},
        {std::wstring(8191, L'a') + pair, std::wstring(8191, L'a')},
        {std::wstring(8191, L'a') + high + L"z", std::wstring(8191, L'a') + bad}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(UrlEncode(text), expected) << ::testing::PrintToString(text);
}

}  // namespace
}  // namespace quibra
