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
#include "transport/HttpRequest.h"
#include "transport/TransportTestSupport.h"

namespace quibra {
namespace {

namespace fs = std::filesystem;

// A self-signed certificate for `name`, valid between the two offsets from now (in days).
void WriteCertificate(const fs::path& cert, const fs::path& key, const char* name, long fromDays,
                      long toDays) {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> pkey(EVP_EC_gen("P-256"), EVP_PKEY_free);
    std::unique_ptr<X509, decltype(&X509_free)> x509(X509_new(), X509_free);
    ASSERT_TRUE(pkey && x509);
    X509_set_version(x509.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(x509.get()), 7);
    X509_gmtime_adj(X509_getm_notBefore(x509.get()), fromDays * 86400);
    X509_gmtime_adj(X509_getm_notAfter(x509.get()), toDays * 86400);
    X509_set_pubkey(x509.get(), pkey.get());
    X509_NAME* subject = X509_get_subject_name(x509.get());
    X509_NAME_add_entry_by_txt(subject, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(name), -1, -1, 0);
    X509_set_issuer_name(x509.get(), subject);
    ASSERT_GT(X509_sign(x509.get(), pkey.get(), EVP_sha256()), 0);
    std::unique_ptr<FILE, decltype(&fclose)> certFile(fopen(cert.c_str(), "wb"), fclose);
    std::unique_ptr<FILE, decltype(&fclose)> keyFile(fopen(key.c_str(), "wb"), fclose);
    ASSERT_TRUE(certFile && keyFile);
    ASSERT_EQ(PEM_write_X509(certFile.get(), x509.get()), 1);
    ASSERT_EQ(
        PEM_write_PrivateKey(keyFile.get(), pkey.get(), nullptr, nullptr, 0, nullptr, nullptr), 1);
}

TEST(Https, SelfSignedAndExpiredCertificatesAreAccepted) {
    test::ScopedProxySettings direct;
    test::TempDir dir;
    const fs::path cert = dir / "self.pem", key = dir / "self.key";
    ASSERT_NO_FATAL_FAILURE(WriteCertificate(cert, key, "self-signed.test", 0, 1));
    // Expired yesterday, for a name that is not the server's.
    const fs::path expiredCert = dir / "expired.pem", expiredKey = dir / "expired.key";
    ASSERT_NO_FATAL_FAILURE(WriteCertificate(expiredCert, expiredKey, "expired.test", -2, -1));

    for (const auto& [c, k] : {std::pair{cert, key}, std::pair{expiredCert, expiredKey}}) {
        // A TLS server on an ephemeral loopback port answering GET /poll.
        httplib::SSLServer server(c.c_str(), k.c_str());
        std::mutex lock;
        std::vector<std::string> queries;
        server.Get("/poll", [&](const httplib::Request& req, httplib::Response& res) {
            std::lock_guard guard(lock);
            queries.push_back(req.get_param_value("job") + "|" +
                              (req.has_param("_rnd") ? "rnd" : "none"));
            res.set_content("secure reply", "text/plain");
        });
        const int port = server.bind_to_any_port("127.0.0.1");
        ASSERT_TRUE(server.is_valid() && port > 0) << c;
        std::thread thread([&] { server.listen_after_bind(); });
        const std::wstring url = L"https://127.0.0.1:" + std::to_wstring(port) + L"/poll";

        HttpRequest request;
        request.AddField(L"job", L"GetPollingResult");
        std::wstring reply;
        EXPECT_TRUE(request.GetText(url, reply)) << c << " error " << request.HttpErrorCode();
        EXPECT_EQ(reply, L"secure reply");
        EXPECT_TRUE(request.Secure());
        const fs::path target = dir / "secure.xml";
        HttpRequest download;
        EXPECT_TRUE(download.Download(url, target.wstring()));
        EXPECT_EQ(test::ReadFileBytes(target), "secure reply");
        server.stop();
        thread.join();
        std::lock_guard guard(lock);
        ASSERT_EQ(queries.size(), 2u) << "one request for the text, one for the download";
        EXPECT_EQ(queries[0], "GetPollingResult|rnd");
    }
}

}  // namespace
}  // namespace quibra
