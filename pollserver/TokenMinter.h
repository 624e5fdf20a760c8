#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "JwsKey.h"

namespace quibra::pollserver {

// Makes the tokens TokenVerifier takes, for the demo and for operators:
//   pollserver token (--key PRIVATE.pem | --secret FILE) --user ID --name NAME
//                    --module M --role presenter|attendee [--ttl SECONDS]
//                    [--issuer ISS] [--audience AUD]
// A conference service mints its own in its own language; the claims are in
// the README.
class TokenMinter {
public:
    struct Claims {
        std::string user;
        std::string name;
        std::string module;
        std::string role;    // "presenter" or "attendee"
        std::string issuer;  // empty: no "iss"
        std::string audience = "quibra";
        std::int64_t issuedAt = 0;
        std::int64_t lifetime = kDefaultLifetime;  // seconds from issuedAt to "exp"
    };
    static constexpr std::int64_t kDefaultLifetime = 8 * 3600;

    // The compact token signed with `key` (a private key or a secret); nullopt
    // when the key cannot sign.
    static std::optional<std::string> Mint(const JwsKey& key, const Claims& claims);

    // The `token` subcommand with the arguments after it: prints one token and
    // returns 0, or a reason and 2.
    static int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
    static std::string Usage();
};

}  // namespace quibra::pollserver
