#include "JwsKey.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/crypto.h>
#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace quibra::pollserver {

namespace {

constexpr std::size_t kEs256Half = 32;  // bytes of r and of s in a P-256 signature

template <typename T, void (*Free)(T*)>
struct Freer {
    void operator()(T* p) const { Free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, Freer<EVP_PKEY, EVP_PKEY_free>>;
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, Freer<EVP_MD_CTX, EVP_MD_CTX_free>>;
using EcSigPtr = std::unique_ptr<ECDSA_SIG, Freer<ECDSA_SIG, ECDSA_SIG_free>>;
using BioPtr = std::unique_ptr<BIO, Freer<BIO, BIO_free_all>>;
using X509Ptr = std::unique_ptr<X509, Freer<X509, X509_free>>;
using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, Freer<EVP_PKEY_CTX, EVP_PKEY_CTX_free>>;
using MdPtr = std::unique_ptr<EVP_MD, Freer<EVP_MD, EVP_MD_free>>;

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

bool ReadWhole(const std::filesystem::path& file, std::string& text) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

BioPtr OpenPem(const std::filesystem::path& file) {
    return BioPtr(BIO_new_file(file.c_str(), "r"));
}

// The signature algorithm a PEM key is for; nullopt for any other kind of key
// (RSA, another curve, X25519, ...).
std::optional<JwsAlgorithm> AlgorithmOf(EVP_PKEY* key) {
    if (EVP_PKEY_is_a(key, "ED25519")) return JwsAlgorithm::EdDSA;
    if (EVP_PKEY_is_a(key, "EC")) {
        char group[64] = {};
        std::size_t length = 0;
        if (EVP_PKEY_get_utf8_string_param(key, OSSL_PKEY_PARAM_GROUP_NAME, group, sizeof group,
                                           &length) == 1 &&
            std::string_view(group, length) == "prime256v1")
            return JwsAlgorithm::ES256;
    }
    return std::nullopt;
}

}  // namespace

// OpenSSL 3 looks algorithms up by name on every implicit use: the digest and
// a verification context set up once are copied for each check instead.
struct JwsKey::Pkey {
    PkeyPtr key;
    MdPtr sha256{EVP_MD_fetch(nullptr, "SHA256", nullptr)};
    PkeyCtxPtr verifyTemplate;  // ES256: initialised for EVP_PKEY_verify
};

std::string_view JwsAlgorithmName(JwsAlgorithm algorithm) {
    switch (algorithm) {
        case JwsAlgorithm::ES256:
            return "ES256";
        case JwsAlgorithm::EdDSA:
            return "EdDSA";
        case JwsAlgorithm::HS256:
            break;
    }
    return "HS256";
}

std::string Base64Url::Encode(std::string_view bytes) {
    std::string text(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), Bytes(bytes),
                                       static_cast<int>(bytes.size()));
    text.resize(static_cast<std::size_t>(length));
    while (!text.empty() && text.back() == '=') text.pop_back();
    for (auto& c : text) {
        if (c == '+') c = '-';
        if (c == '/') c = '_';
    }
    return text;
}

std::optional<std::string> Base64Url::Decode(std::string_view text) {
    if (text.size() % 4 == 1) return std::nullopt;
    std::string mapped(text);
    for (auto& c : mapped) {
        const bool plain =
            (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
        if (c == '-') {
            c = '+';
        } else if (c == '_') {
            c = '/';
        } else if (!plain) {
            return std::nullopt;
        }
    }
    const std::size_t padding = (4 - mapped.size() % 4) % 4;
    mapped.append(padding, '=');
    std::string bytes(mapped.size() / 4 * 3 + 1, '\0');
    const int length = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(bytes.data()),
                                       Bytes(mapped), static_cast<int>(mapped.size()));
    if (length < 0 || static_cast<std::size_t>(length) < padding) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(length) - padding);
    // One text per byte string: unused bits that are not zero make another
    // text of the same bytes, which is refused.
    if (Encode(bytes) != text) return std::nullopt;
    return bytes;
}

