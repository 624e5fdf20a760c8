#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace quibra::pollserver {

// The three signature algorithms of the PollServer's tokens (RFC 7518, RFC 8037).
enum class JwsAlgorithm { ES256, EdDSA, HS256 };

// The "alg" name of the algorithm, as a token's header carries it.
std::string_view JwsAlgorithmName(JwsAlgorithm algorithm);

// Base64url without padding (RFC 7515 section 2), through OpenSSL's base64.
namespace Base64Url {
std::string Encode(std::string_view bytes);
// nullopt for any character outside the alphabet, padding, whitespace, or a
// text that is not the canonical encoding of its bytes.
std::optional<std::string> Decode(std::string_view text);
}  // namespace Base64Url

// One key a token is signed or verified with, and with it the one algorithm it
// may be used for: an ES256 key (P-256) or an Ed25519 key in PEM, or an HS256
// secret. A key is never used for another algorithm than its own, so a token
// whose header names another one is refused before any signature is checked.
// Safe to use from many threads at once.
class JwsKey {
public:
    ~JwsKey();
    JwsKey(const JwsKey&) = delete;
    JwsKey& operator=(const JwsKey&) = delete;

    // A PEM public key (as `openssl pkey -pubout` writes it): verifies only.
    static std::unique_ptr<JwsKey> PublicKeyFile(const std::filesystem::path& file,
                                                 std::string& reason);
    // A PEM private key without a passphrase (as `openssl genpkey` writes it): signs.
    static std::unique_ptr<JwsKey> PrivateKeyFile(const std::filesystem::path& file,
                                                  std::string& reason);
    // An HS256 secret: the file's bytes, less one final line break, at least 32.
    static std::unique_ptr<JwsKey> SecretFile(const std::filesystem::path& file,
                                              std::string& reason);
    static constexpr std::size_t kMinSecretBytes = 32;

    JwsAlgorithm Algorithm() const { return m_algorithm; }
    // True when `signature` (the JWS form: r||s for ES256) signs `input` with this key.
    bool Verify(std::string_view input, std::string_view signature) const;
    // The JWS signature of `input`; nullopt for a public key or a failure.
    std::optional<std::string> Sign(std::string_view input) const;

    // The public key's "sha256//BASE64" pin (libcurl's CURLOPT_PINNEDPUBLICKEY
    // form) of the certificate in a PEM file; nullopt when it cannot be read.
    static std::optional<std::string> CertificatePin(const std::filesystem::path& certificate);

private:
    struct Pkey;
    JwsKey(JwsAlgorithm algorithm, std::unique_ptr<Pkey> key, std::string secret, bool canSign);
    static std::unique_ptr<JwsKey> FromPem(const std::filesystem::path& file, bool privateKey,
                                           std::string& reason);

    JwsAlgorithm m_algorithm;
    std::unique_ptr<Pkey> m_key;  // ES256 and EdDSA
    std::string m_secret;         // HS256
    bool m_canSign;
};

}  // namespace quibra::pollserver
