#include <gtest/gtest.h>

#include "EventStream.h"
#include "pollserver/PollServerProcess.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "support/TinyproxyProcess.h"

using namespace quibra::test;

namespace {

// Whether the stream opens: true once it is connected, false once its first
// attempt has failed.
bool Opens(EventStream::Settings settings) {
    settings.module = "quibra";
    settings.firstPauseMs = 60000;  // one attempt; Stop cuts the pause short
    EventStream stream(std::move(settings));
    bool failed = false;
    QObject::connect(&stream, &EventStream::Log,
                     [&](const QString& line) { failed |= line.contains("trying again"); });
    stream.Start();
    WaitFor([&] { return failed || stream.CurrentState() == EventStream::State::Connected; });
    return stream.CurrentState() == EventStream::State::Connected;
}

// The plug-in's checks of the server's identity hold for the stream too: a CA
// file verifies chain and name, a pin the key, either one refuses plain HTTP;
// without them any certificate is taken.
TEST(EventStream, ChecksTheServersIdentityAsThePluginDoes) {
    TempDir dir;
    const auto at = [&](const char* name) { return (dir / name).string(); };
    const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
    ASSERT_EQ(std::system(("(cd " + dir.Path().string() +
                           " && for ca in ca otherca; do openssl req -x509" + ec +
                           " -subj /CN=$ca -keyout $ca.key -out $ca.pem; done && openssl req" + ec +
                           " -subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1"
                           " -keyout srv.key -out srv.csr && openssl x509 -req -in srv.csr"
                           " -CA ca.pem -CAkey ca.key -CAcreateserial -copy_extensions copy"
                           " -days 2 -out srv.pem) 2>/dev/null")
                              .c_str()),
              0);
    const auto pinOf = [&](const std::string& cert) {
        return "sha256//" + CommandOutput("openssl x509 -in " + cert +
                                          " -pubkey -noout | openssl pkey -pubin -outform der |"
                                          " openssl dgst -sha256 -binary | openssl base64 -A");
    };
    PollServerProcess server;
    ASSERT_TRUE(server.Start(dir / "polls.db", {"--cert", at("srv.pem"), "--key", at("srv.key")}))
        << server.Error();
    const struct {
        std::string caFile, pin, url;
        bool opens;
    } cases[] = {
        {at("ca.pem"), "", server.HttpsUrl(), true},
        {"", pinOf(at("srv.pem")), server.HttpsUrl(), true},
        {"", "", server.HttpsUrl(), true},
        {at("otherca.pem"), "", server.HttpsUrl(), false},
        {"", pinOf(at("ca.pem")), server.HttpsUrl(), false},
        {at("ca.pem"), "", server.HttpUrl(), false},
        {"", pinOf(at("srv.pem")), server.HttpUrl(), false},
    };
    for (const auto& c : cases) {
        EventStream::Settings settings;
        settings.serverUrl = c.url;
        settings.caFile = c.caFile;
        settings.pin = c.pin;
        EXPECT_EQ(Opens(settings), c.opens) << c.url << " " << c.caFile << " " << c.pin;
    }
}

// The stream takes the proxy of the environment variables, as the plug-in's
// requests do (here Debian's tinyproxy), and goes direct to hosts of no_proxy.
TEST(EventStream, GoesThroughTheProxyOfTheEnvironment) {
    TempDir dir;
    PollServerProcess server;
    ASSERT_TRUE(server.Start(dir / "polls.db")) << server.Error();
    TinyproxyProcess tinyproxy;
    ASSERT_TRUE(tinyproxy.Ready()) << tinyproxy.Log();
    ScopedEnv proxy("http_proxy", "http://127.0.0.1:" + tinyproxy.Port() + "/"),
        all("all_proxy", std::nullopt), lower("no_proxy", std::nullopt),
        upper("NO_PROXY", std::nullopt);
    const auto proxied = [&] {
        const std::string text = tinyproxy.Log();
        std::size_t count = 0;
        for (std::size_t at = text.find("/quibra/v1/events"); at != std::string::npos;
             at = text.find("/quibra/v1/events", at + 1))
            ++count;
        return count;
    };
    EventStream::Settings settings;
    settings.serverUrl = server.HttpUrl();
    EXPECT_TRUE(Opens(settings));
    EXPECT_EQ(proxied(), 1u) << tinyproxy.Log();
    ScopedEnv direct("NO_PROXY", "localhost, 127.0.0.1");  // either case, as the plug-in
    EXPECT_TRUE(Opens(settings));
    EXPECT_EQ(proxied(), 1u);
}

}  // namespace

namespace {

// After a drop the stream resumes with Last-Event-ID and delivers each event
// once; after a resync (the server's log is new) it takes the fresh open list,
// which carries the resync's id.
TEST(EventStream, ResumesAfterADropAndStartsAfreshAfterAResync) {
    ScriptedServer server;
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream\r\nConnection: close\r\n\r\n";
    server.Push({head + "id: 5\nevent: open\ndata: 3\n\n", true});
    server.Push({head + "id: 5\nevent: close\ndata: 3\n\nid: 1\nevent: resync\ndata:\n\n"
                        "id: 1\nevent: open\ndata: 7\n\nid: 1\nevent: close\ndata: 7\n\n",
                 false, true});
    EventStream::Settings settings;
    settings.serverUrl = "http://127.0.0.1:" + std::to_string(server.Port());
    settings.module = "m";
    settings.firstPauseMs = 2;
    EventStream stream(settings);
    std::vector<std::string> got;
    QObject::connect(&stream, &EventStream::Received, [&](const StreamEvent& e) {
        got.push_back(std::to_string(e.id) + StreamEvent::KindName(e.kind));
    });
    stream.Start();
    ASSERT_TRUE(WaitFor([&] { return got.size() >= 3 && stream.LastEventId() == 1; }));
    stream.Stop();
    EXPECT_EQ(got, (std::vector<std::string>{"5open", "1resync", "1open"}));
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Headers({"last-event-id", "accept"}), "-|text/event-stream");
    EXPECT_EQ(requests[1].Headers({"last-event-id"}), "5");
}

}  // namespace
