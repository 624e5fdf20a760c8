// Bearer tokens against the real pollserver, one server per algorithm: who may
// do what (a table of job, token and status, with the whole store compared
// before and after every refusal) and hostile tokens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "HttpClient.h"
#include "JwsKey.h"
#include "PollListReply.h"
#include "PollServerProcess.h"
#include "PollServerSession.h"
#include "TokenMinter.h"
#include "TokenVerifier.h"
#include "support/TestSupport.h"

namespace quibra::test {
namespace {

namespace Base64Url = pollserver::Base64Url;
using pollserver::JwsKey;
using pollserver::TokenMinter;
using pollserver::TokenVerifier;
using Json = nlohmann::json;

const std::string kPolling = "/wendrake-idm/v4/polling/polling.asp?";
const std::string kResults = "/wendrake-idm/v4/polling/get_polling.asp?";

void Openssl(const std::string& arguments) {
    ASSERT_EQ(std::system(("openssl " + arguments + " 2>/dev/null").c_str()), 0) << arguments;
}

// A signing key and what the server is given for it, made by the openssl command.
struct KeyPair {
    std::unique_ptr<JwsKey> signer;
    std::string serverOption;  // --auth-key or --auth-secret
    std::filesystem::path serverFile;
};

KeyPair MakeKeys(const std::string& algorithm, const std::filesystem::path& dir,
                 const std::string& name) {
    const auto priv = dir / (name + ".pem");
    const auto pub = dir / (name + ".pub.pem");
    std::string reason;
    if (algorithm == "HS256") {
        Openssl("rand -out " + priv.string() + " -hex 32");
        return {JwsKey::SecretFile(priv, reason), "--auth-secret", priv};
    }
    Openssl("genpkey " +
            std::string(algorithm == "ES256" ? "-algorithm EC -pkeyopt ec_paramgen_curve:P-256"
                                             : "-algorithm ED25519") +
            " -out " + priv.string());
    Openssl("pkey -in " + priv.string() + " -pubout -out " + pub.string());
    return {JwsKey::PrivateKeyFile(priv, reason), "--auth-key", pub};
}

// A token with the given header and claims, signed by `key` (or unsigned).
std::string Token(const Json& header, const Json& claims, const JwsKey* key) {
    const auto input = Base64Url::Encode(header.dump()) + "." + Base64Url::Encode(claims.dump());
    return input + "." + (key ? Base64Url::Encode(*key->Sign(input)) : "");
}

Json Claims(const std::string& user, const std::string& module, const std::string& role,
            std::int64_t expiresIn = 3600) {
    const auto now = TokenVerifier::Now();
    return {{"sub", user},           {"name", user + " (token)"}, {"module", module},
            {"role", role},          {"aud", "quibra"},           {"iat", now},
            {"exp", now + expiresIn}};
}

class PollServerTokenTest : public ::testing::TestWithParam<std::string> {
protected:
    void SetUp() override {
        m_keys = MakeKeys(GetParam(), m_dir.Path(), "signing");
        ASSERT_TRUE(m_keys.signer);
        ASSERT_TRUE(
            m_server.Start(m_dir / "polls.sqlite",
                           {m_keys.serverOption, m_keys.serverFile.string(), "--auth-issuer",
                            "conference.example", "--metrics", "127.0.0.1:0"}))
            << m_server.Error();
    }
    std::string Mint(const std::string& user, const std::string& module, const std::string& role) {
        auto claims = Claims(user, module, role);
        claims["iss"] = "conference.example";
        return Token({{"alg", GetParam()}, {"typ", "JWT"}}, claims, m_keys.signer.get());
    }
    HttpClient::Reply Ask(const std::string& pathAndForm, const std::string& token) {
        m_client.SetHeader(token.empty() ? "" : "Authorization: Bearer " + token);
        return m_client.Get(m_server.HttpUrl() + pathAndForm);
    }
    std::string Create(const std::string& author, const std::string& module) {
        PollServerSession session(m_server.HttpUrl());
        session.SetHeader("Authorization: Bearer " + Mint(author, module, "presenter"));
        return session.Create(author, module, "T", "S", true, {{"A", "yes"}, {"B", "no"}});
    }
    // Every poll of every presenter, with counts and voters: the whole store.
    std::string Everything() {
        std::string all;
        for (const auto& [author, module] : {std::pair("a7", "m1"), {"b8", "m1"}, {"c9", "m2"}})
            all += Ask(kResults + "job=GetPollingResult&userid=" + author + "&modulename=" + module,
                       Mint(author, module, "presenter"))
                       .body;
        return all;
    }

