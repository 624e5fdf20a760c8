#include "TokenVerifier.h"

#include <chrono>
#include <cmath>
#include <set>
#include <vector>

#include <nlohmann/json.hpp>

namespace quibra::pollserver {

namespace {

using Json = nlohmann::json;

// A JSON object from a decoded part, or nullopt: not JSON, not an object, or an
// object with a member named twice (RFC 7515 4: refused rather than guessed).
std::optional<Json> ParseObject(const std::string& text) {
    std::vector<std::set<std::string>> names;
    bool repeated = false;
    Json parsed = Json::parse(
        text,
        [&](int, Json::parse_event_t event, Json& value) {
            if (event == Json::parse_event_t::object_start) {
                names.emplace_back();
            } else if (event == Json::parse_event_t::object_end) {
                if (!names.empty()) names.pop_back();
            } else if (event == Json::parse_event_t::key && !names.empty() && value.is_string()) {
                if (!names.back().insert(value.get<std::string>()).second) repeated = true;
            }
            return true;
        },
        /*allow_exceptions=*/false);
    if (repeated || parsed.is_discarded() || !parsed.is_object()) return std::nullopt;
    return parsed;
}

// A NumericDate (RFC 7519 2) as whole seconds; nullopt when absent, and
// `bad` when present but not a finite number.
std::optional<std::int64_t> Seconds(const Json& claims, const char* name, bool& bad) {
    const auto found = claims.find(name);
    if (found == claims.end()) return std::nullopt;
    if (!found->is_number()) {
        bad = true;
        return std::nullopt;
    }
    const double value = found->get<double>();
    if (!std::isfinite(value) || std::fabs(value) > 1e15) {
        bad = true;
        return std::nullopt;
    }
    return static_cast<std::int64_t>(std::floor(value));
}

// A required non-empty string claim.
std::optional<std::string> Text(const Json& claims, const char* name) {
    const auto found = claims.find(name);
    if (found == claims.end() || !found->is_string()) return std::nullopt;
    auto text = found->get<std::string>();
    if (text.empty()) return std::nullopt;
    return text;
}

bool NamesAudience(const Json& claims, const std::string& audience) {
    const auto found = claims.find("aud");
    if (found == claims.end()) return false;
    if (found->is_string()) return found->get<std::string>() == audience;
    if (!found->is_array()) return false;
    for (const auto& one : *found)
        if (one.is_string() && one.get<std::string>() == audience) return true;
    return false;
}

}  // namespace

TokenVerifier::TokenVerifier(std::unique_ptr<JwsKey> key, Settings settings)
    : m_key(std::move(key)), m_settings(std::move(settings)) {}

TokenVerifier::~TokenVerifier() = default;

std::int64_t TokenVerifier::Now() {
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

std::uint64_t TokenVerifier::SignaturesChecked() const {
    std::lock_guard lock(m_mutex);
    return m_checked;
}

std::optional<TokenClaims> TokenVerifier::VerifyHeader(
    std::optional<std::string_view> authorization, std::int64_t now) {
    if (!authorization) return std::nullopt;
    auto value = *authorization;
    // RFC 6750 2.1: the scheme's name in any case, then the token alone.
    constexpr std::string_view kScheme = "bearer ";
    if (value.size() <= kScheme.size()) return std::nullopt;
    for (std::size_t i = 0; i < kScheme.size(); ++i) {
        const char c = value[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kScheme[i])
            return std::nullopt;
    }
    value.remove_prefix(kScheme.size());
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    return Verify(value, now);
}

std::optional<TokenClaims> TokenVerifier::Verify(std::string_view token, std::int64_t now) {
    if (token.empty() || token.size() > kMaxTokenBytes) return std::nullopt;
    const std::string key(token);
    {
        std::lock_guard lock(m_mutex);
        if (const auto found = m_cache.find(key); found != m_cache.end()) {
            if (now < found->second.expires + kSkewSeconds) return found->second;
            m_cache.erase(found);
            return std::nullopt;
        }
    }
    auto claims = VerifyUncached(token, now);
    std::lock_guard lock(m_mutex);
    ++m_checked;
    if (!claims) return std::nullopt;
    if (m_cache.size() >= kCacheEntries) {
        // Full: the expired go first, and when none has, all do.
        for (auto at = m_cache.begin(); at != m_cache.end();)
            at = now >= at->second.expires + kSkewSeconds ? m_cache.erase(at) : std::next(at);
        if (m_cache.size() >= kCacheEntries) m_cache.clear();
    }
    m_cache.emplace(key, *claims);
    return claims;
}

std::optional<TokenClaims> TokenVerifier::VerifyUncached(std::string_view token,
                                                         std::int64_t now) const {
    // header.payload.signature, nothing more (a JWE's five parts are not taken).
    const auto first = token.find('.');
    if (first == std::string_view::npos) return std::nullopt;
    const auto second = token.find('.', first + 1);
    if (second == std::string_view::npos || token.find('.', second + 1) != std::string_view::npos)
        return std::nullopt;
    const auto headerText = Base64Url::Decode(token.substr(0, first));
    const auto payloadText = Base64Url::Decode(token.substr(first + 1, second - first - 1));
    const auto signature = Base64Url::Decode(token.substr(second + 1));
    if (!headerText || !payloadText || !signature) return std::nullopt;

    // The header first: its "alg" must be the key's own, before any signature is checked.
    const auto header = ParseObject(*headerText);
    if (!header) return std::nullopt;
    const auto alg = header->find("alg");
    if (alg == header->end() || !alg->is_string() ||
        alg->get<std::string>() != JwsAlgorithmName(m_key->Algorithm()))
        return std::nullopt;
    if (header->contains("crit")) return std::nullopt;  // no extension is understood here
    if (const auto typ = header->find("typ"); typ != header->end()) {
        if (!typ->is_string()) return std::nullopt;
        const auto type = typ->get<std::string>();
        if (type != "JWT" && type != "jwt" && type != "application/jwt") return std::nullopt;
    }
    if (!m_key->Verify(token.substr(0, second), *signature)) return std::nullopt;

    const auto claims = ParseObject(*payloadText);
    if (!claims) return std::nullopt;
    bool bad = false;
    const auto expires = Seconds(*claims, "exp", bad);
    const auto notBefore = Seconds(*claims, "nbf", bad);
    const auto issuedAt = Seconds(*claims, "iat", bad);
    if (bad || !expires) return std::nullopt;
    if (now >= *expires + kSkewSeconds) return std::nullopt;
    if (notBefore && now + kSkewSeconds < *notBefore) return std::nullopt;
    if (issuedAt && now + kSkewSeconds < *issuedAt) return std::nullopt;
    if (!m_settings.issuer.empty() && Text(*claims, "iss") != m_settings.issuer)
        return std::nullopt;
    if (!NamesAudience(*claims, m_settings.audience)) return std::nullopt;

    TokenClaims result;
    auto user = Text(*claims, "sub");
    auto name = Text(*claims, "name");
    auto module = Text(*claims, "module");
    const auto role = Text(*claims, "role");
    if (!user || !name || !module || !role) return std::nullopt;
    if (*role == "presenter") {
        result.role = TokenClaims::Role::Presenter;
    } else if (*role == "attendee") {
        result.role = TokenClaims::Role::Attendee;
    } else {
        return std::nullopt;
    }
    result.user = std::move(*user);
    result.name = std::move(*name);
    result.module = std::move(*module);
    result.expires = *expires;
    return result;
}

}  // namespace quibra::pollserver
