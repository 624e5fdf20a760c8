#include <gtest/gtest.h>

#include <httplib.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "support/TestSupport.h"
#include "transport/ChildProcess.h"
#include "transport/HttpRequest.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

namespace fs = std::filesystem;

// A certificate that expired yesterday, for a name that is not the server's.
void WriteExpiredCertificate(const fs::path& cert, const fs::path& key) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> x509(X509_new(), X509_free);
    ASSERT_TRUE(pkey && x509);
    X509_set_version(x509.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 7);
    X509_gmtime_adj(X509_getm_notBefore(x509.get()), -2 * 86400);
    X509_gmtime_adj(X509_getm_notAfter(x509.get()), -86400);
    X509_set_pubkey(x509.get(), pkey.get());
    X509_NAME* name = X509_get_subject_name(x509.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("expired.test"), -1,
                               -1, 0);
    X509_set_issuer_name(x509.get(), name);
    ASSERT_GT(X509_sign(x509.get(), pkey.get(), EVP_sha256()), 0);
    std::unique_ptr<FILE, decltype(&fclose)> certFile(fopen(cert.c_str(), "wb"), fclose);
    std::unique_ptr<FILE, decltype(&fclose)> keyFile(fopen(key.c_str(), "wb"), fclose);
    ASSERT_TRUE(certFile && keyFile);
    ASSERT_EQ(PEM_write_X509(certFile.get(), x509.get()), 1);
    ASSERT_EQ(PEM_write_PrivateKey(keyFile.get(), pkey.get(), nullptr, nullptr, 0, nullptr, nullptr), 1);
}

// A TLS server on an ephemeral loopback port answering GET /poll.
class TlsServer {
public:
    TlsServer(const fs::path& cert, const fs::path& key) : m_server(cert.c_str(), key.c_str()) {
        m_server.Get("/poll", [this](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard lock(m_lock);
            m_queries.push_back(req.get_param_value("job") + "|" + (req.has_param("_rnd") ? "rnd" : "none"));
            res.set_content("secure reply", "text/plain");
        });
        m_port = m_server.bind_to_any_port("127.0.0.1");
        m_thread = std::thread([this] { m_server.listen_after_bind(); });
    }
    ~TlsServer() {
        m_server.stop();
        m_thread.join();
    }
    bool Valid() const { return m_server.is_valid() && m_port > 0; }
    std::wstring Url() const { return L"https://127.0.0.1:" + std::to_wstring(m_port) + L"/poll"; }
    std::vector<std::string> Queries() {
        std::lock_guard lock(m_lock);
        return m_queries;
    }

private:
    httplib::SSLServer m_server;
    int m_port = 0;
    std::thread m_thread;
    std::mutex m_lock;
    std::vector<std::string> m_queries;
};

TEST(Https, SelfSignedAndExpiredCertificatesAreAccepted) {
    test::ScopedProxySettings direct;
    test::TempDir dir;
    const fs::path cert = dir / "self.pem", key = dir / "self.key";
    ASSERT_EQ(test::ChildProcess::Run({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                                       "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key.string(), "-out",
                                       cert.string(), "-days", "1", "-subj", "/CN=self-signed.test"},
                                      dir / "openssl.log"),
              0);
    const fs::path expiredCert = dir / "expired.pem", expiredKey = dir / "expired.key";
    WriteExpiredCertificate(expiredCert, expiredKey);

    for (const auto& [c, k] : {std::pair{cert, key}, std::pair{expiredCert, expiredKey}}) {
        TlsServer server(c, k);
        ASSERT_TRUE(server.Valid()) << c;
        HttpRequest request;
        request.AddField(L"job", L"GetPollingResult");
        std::wstring reply;
        ASSERT_TRUE(request.GetText(server.Url(), reply)) << c << " error " << request.HttpErrorCode();
        EXPECT_EQ(reply, L"secure reply");
        EXPECT_TRUE(request.Secure());
        EXPECT_EQ(server.Queries(), std::vector<std::string>{"GetPollingResult|rnd"});

        const fs::path target = dir / "secure.xml";
        HttpRequest download;
        ASSERT_TRUE(download.Download(server.Url(), target.wstring()));
        EXPECT_EQ(test::ReadFileBytes(target), "secure reply");
    }
}

}  // namespace
}  // namespace quibra
