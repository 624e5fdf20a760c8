#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "JwsKey.h"

namespace quibra::pollserver {

// Who a verified token names.
struct TokenClaims {
    enum class Role { Presenter, Attendee };
    std::string user;    // "sub"
    std::string name;    // "name", the display name
    std::string module;  // "module", the conference
    Role role = Role::Attendee;
    std::int64_t expires = 0;  // "exp", seconds since the epoch
};

// Verifies the bearer tokens of the PollServer's requests: compact JWS (RFC
// 7515) with the claims above, signed with the one configured key. Follows RFC
// 8725: only the key's own algorithm is taken ("none", or HS256 computed over a
// public key's bytes, never), "exp" is required, "nbf", "iat", "iss" and "aud"
// are honoured with at most kSkewSeconds of clock skew, an unknown critical
// header parameter or a repeated member refuses the token. Every request goes
// through Verify. Tokens that passed are kept (at most kCacheEntries, each
// until it expires), so a busy server checks each signature once.
// Safe to use from many threads at once. Never writes a token anywhere.
class TokenVerifier {
public:
    struct Settings {
        std::string issuer;               // empty: "iss" is not checked
        std::string audience = "quibra";  // "aud" must name it
    };
    static constexpr std::int64_t kSkewSeconds = 60;
    static constexpr std::size_t kCacheEntries = 65536;
    static constexpr std::size_t kMaxTokenBytes = 8192;

    TokenVerifier(std::unique_ptr<JwsKey> key, Settings settings);
    ~TokenVerifier();
    TokenVerifier(const TokenVerifier&) = delete;
    TokenVerifier& operator=(const TokenVerifier&) = delete;

    // The claims of a good token at `now` (seconds since the epoch); nullopt for
    // a malformed, badly signed, expired, not yet valid or misaddressed one.
    std::optional<TokenClaims> Verify(std::string_view token, std::int64_t now);
    // The same for an Authorization header's value ("Bearer TOKEN"); nullopt
    // also when the header is missing or of another scheme.
    std::optional<TokenClaims> VerifyHeader(std::optional<std::string_view> authorization,
                                            std::int64_t now);
    static std::int64_t Now();

    JwsAlgorithm Algorithm() const { return m_key->Algorithm(); }
    // Tokens whose signature was checked, for the tests of the cache.
    std::uint64_t SignaturesChecked() const;

private:
    std::optional<TokenClaims> VerifyUncached(std::string_view token, std::int64_t now) const;

    const std::unique_ptr<JwsKey> m_key;
    const Settings m_settings;
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, TokenClaims> m_cache;  // guarded by m_mutex
    std::uint64_t m_checked = 0;                           // guarded by m_mutex
};

}  // namespace quibra::pollserver
