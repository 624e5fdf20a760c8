#include <gtest/gtest.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <tuple>

#include "HostOptions.h"
#include "quibra/Version.h"
#include "support/TestSupport.h"

using quibra::test::TempDir;

namespace {

TEST(HostOptions, ParsesServersRolesAndTheHttpsChoice) {
    // Arguments; role; the manager address with HTTPS; "1", "0" or "" (left to
    // the user's file) for HTTPS.
    const std::tuple<std::vector<std::string>, std::string, std::string, std::string> cases[] = {
        {{}, "presenter", "127.0.0.1:8443", ""},
        {{"--http"}, "presenter", "127.0.0.1:8443", "0"},
        {{"--role", "attendee", "--server", "https://poll:9443/"}, "attendee", "poll:9443", "1"},
        {{"--server", "http://10.0.0.5"}, "presenter", "10.0.0.5", "0"},
        {{"--server", "10.0.0.5:81", "--https"}, "presenter", "10.0.0.5:81", "1"},
        {{"--https", "--server", "https://h:1"}, "presenter", "h:1", "1"}};
    for (const auto& [args, role, managerIpHttps, ssl] : cases) {
        HostOptions options;
        std::string message;
        ASSERT_EQ(HostOptions::Parse(args, options, message), HostOptions::Outcome::Run) << message;
        EXPECT_EQ(options.IsPresenter() ? "presenter" : "attendee", role);
        EXPECT_EQ(options.ManagerIp(true), managerIpHttps);
        EXPECT_EQ(options.useSsl ? (*options.useSsl ? "1" : "0") : "", ssl) << args.size();
    }
    HostOptions named;
    std::string message;
    HostOptions::Parse({"--user", "u7", "--name", "李明", "--attendees", "0"}, named, message);
    EXPECT_EQ(std::tie(named.user, named.name, named.attendees), std::tuple("u7", "李明", 0));
}

TEST(HostOptions, RefusesBadCommandLinesWithTheReason) {
    const std::pair<std::vector<std::string>, std::string> cases[] = {
        {{"--bogus"}, "unknown option --bogus"},
        {{"--role", "guest"}, "presenter or attendee"},
        {{"--user"}, "needs a value"},
        {{"--user", "--http"}, "needs a value"},
        {{"--attendees", "9"}, "0 to 8"},
        {{"--attendees", "-1"}, "0 to 8"},
        {{"--server", "ftp://h"}, "http:// and https://"},
        {{"--server", "h:99999"}, "1 to 65535"},
        {{"--server", "h:"}, "1 to 65535"},
        {{"--server", "http://h:8080/polls"}, "without a path"},
        {{"--server", "h?x=1"}, "without a path"},
        {{"--server", "https://h", "--http"}, "contradicts"},
        {{"--http", "--https"}, "contradicts"},
        {{"--session", "a b"}, "letters, digits"},
        {{"--name", "two\nlines"}, "one line"},
        {{"--token", "a b"}, "letters, digits and - _ ."},
        {{"--token", "a\r\nX-Injected: 1"}, "letters, digits and - _ ."},
        {{"--token", "@/nonexistent/token"}, "cannot read /nonexistent/token"},
        {{"--server-pin", "md5//abc"}, "sha256//BASE64"}};
    for (const auto& [args, expected] : cases) {
        HostOptions options;
        std::string message;
        EXPECT_EQ(HostOptions::Parse(args, options, message), HostOptions::Outcome::Error)
            << args[0];
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
}

TEST(HostOptions, TakesATokenOrItsFileAndTheServersIdentity) {
    TempDir dir;
    quibra::test::WriteFileBytes(dir / "token", "aa.bb-_.cc\n");
    HostOptions given, fromFile;
    std::string message;
    ASSERT_EQ(HostOptions::Parse(
                  {"--token", "x.y.z", "--server-ca", "/ca.pem", "--server-pin", "sha256//AbC="},
                  given, message),
              HostOptions::Outcome::Run)
        << message;
    ASSERT_EQ(HostOptions::Parse({"--token", "@" + (dir / "token").string()}, fromFile, message),
              HostOptions::Outcome::Run)
        << message;
    EXPECT_EQ(given.token + " " + given.serverCa + " " + given.serverPin + " " + fromFile.token,
              "x.y.z /ca.pem sha256//AbC= aa.bb-_.cc");
}

struct HostRun {
    int code;
    QString out, err;
};

HostRun RunHost(const QStringList& args, const TempDir& home) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_CONFIG_HOME", QString::fromStdString(home.Path().string()));
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (const char* proxy :
         {"https_proxy", "HTTPS_PROXY", "http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
        env.remove(proxy);
    process.setProcessEnvironment(env);
    process.start(QUIBRA_HOST_EXE, args);
    process.waitForFinished(60000);
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

TEST(HostOptions, TheProgramRefusesAndNamesAnUnreachableServer) {
    TempDir home;
    const HostRun bad = RunHost({"--role", "guest"}, home);
    EXPECT_EQ(bad.code, 2);
    EXPECT_TRUE(bad.err.contains("presenter or attendee")) << bad.err.toStdString();

    // Nothing listens on port 1 of the loopback.
    const HostRun unreachable = RunHost({"--server", "http://127.0.0.1:1"}, home);
    EXPECT_EQ(unreachable.code, 1);
    EXPECT_TRUE(unreachable.err.contains("cannot reach the PollServer at 127.0.0.1:1"))
        << unreachable.err.toStdString();
    EXPECT_FALSE(std::filesystem::exists(home / "wendrake" / "wenconfig.xml"))
        << "nothing is written for a run that cannot start";
}

TEST(HostOptions, VersionPrintsTheProjectVersion) {
    TempDir home;
    const HostRun run = RunHost({"--version"}, home);
    EXPECT_EQ(std::make_tuple(run.code, run.out, run.err),
              std::make_tuple(0, QStringLiteral("quibra-host " QUIBRA_VERSION "\n"), QString()));
}

}  // namespace
