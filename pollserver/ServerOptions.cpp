#include "ServerOptions.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "FormFields.h"
#include "quibra/Version.h"

namespace quibra::pollserver {

namespace {

std::filesystem::path DefaultDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::filesystem::path(xdg) / "quibra";
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::filesystem::path(home) / ".local" / "share" / "quibra";
    return std::filesystem::current_path() / "quibra";
}

// A numeric option: its name, range and where it goes.
struct NumberOption {
    const char* name;
    std::int64_t min;
    std::int64_t max;
    int* asInt;
    std::size_t* asSize;
};

}  // namespace

int ServerOptions::DefaultThreads() {
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 2, 256);
}

bool ServerOptions::SharedDatabase() const {
    const std::string& text = database.native();
    return text.rfind("postgresql://", 0) == 0 || text.rfind("postgres://", 0) == 0;
}

std::filesystem::path ServerOptions::DataFolder() const {
    if (SharedDatabase()) return DefaultDataFolder();
    return database.has_parent_path() ? database.parent_path() : std::filesystem::current_path();
}

std::string ServerOptions::VersionLine() {
    return "pollserver " QUIBRA_VERSION;
}

std::string ServerOptions::Usage() {
    const ServerOptions defaults;
    auto number = [](auto value) { return std::to_string(value); };
    return "usage: pollserver [--http PORT] [--https PORT] [--listen ADDR] [--db PATH]\n"
           "                  [--cert FILE --key FILE] [--threads N] [--synchronous full|normal]\n"
           "                  [--metrics ADDR:PORT] [bounds...] [--auth-key PUBLIC.pem |\n"
           "                  --auth-secret FILE [--auth-issuer ISS] [--auth-audience AUD]]\n"
           "       pollserver --version | --help\n"
           "       pollserver token --help   (makes a token)\n"
           "  PORT 0 picks a free port; with neither port given: --http 8080 --https 8443\n"
           "  --db PATH             SQLite file (default $XDG_DATA_HOME/quibra/pollserver.sqlite)\n"
           "  --db postgresql://USER@HOST:PORT/NAME\n"
           "                        a PostgreSQL database; several servers may share it\n"
           "  --metrics ADDR:PORT   /healthz and /metrics for the operators on a listener of\n"
           "                        their own (off by default; [ADDR]:PORT for IPv6)\n"
           "  --threads N           event threads serving both listeners (default: one per\n"
           "                        core, at least two; " +
           number(DefaultThreads()) +
           " here)\n"
           "  --synchronous full|normal\n"
           "                        full: each commit is on disk before its jobs are\n"
           "                        acknowledged, even across a power loss; normal: across a\n"
           "                        crash of the process only (default " +
           (defaults.fullSync ? "full" : "normal") +
           ")\n"
           "bounds on every client:\n"
           "  --head-timeout S      seconds for the request line and headers, TLS handshake\n"
           "                        included, and for an idle keep-alive connection (default " +
           number(defaults.headTimeout) +
           ")\n"
           "  --body-timeout S      seconds for a request body (default " +
           number(defaults.bodyTimeout) +
           ")\n"
           "  --stream-keepalive S  seconds an event stream stays quiet before a keep-alive\n"
           "                        comment (default " +
           number(defaults.streamKeepAlive) +
           ")\n"
           "  --max-connections N   open connections in all (default " +
           number(defaults.maxConnections) +
           ")\n"
           "  --max-per-address N   open connections from one address (default " +
           number(defaults.maxPerAddress) +
           ";\n"
           "                        a whole conference behind one NAT address is one address)\n"
           "  --max-request-line B  bytes, else 414 (default " +
           number(defaults.maxRequestLine) +
           ")\n"
           "  --max-header-bytes B  bytes of all header lines, else 431 (default " +
           number(defaults.maxHeaderBytes) +
           ")\n"
           "  --max-body-bytes B    bytes of a request body, else 413 (default " +
           number(defaults.maxBodyBytes) +
           ")\n"
           "bearer tokens (off unless a key or a secret is given):\n"
           "  --auth-key FILE       PEM public key, ES256 (P-256) or EdDSA (Ed25519)\n"
           "  --auth-secret FILE    HS256 secret of at least 32 bytes\n"
           "  --auth-issuer ISS     the issuer every token must name (default: not checked)\n"
           "  --auth-audience AUD   the audience every token must name (default " +
           defaults.authAudience + ")\n";
}

