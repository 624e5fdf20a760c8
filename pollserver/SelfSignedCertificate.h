#pragma once

#include <filesystem>
#include <string>

namespace quibra::pollserver {

// The server's own certificate for HTTPS when none is given: an EC P-256 key
// and a self-signed certificate for localhost and 127.0.0.1, made once and
// kept as PEM files (the key readable by the owner only).
class SelfSignedCertificate {
public:
    // Makes both files unless both exist already. False with a reason on failure.
    static bool Ensure(const std::filesystem::path& certFile, const std::filesystem::path& keyFile,
                       std::string& reason);
};

}  // namespace quibra::pollserver
