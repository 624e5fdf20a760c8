#include "TokenMinter.h"

#include <map>

#include <nlohmann/json.hpp>

#include "FormFields.h"
#include "TokenVerifier.h"

namespace quibra::pollserver {

std::optional<std::string> TokenMinter::Mint(const JwsKey& key, const Claims& claims) {
    const nlohmann::json header = {{"alg", JwsAlgorithmName(key.Algorithm())}, {"typ", "JWT"}};
    nlohmann::json payload = {{"sub", claims.user},
                              {"name", claims.name},
                              {"module", claims.module},
                              {"role", claims.role},
                              {"aud", claims.audience},
                              {"iat", claims.issuedAt},
                              {"exp", claims.issuedAt + claims.lifetime}};
    if (!claims.issuer.empty()) payload["iss"] = claims.issuer;
    const auto input = Base64Url::Encode(header.dump()) + "." + Base64Url::Encode(payload.dump());
    const auto signature = key.Sign(input);
    if (!signature) return std::nullopt;
    return input + "." + Base64Url::Encode(*signature);
}

std::string TokenMinter::Usage() {
    return "usage: pollserver token (--key PRIVATE.pem | --secret FILE) --user ID --name NAME\n"
           "                        --module M --role presenter|attendee [--ttl SECONDS]\n"
           "                        [--issuer ISS] [--audience AUD]\n"
           "  prints one signed token (ES256 or EdDSA with a PEM private key, HS256 with a\n"
           "  secret of at least 32 bytes); lifetime 28800 s (8 hours) unless --ttl says.\n";
}

int TokenMinter::Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::map<std::string, std::string> given;
    static const char* const kNames[] = {"--key",  "--secret", "--user",   "--name",    "--module",
                                         "--role", "--ttl",    "--issuer", "--audience"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            out << Usage();
            return 0;
        }
        bool known = false;
        for (const char* name : kNames) known = known || args[i] == name;
        if (!known || i + 1 >= args.size() || !given.emplace(args[i], args[i + 1]).second) {
            err << "pollserver token: "
                << (known ? "a value is missing or repeated for " : "unknown option ") << args[i]
                << "\n"
                << Usage();
            return 2;
        }
        ++i;
    }
    auto fail = [&](const std::string& reason) {
        err << "pollserver token: " << reason << "\n" << Usage();
        return 2;
    };
    if (given.count("--key") == given.count("--secret"))
        return fail("give one of --key and --secret");
    for (const char* required : {"--user", "--name", "--module", "--role"})
        if (given[required].empty()) return fail(std::string(required) + " is required");
    Claims claims;
    claims.user = given["--user"];
    claims.name = given["--name"];
    claims.module = given["--module"];
    claims.role = given["--role"];
    if (claims.role != "presenter" && claims.role != "attendee")
        return fail("--role is presenter or attendee");
    if (given.count("--ttl")) {
        const auto ttl = FormFields::ParseNumber(given["--ttl"], 1, 366LL * 24 * 3600);
        if (!ttl) return fail("--ttl is a number of seconds from 1 to a year");
        claims.lifetime = *ttl;
    }
    claims.issuer = given["--issuer"];
    if (given.count("--audience")) claims.audience = given["--audience"];
    if (claims.audience.empty()) return fail("--audience must not be empty");
    claims.issuedAt = TokenVerifier::Now();

    std::string reason;
    const auto key = given.count("--key") ? JwsKey::PrivateKeyFile(given["--key"], reason)
                                          : JwsKey::SecretFile(given["--secret"], reason);
    if (!key) return fail(reason);
    const auto token = Mint(*key, claims);
    if (!token) return fail("the key cannot sign");
    out << *token << "\n";
    return 0;
}

}  // namespace quibra::pollserver