bool ServerOptions::Parse(const std::vector<std::string>& args, std::string& message, bool& help) {
    help = false;
    const NumberOption numbers[] = {
        {"--threads", 1, 256, &threads, nullptr},
        {"--head-timeout", 1, 3600, &headTimeout, nullptr},
        {"--body-timeout", 1, 3600, &bodyTimeout, nullptr},
        {"--stream-keepalive", 1, 3600, &streamKeepAlive, nullptr},
        {"--max-connections", 1, 1000000, nullptr, &maxConnections},
        {"--max-per-address", 1, 1000000, nullptr, &maxPerAddress},
        {"--max-request-line", 256, 1 << 20, nullptr, &maxRequestLine},
        {"--max-header-bytes", 256, 1 << 20, nullptr, &maxHeaderBytes},
        {"--max-body-bytes", 1, std::int64_t{1} << 32, nullptr, &maxBodyBytes},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (option == "--version") {
            version = true;
            return true;
        }
        if (i + 1 >= args.size()) {
            message = option.rfind("--", 0) == 0 ? option + " needs a value"
                                                 : "unknown argument " + option;
            return false;
        }
        const std::string& value = args[++i];
        bool known = true;
        if (option == "--http" || option == "--https") {
            const auto port = FormFields::ParseNumber(value, 0, 65535);
            if (!port) {
                message = option + " wants a port from 0 to 65535";
                return false;
            }
            (option == "--http" ? httpPort : httpsPort) = static_cast<int>(*port);
        } else if (option == "--metrics") {
            const auto colon = value.rfind(':');
            const auto port = colon == std::string::npos
                                  ? std::nullopt
                                  : FormFields::ParseNumber(value.substr(colon + 1), 0, 65535);
            std::string host = colon == std::string::npos ? "" : value.substr(0, colon);
            if (host.size() > 2 && host.front() == '[' && host.back() == ']')
                host = host.substr(1, host.size() - 2);
            if (!port || host.empty()) {
                message = "--metrics wants ADDR:PORT, e.g. 127.0.0.1:9464";
                return false;
            }
            metricsHost = host;
            metricsPort = static_cast<int>(*port);
        } else if (option == "--listen") {
            listen = value;
        } else if (option == "--db") {
            database = value;
        } else if (option == "--cert") {
            certificate = value;
        } else if (option == "--key") {
            key = value;
        } else if (option == "--auth-key") {
            authKey = value;
        } else if (option == "--auth-secret") {
            authSecret = value;
        } else if (option == "--auth-issuer") {
            authIssuer = value;
        } else if (option == "--auth-audience") {
            if (value.empty()) {
                message = "--auth-audience must not be empty";
                return false;
            }
            authAudience = value;
        } else if (option == "--synchronous") {
            if (value != "full" && value != "normal") {
                message = "--synchronous wants full or normal";
                return false;
            }
            fullSync = value == "full";
        } else {
            known = false;
        }
        for (const auto& number : numbers) {
            if (known || option != number.name) continue;
            known = true;
            const auto parsed = FormFields::ParseNumber(value, number.min, number.max);
            if (!parsed) {
                message = option + " wants a number from " + std::to_string(number.min) + " to " +
                          std::to_string(number.max);
                return false;
            }
            if (number.asInt != nullptr) *number.asInt = static_cast<int>(*parsed);
            if (number.asSize != nullptr) *number.asSize = static_cast<std::size_t>(*parsed);
        }
        if (!known) {
            message = "unknown option " + option;
            return false;
        }
    }
    if (certificate.empty() != key.empty()) {
        message = "--cert and --key go together";
        return false;
    }
    if (!authKey.empty() && !authSecret.empty()) {
        message = "--auth-key and --auth-secret exclude each other";
        return false;
    }
    if (!httpPort && !httpsPort) {
        httpPort = 8080;
        httpsPort = 8443;
    }
    if (database.empty()) database = DefaultDataFolder() / "pollserver.sqlite";
    return true;
}

}  // namespace quibra::pollserver
