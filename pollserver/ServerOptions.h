#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quibra::pollserver {

// The command line:
//   --http PORT     serve HTTP on PORT (0: a free port, printed when ready)
//   --https PORT    serve HTTPS on PORT (0 as above)
//                   with neither given, HTTP on 8080 and HTTPS on 8443
//   --listen ADDR   address to bind, 127.0.0.1 unless told otherwise
//   --db PATH       SQLite file, by default $XDG_DATA_HOME/quibra/pollserver.sqlite
//   --cert FILE --key FILE
//                   PEM certificate and key; otherwise a self-signed pair is
//                   made at first start beside the database
//   --threads N     request threads per listener (1 to 256, default 16)
struct ServerOptions {
    std::optional<int> httpPort;
    std::optional<int> httpsPort;
    std::string listen = "127.0.0.1";
    std::filesystem::path database;
    std::filesystem::path certificate;
    std::filesystem::path key;
    int threads = 16;

    // False with a message for a bad command line; `help` when --help was asked.
    bool Parse(const std::vector<std::string>& args, std::string& message, bool& help);
    static std::string Usage();
};

}  // namespace quibra::pollserver
