#include "SelfSignedCertificate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

namespace quibra::pollserver {

namespace {

struct KeyFree {
    void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
    void operator()(X509* cert) const { X509_free(cert); }
};
struct ExtFree {
    void operator()(X509_EXTENSION* ext) const { X509_EXTENSION_free(ext); }
};
struct FileClose {
    void operator()(FILE* file) const { std::fclose(file); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;
using ExtPtr = std::unique_ptr<X509_EXTENSION, ExtFree>;
using FilePtr = std::unique_ptr<FILE, FileClose>;

bool AddExtension(X509* cert, int nid, const char* value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
    ExtPtr ext(X509V3_EXT_conf_nid(nullptr, &context, nid, value));
    return ext && X509_add_ext(cert, ext.get(), -1) == 1;
}

// Opens a new file with the given mode bits (the key must never be world-readable).
FilePtr OpenForWriting(const std::filesystem::path& file, mode_t mode) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
    if (fd < 0) return nullptr;
    FILE* stream = ::fdopen(fd, "w");
    if (stream == nullptr) ::close(fd);
    return FilePtr(stream);
}

}  // namespace

bool SelfSignedCertificate::Ensure(const std::filesystem::path& certFile,
                                   const std::filesystem::path& keyFile, std::string& reason) {
    std::error_code ec;
    if (std::filesystem::exists(certFile, ec) && std::filesystem::exists(keyFile, ec)) return true;

    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr cert(X509_new());
    if (!key || !cert) {
        reason = "cannot create a key";
        return false;
    }
    X509_set_version(cert.get(), 2);
    unsigned char serial[16];
    std::FILE* random = std::fopen("/dev/urandom", "rb");
    const bool haveSerial =
        random != nullptr && std::fread(serial, 1, sizeof serial, random) == sizeof serial;
    if (random != nullptr) std::fclose(random);
    serial[0] &= 0x7F;  // a positive serial number
    if (haveSerial) {
        BIGNUM* number = BN_bin2bn(serial, sizeof serial, nullptr);
        BN_to_ASN1_INTEGER(number, X509_get_serialNumber(cert.get()));
        BN_free(number);
    } else {
        ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), 1);
    }
    X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert.get()), 60L * 60 * 24 * 3650);
    X509_set_pubkey(cert.get(), key.get());
    X509_NAME* name = X509_get_subject_name(cert.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("Quibra PollServer"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("localhost"), -1, -1, 0);
    X509_set_issuer_name(cert.get(), name);
    if (!AddExtension(cert.get(), NID_subject_alt_name, "DNS:localhost,IP:127.0.0.1,IP:::1") ||
        !AddExtension(cert.get(), NID_basic_constraints, "critical,CA:FALSE") ||
        X509_sign(cert.get(), key.get(), EVP_sha256()) == 0) {
        reason = "cannot sign the certificate";
        return false;
    }

    // Written under temporary names and renamed, so a crash never leaves half a pair.
    const auto keyTemp = std::filesystem::path(keyFile.string() + ".new");
    const auto certTemp = std::filesystem::path(certFile.string() + ".new");
    {
        FilePtr keyOut = OpenForWriting(keyTemp, 0600);
        FilePtr certOut = OpenForWriting(certTemp, 0644);
        if (!keyOut || !certOut ||
            PEM_write_PrivateKey(keyOut.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) !=
                1 ||
            PEM_write_X509(certOut.get(), cert.get()) != 1 || std::fflush(keyOut.get()) != 0 ||
            std::fflush(certOut.get()) != 0) {
            reason = "cannot write " + certTemp.string() + " or " + keyTemp.string();
            std::filesystem::remove(keyTemp, ec);
            std::filesystem::remove(certTemp, ec);
            return false;
        }
    }
    std::filesystem::rename(keyTemp, keyFile, ec);
    if (!ec) std::filesystem::rename(certTemp, certFile, ec);
    if (ec) {
        reason = "cannot store the certificate: " + ec.message();
        return false;
    }
    return true;
}

}  // namespace quibra::pollserver
