// Bearer tokens as the PollServer reads them: any Authorization header value,
// and, for the claims and header checks behind the signature, any pair of
// texts (split at the first NUL byte) signed with the server's own secret.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "FuzzFiles.h"
#include "JwsKey.h"
#include "TokenVerifier.h"

namespace {

namespace Base64Url = quibra::pollserver::Base64Url;
using quibra::pollserver::JwsKey;
using quibra::pollserver::TokenVerifier;

constexpr std::int64_t kNow = 1700000000;

// The server's secret (40 bytes) as a signing key and as the verifier's key.
struct Keys {
    std::unique_ptr<JwsKey> signer;
    std::unique_ptr<TokenVerifier> verifier;
};

Keys& Made() {
    static Keys keys = [] {
        const auto file = quibra::fuzz::WorkFolder() / "secret";
        const std::string bytes(40, 's');
        quibra::fuzz::WriteBytes(file, reinterpret_cast<const uint8_t*>(bytes.data()),
                                 bytes.size());
        std::string reason;
        Keys made{JwsKey::SecretFile(file, reason), nullptr};
        made.verifier = std::make_unique<TokenVerifier>(JwsKey::SecretFile(file, reason),
                                                        TokenVerifier::Settings{});
        return made;
    }();
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    JwsKey& key = *Made().signer;
    TokenVerifier& verifier = *Made().verifier;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    verifier.VerifyHeader(bytes, kNow);
    const auto nul = bytes.find('\0');
    if (nul == std::string::npos) return 0;
    const auto input =
        Base64Url::Encode(bytes.substr(0, nul)) + "." + Base64Url::Encode(bytes.substr(nul + 1));
    const auto signature = key.Sign(input);
    if (!signature) std::abort();
    const auto token = input + "." + Base64Url::Encode(*signature);
    const auto claims = verifier.Verify(token, kNow);
    // Whatever passed names a user and a module and has not expired.
    if (claims && (claims->user.empty() || claims->module.empty() ||
                   claims->expires + TokenVerifier::kSkewSeconds <= kNow))
        std::abort();
    if (Base64Url::Decode(Base64Url::Encode(bytes)) != bytes) std::abort();
    return 0;
}