    TempDir m_dir;
    KeyPair m_keys;
    PollServerProcess m_server;
    HttpClient m_client;
};

TEST_P(PollServerTokenTest, EachJobIsRefusedToWhoMayNotDoItAndNothingChanges) {
    const auto x = Create("a7", "m1");  // a7's poll in m1
    const auto y = Create("b8", "m1");  // b8's poll in m1
    const auto z = Create("c9", "m2");  // c9's poll in m2
    const std::string open =
        "job=UpdatePollingStatus&pollcount=1&status_0=O&ispublish_0=1&pollid_0=";
    ASSERT_EQ(Ask(kPolling + open + x, Mint("a7", "m1", "presenter")).status, 200);
    ASSERT_EQ(Ask(kPolling + open + z, Mint("c9", "m2", "presenter")).status, 200);

    const auto a7 = Mint("a7", "m1", "presenter");
    const auto b8 = Mint("b8", "m1", "presenter");
    const auto a7m2 = Mint("a7", "m2", "presenter");
    const auto alice = Mint("alice", "m1", "attendee");
    const auto create =
        "job=CreatePolling&title=T&type=S&status=N&issign=0&ispublish=0&itemcount=0";
    const auto update = "job=UpdatePolling&title=U&type=S&issign=0&itemcount=0&pollid=";
    const auto vote = "job=PostPolling&username=Mallory&itemcount=1&itemname_0=A&pollid=";
    const struct {
        std::string request;
        std::string token;
        long status;
    } refused[] = {
        {kPolling + create + "&userid=a7&modulename=m1", alice, 403},  // not a presenter
        {kPolling + create + "&userid=a7&modulename=m1", b8, 403},     // another author
        {kPolling + create + "&userid=a7&modulename=m2", a7, 403},     // another module
        {kPolling + update + y, a7, 403},                              // b8's poll
        {kPolling + update + x, alice, 403},
        {kPolling + update + x, a7m2, 403},  // a7, but the token's module is m2
        {kPolling + "job=UpdatePollingStatus&pollcount=2&pollid_0=" + x +
             "&status_0=C&pollid_1=" + y + "&status_1=C",
         a7, 403},  // one poll of two is b8's: the whole job is refused
        {kPolling + "job=UpdatePollingStatus&pollcount=1&status_0=C&pollid_0=" + x, alice, 403},
        {kPolling + "job=DeletePolling&pollcount=1&pollid_0=" + x, b8, 403},
        {kPolling + "job=DeletePolling&pollcount=2&pollid_0=" + z + "&pollid_1=" + x, a7, 403},
        {kResults + "job=GetPollingResult&userid=a7&modulename=m1", alice, 403},
        {kResults + "job=GetPollingResult&userid=a7&modulename=m1", b8, 403},
        {kPolling + vote + x + "&userid=bob", alice, 403},    // as another attendee
        {kPolling + vote + z + "&userid=alice", alice, 403},  // a poll of another module
        {kPolling + "job=DeletePolling&pollcount=1&pollid_0=" + x, "", 401},
    };
    for (const auto& row : refused) {
        const auto before = Everything();
        const auto reply = Ask(row.request, row.token);
        EXPECT_EQ(reply.status, row.status) << row.request << "\n" << reply.body;
        EXPECT_EQ(reply.wwwAuthenticate, row.status == 401 ? "Bearer error=\"invalid_token\"" : "");
        EXPECT_EQ(Everything(), before) << row.request;
    }

    // Allowed: the ballot is recorded under the token's name, not the form's.
    EXPECT_EQ(Ask(kPolling + vote + x + "&userid=alice", alice).status, 200);
    PollListReply list;
    ASSERT_TRUE(
        list.Parse(Ask(kResults + "job=GetPollingResult&userid=a7&modulename=m1", a7).body));
    ASSERT_NE(list.Find(x), nullptr);
    EXPECT_EQ(list.Find(x)->items.at(0).userNames, std::vector<std::string>{"alice (token)"});
    // Replies by id leave out another module's polls, as unknown ids.
    for (const auto* job : {"job=GetPollingInfo", "job=GetPollingResult2"}) {
        PollListReply byId;
        ASSERT_TRUE(byId.Parse(
            Ask(kResults + job + "&pollcount=3&pollid_0=" + z + "&pollid_1=" + x + "&pollid_2=" + y,
                alice)
                .body));
        EXPECT_EQ(byId.Records().size(), 1u) << job;
        EXPECT_NE(byId.Find(x), nullptr) << job;
    }
    EXPECT_EQ(Ask(kPolling + "job=DeletePolling&pollcount=1&pollid_0=" + x, a7).status, 200);
}

TEST_P(PollServerTokenTest, HostileTokensGet401AndChangeNothing) {
    const auto x = Create("a7", "m1");
    const auto other = MakeKeys(GetParam(), m_dir.Path(), "other");
    const auto now = TokenVerifier::Now();
    auto good = Claims("a7", "m1", "presenter");
    good["iss"] = "conference.example";
    // The good claims with one changed, or left out when `value` is null.
    auto with = [&](const char* name, Json value) {
        auto claims = good;
        claims[name] = std::move(value);
        if (claims[name].is_null()) claims.erase(name);
        return claims;
    };
    const Json header = {{"alg", GetParam()}, {"typ", "JWT"}};
    // HS256 over the bytes of what the server holds: its public key (or, for a
    // secret, an ES256 header over an HMAC).
    std::string reason;
    const auto serverFileAsSecret = JwsKey::SecretFile(m_keys.serverFile, reason);
    const auto switched =
        GetParam() == "HS256"
            ? Token({{"alg", "ES256"}}, good, m_keys.signer.get())
            : Token({{"alg", "HS256"}, {"typ", "JWT"}}, good, serverFileAsSecret.get());
    // "Bearer " and a token with the good header, signed by the server's key.
    auto bearer = [&](const Json& claims) {
        return "Bearer " + Token(header, claims, m_keys.signer.get());
    };
    const auto valid = Token(header, good, m_keys.signer.get());
    const struct {
        const char* what;
        std::string authorization;
        std::string query = {};
    } hostile[] = {
        {"signed by another key", "Bearer " + Token(header, good, other.signer.get())},
        {"alg none", "Bearer " + Token({{"alg", "none"}}, good, nullptr)},
        {"alg switched", "Bearer " + switched},
        {"expired 61 s ago", bearer(with("exp", now - 61))},
        {"without exp", bearer(with("exp", nullptr))},
        {"not yet valid", bearer(with("nbf", now + 120))},
        {"wrong audience", bearer(with("aud", "other"))},
        {"wrong issuer", bearer(with("iss", "other"))},
        {"unknown role", bearer(with("role", "admin"))},
        {"user not a string", bearer(with("sub", 7))},
        {"not before any clock can tell", bearer(with("nbf", -1e20))},
        {"signature cut", "Bearer " + valid.substr(0, valid.size() - 4)},
        {"another scheme", "Basic " + valid},
        {"in the query string", "", "&access_token=" + valid},
    };
    for (const auto& row : hostile) {
        m_client.SetHeader(row.authorization.empty() ? "" : "Authorization: " + row.authorization);
        const auto reply = m_client.Get(m_server.HttpUrl() + kPolling +
                                        "job=DeletePolling&pollcount=1&pollid_0=" + x + row.query);
        EXPECT_EQ(reply.status, 401) << row.what;
        EXPECT_EQ(reply.wwwAuthenticate, "Bearer error=\"invalid_token\"") << row.what;
    }
    // Within the skew an expired token still passes; the poll was never deleted.
    const auto late = Token(header, with("exp", now - 30), m_keys.signer.get());
    EXPECT_EQ(Ask(kResults + "job=GetPollingResult&userid=a7&modulename=m1", late).status, 200);
    EXPECT_NE(Everything().find("PollingId=\"" + x + "\""), std::string::npos);
    // Each refusal counts as a 401 of its job, a ballot's too (it is answered apart).
    EXPECT_EQ(Ask(kPolling + "job=PostPolling&pollid=" + x, "not.a.token").status, 401);
    const auto metrics = HttpClient().Get(m_server.MetricsUrl() + "/metrics").body;
    for (const auto& line :
         {"{job=\"DeletePolling\",status=\"401\"} " + std::to_string(std::size(hostile)),
          std::string("{job=\"PostPolling\",status=\"401\"} 1")})
        EXPECT_NE(metrics.find(line + "\n"), std::string::npos) << line << "\n" << metrics;
}

INSTANTIATE_TEST_SUITE_P(Algorithms, PollServerTokenTest,
                         ::testing::Values("ES256", "EdDSA", "HS256"));

// The cache: a token's signature is checked once, and a cached token still
// expires; every minted token verifies.
TEST(TokenVerifierTest, ChecksEachSignatureOnceAndStillExpires) {
    TempDir dir;
    for (const auto* algorithm : {"ES256", "EdDSA", "HS256"}) {
        auto keys = MakeKeys(algorithm, dir.Path(), algorithm);
        std::string reason;
        auto verifying = keys.serverOption == "--auth-key"
                             ? JwsKey::PublicKeyFile(keys.serverFile, reason)
                             : JwsKey::SecretFile(keys.serverFile, reason);
        ASSERT_TRUE(verifying) << reason;
        TokenVerifier verifier(std::move(verifying), {});
        TokenMinter::Claims claims{"u1", "U", "m1", "attendee", "", "quibra", 1000, 100};
        const auto token = TokenMinter::Mint(*keys.signer, claims);
        ASSERT_TRUE(token);
        for (int i = 0; i < 3; ++i) EXPECT_TRUE(verifier.Verify(*token, 1050)) << algorithm;
        EXPECT_EQ(verifier.SignaturesChecked(), 1u);
        EXPECT_TRUE(verifier.VerifyHeader("bearer  " + *token, 1159));
        EXPECT_FALSE(verifier.Verify(*token, 1160)) << "exp 1100 plus 60 s of skew";
        EXPECT_EQ(verifier.Verify(*token, 1050)->name, "U") << "verified afresh";
        EXPECT_EQ(verifier.SignaturesChecked(), 2u);
    }
}

TEST(TokenVerifierTest, Base64UrlTakesOnlyCanonicalUnpaddedText) {
    EXPECT_EQ(Base64Url::Encode("\xfb\xff"), "-_8");
    EXPECT_EQ(Base64Url::Decode("-_8"), std::optional<std::string>("\xfb\xff"));
    for (const auto* bad : {"-_8=", "+/8", "-_9", "a", "ab c", "ab\n"})
        EXPECT_FALSE(Base64Url::Decode(bad)) << bad;
}

// `pollserver token` prints a token the server's verifier takes, with the
// claims asked for; the pin printed at start is the openssl command's.
TEST(TokenMinterTest, MintsWhatTheVerifierTakesAndPinsAsOpensslDoes) {
    TempDir dir;
    const auto keys = MakeKeys("EdDSA", dir.Path(), "ed");
    const auto exe = std::string(QUIBRA_POLLSERVER_EXE);
    const auto token = CommandOutput(
        exe + " token --key " + (dir / "ed.pem").string() +
        " --user u1 --name 'Ann Lee' --module m1 --role presenter --ttl 60" + " --issuer iss1");
    std::string reason;
    TokenVerifier verifier(JwsKey::PublicKeyFile(keys.serverFile, reason), {"iss1", "quibra"});
    const auto claims = verifier.Verify(token, TokenVerifier::Now());
    ASSERT_TRUE(claims) << token;
    EXPECT_EQ(claims->user + "|" + claims->name + "|" + claims->module, "u1|Ann Lee|m1");
    EXPECT_FALSE(verifier.Verify(token, TokenVerifier::Now() + 121)) << "--ttl 60";
    for (const auto* bad : {" --role admin", " --secret /nonexistent", ""})
        EXPECT_EQ(std::system((exe + " token --key " + (dir / "ed.pem").string() +
                               (std::string(bad).empty() ? "" : " --user u --name n --module m") +
                               bad + " >/dev/null 2>&1")
                                  .c_str()),
                  2 << 8)
            << bad;

    const auto cert = dir / "cert.pem";
    Openssl(
        "req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -subj /CN=localhost "
        "-keyout " +
        (dir / "k.pem").string() + " -out " + cert.string());
    EXPECT_EQ(JwsKey::CertificatePin(cert),
              "sha256//" + CommandOutput("openssl x509 -in " + cert.string() +
                                         " -pubkey -noout | openssl pkey -pubin -outform der |"
                                         " openssl dgst -sha256 -binary | openssl base64 -A"));
}

}  // namespace
}  // namespace quibra::test
