#include "ServerOptions.h"

#include <cstdlib>

#include "FormFields.h"

namespace quibra::pollserver {

namespace {

std::filesystem::path DefaultDataFolder() {
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && xdg[0] == '/')
        return std::filesystem::path(xdg) / "quibra";
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::filesystem::path(home) / ".local" / "share" / "quibra";
    return std::filesystem::current_path() / "quibra";
}

}  // namespace

std::string ServerOptions::Usage() {
    return "usage: pollserver [--http PORT] [--https PORT] [--listen ADDR] [--db PATH]\n"
           "                  [--cert FILE --key FILE] [--threads N]\n"
           "  PORT 0 picks a free port; with neither port given: --http 8080 --https 8443\n";
}

bool ServerOptions::Parse(const std::vector<std::string>& args, std::string& message, bool& help) {
    help = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--help" || option == "-h") {
            help = true;
            return true;
        }
        if (i + 1 >= args.size()) {
            message = option.rfind("--", 0) == 0 ? option + " needs a value"
                                                 : "unknown argument " + option;
            return false;
        }
        const std::string& value = args[++i];
        if (option == "--http" || option == "--https") {
            const auto port = FormFields::ParseNumber(value, 0, 65535);
            if (!port) {
                message = option + " wants a port from 0 to 65535";
                return false;
            }
            (option == "--http" ? httpPort : httpsPort) = static_cast<int>(*port);
        } else if (option == "--listen") {
            listen = value;
        } else if (option == "--db") {
            database = value;
        } else if (option == "--cert") {
            certificate = value;
        } else if (option == "--key") {
            key = value;
        } else if (option == "--threads") {
            const auto count = FormFields::ParseNumber(value, 1, 256);
            if (!count) {
                message = "--threads wants a number from 1 to 256";
                return false;
            }
            threads = static_cast<int>(*count);
        } else {
            message = "unknown option " + option;
            return false;
        }
    }
    if (certificate.empty() != key.empty()) {
        message = "--cert and --key go together";
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