JwsKey::JwsKey(JwsAlgorithm algorithm, std::unique_ptr<Pkey> key, std::string secret, bool canSign)
    : m_algorithm(algorithm),
      m_key(std::move(key)),
      m_secret(std::move(secret)),
      m_canSign(canSign) {}

JwsKey::~JwsKey() {
    OPENSSL_cleanse(m_secret.data(), m_secret.size());
}

std::unique_ptr<JwsKey> JwsKey::FromPem(const std::filesystem::path& file, bool privateKey,
                                        std::string& reason) {
    const auto bio = OpenPem(file);
    if (!bio) {
        reason = "cannot read " + file.string();
        return nullptr;
    }
    PkeyPtr key(privateKey ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                           : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    if (!key) {
        reason = file.string() + " holds no PEM " + (privateKey ? "private" : "public") + " key";
        return nullptr;
    }
    const auto algorithm = AlgorithmOf(key.get());
    if (!algorithm) {
        reason = file.string() + ": only ES256 (P-256) and Ed25519 keys are taken";
        return nullptr;
    }
    auto pkey = std::make_unique<Pkey>();
    pkey->key = std::move(key);
    if (*algorithm == JwsAlgorithm::ES256) {
        pkey->verifyTemplate.reset(EVP_PKEY_CTX_new_from_pkey(nullptr, pkey->key.get(), nullptr));
        if (!pkey->sha256 || !pkey->verifyTemplate ||
            EVP_PKEY_verify_init(pkey->verifyTemplate.get()) != 1) {
            reason = file.string() + ": the key cannot verify";
            return nullptr;
        }
    }
    return std::unique_ptr<JwsKey>(new JwsKey(*algorithm, std::move(pkey), {}, privateKey));
}

std::unique_ptr<JwsKey> JwsKey::PublicKeyFile(const std::filesystem::path& file,
                                              std::string& reason) {
    return FromPem(file, false, reason);
}

std::unique_ptr<JwsKey> JwsKey::PrivateKeyFile(const std::filesystem::path& file,
                                               std::string& reason) {
    return FromPem(file, true, reason);
}

std::unique_ptr<JwsKey> JwsKey::SecretFile(const std::filesystem::path& file, std::string& reason) {
    std::string secret;
    if (!ReadWhole(file, secret)) {
        reason = "cannot read " + file.string();
        return nullptr;
    }
    if (!secret.empty() && secret.back() == '\n') secret.pop_back();
    if (!secret.empty() && secret.back() == '\r') secret.pop_back();
    if (secret.size() < kMinSecretBytes) {
        OPENSSL_cleanse(secret.data(), secret.size());
        reason = file.string() + ": an HS256 secret needs at least 32 bytes";
        return nullptr;
    }
    return std::unique_ptr<JwsKey>(
        new JwsKey(JwsAlgorithm::HS256, nullptr, std::move(secret), true));
}

bool JwsKey::Verify(std::string_view input, std::string_view signature) const {
    if (m_algorithm == JwsAlgorithm::HS256) {
        unsigned char mac[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (HMAC(EVP_sha256(), m_secret.data(), static_cast<int>(m_secret.size()), Bytes(input),
                 input.size(), mac, &length) == nullptr)
            return false;
        return signature.size() == length && CRYPTO_memcmp(mac, signature.data(), length) == 0;
    }
    if (m_algorithm == JwsAlgorithm::EdDSA) {
        MdCtxPtr context(EVP_MD_CTX_new());
        if (!context || signature.size() != 64) return false;
        return EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, m_key->key.get()) ==
                   1 &&
               EVP_DigestVerify(context.get(), Bytes(signature), signature.size(), Bytes(input),
                                input.size()) == 1;
    }
    // ES256: the JWS form is r and s as two 32-byte numbers; OpenSSL takes DER.
    if (signature.size() != 2 * kEs256Half) return false;
    EcSigPtr ecdsa(ECDSA_SIG_new());
    if (!ecdsa) return false;
    BIGNUM* r = BN_bin2bn(Bytes(signature), kEs256Half, nullptr);
    BIGNUM* s = BN_bin2bn(Bytes(signature) + kEs256Half, kEs256Half, nullptr);
    if (r == nullptr || s == nullptr || ECDSA_SIG_set0(ecdsa.get(), r, s) != 1) {
        BN_free(r);
        BN_free(s);
        return false;
    }
    unsigned char* der = nullptr;
    const int derLength = i2d_ECDSA_SIG(ecdsa.get(), &der);
    if (derLength <= 0) return false;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    PkeyCtxPtr verify(EVP_PKEY_CTX_dup(m_key->verifyTemplate.get()));
    const bool good = verify &&
                      EVP_Digest(input.data(), input.size(), digest, &digestLength,
                                 m_key->sha256.get(), nullptr) == 1 &&
                      EVP_PKEY_verify(verify.get(), der, static_cast<std::size_t>(derLength),
                                      digest, digestLength) == 1;
    OPENSSL_free(der);
    return good;
}

std::optional<std::string> JwsKey::Sign(std::string_view input) const {
    if (!m_canSign) return std::nullopt;
    if (m_algorithm == JwsAlgorithm::HS256) {
        unsigned char mac[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        if (HMAC(EVP_sha256(), m_secret.data(), static_cast<int>(m_secret.size()), Bytes(input),
                 input.size(), mac, &length) == nullptr)
            return std::nullopt;
        return std::string(reinterpret_cast<char*>(mac), length);
    }
    MdCtxPtr context(EVP_MD_CTX_new());
    if (!context || EVP_DigestSignInit(context.get(), nullptr,
                                       m_algorithm == JwsAlgorithm::ES256 ? EVP_sha256() : nullptr,
                                       nullptr, m_key->key.get()) != 1)
        return std::nullopt;
    std::size_t length = 0;
    if (EVP_DigestSign(context.get(), nullptr, &length, Bytes(input), input.size()) != 1)
        return std::nullopt;
    std::vector<unsigned char> signature(length);
    if (EVP_DigestSign(context.get(), signature.data(), &length, Bytes(input), input.size()) != 1)
        return std::nullopt;
    signature.resize(length);
    if (m_algorithm == JwsAlgorithm::EdDSA) return std::string(signature.begin(), signature.end());
    // ES256: DER to the JWS form, r and s each padded to 32 bytes.
    const unsigned char* at = signature.data();
    EcSigPtr ecdsa(d2i_ECDSA_SIG(nullptr, &at, static_cast<long>(signature.size())));
    if (!ecdsa) return std::nullopt;
    std::string jws(2 * kEs256Half, '\0');
    auto* out = reinterpret_cast<unsigned char*>(jws.data());
    if (BN_bn2binpad(ECDSA_SIG_get0_r(ecdsa.get()), out, kEs256Half) != kEs256Half ||
        BN_bn2binpad(ECDSA_SIG_get0_s(ecdsa.get()), out + kEs256Half, kEs256Half) != kEs256Half)
        return std::nullopt;
    return jws;
}

std::optional<std::string> JwsKey::CertificatePin(const std::filesystem::path& certificate) {
    const auto bio = OpenPem(certificate);
    if (!bio) return std::nullopt;
    X509Ptr x509(PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr));
    if (!x509) return std::nullopt;
    unsigned char* der = nullptr;
    const int length = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(x509.get()), &der);
    if (length <= 0) return std::nullopt;
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestLength = 0;
    const bool hashed = EVP_Digest(der, static_cast<std::size_t>(length), digest, &digestLength,
                                   EVP_sha256(), nullptr) == 1;
    OPENSSL_free(der);
    if (!hashed) return std::nullopt;
    // Standard base64 with padding, as libcurl compares it.
    std::string text(4 * ((digestLength + 2) / 3) + 1, '\0');
    const int textLength = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()), digest,
                                           static_cast<int>(digestLength));
    text.resize(static_cast<std::size_t>(textLength));
    return "sha256//" + text;
}

}  // namespace quibra::pollserver
