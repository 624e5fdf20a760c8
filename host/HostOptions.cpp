#include "HostOptions.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Decimal digits only, within [low, high]; no sign, no spaces, no locale.
std::optional<int> ParseNumber(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

bool IsPlainName(const std::string& text) {
    if (text.empty() || text.size() > 64) return false;
    for (unsigned char c : text) {
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_' && c != '-' && c != '.' && c != '@')
            return false;
    }
    return true;
}

// "https://host:port/", "http://host", "host:port" or "host".
bool ParseServer(const std::string& url, HostOptions& options, std::string& message) {
    std::string rest = url;
    std::optional<bool> ssl;
    if (rest.rfind("https://", 0) == 0) {
        ssl = true;
        rest.erase(0, 8);
    } else if (rest.rfind("http://", 0) == 0) {
        ssl = false;
        rest.erase(0, 7);
    } else if (rest.find("://") != std::string::npos) {
        message = "--server: only http:// and https:// servers are known: " + url;
        return false;
    }
    // The plug-in adds the PollServer's script paths itself: a URL names the
    // server only, with at most a "/" after host and port.
    const auto pathStart = rest.find_first_of("/?#");
    if (pathStart != std::string::npos) {
        if (rest.compare(pathStart, std::string::npos, "/") != 0) {
            message =
                "--server takes the server's address without a path, as "
                "http[s]://host[:port]: " +
                url;
            return false;
        }
        rest.erase(pathStart);
    }
    std::string host = rest;
    int port = 0;
    const auto colon = rest.rfind(':');
    if (colon != std::string::npos) {
        const auto number = ParseNumber(rest.substr(colon + 1), 1, 65535);
        if (!number) {
            message = "--server: the port must be a number from 1 to 65535: " + url;
            return false;
        }
        port = *number;
        host = rest.substr(0, colon);
    }
    if (host.empty() || host.find_first_of("/?# \t@") != std::string::npos) {
        message = "--server: not a server address: " + url;
        return false;
    }
    if (ssl && options.useSsl && *options.useSsl != *ssl) {
        message = "--server " + url + " contradicts --http/--https";
        return false;
    }
    if (ssl) options.useSsl = ssl;
    options.serverHost = host;
    options.serverPort = port;
    return true;
}

}  // namespace

std::string HostOptions::Usage() {
    return "Usage: quibra-host [OPTIONS]\n"
           "       quibra-host --demo [--attendees N] [--out DIR] [--script] [--insecure]\n"
           "                          [--manual] [--server URL]\n"
           "The reference host of the Quibra polling plug-in: a presenter or an attendee\n"
           "of one conference session, against one PollServer.\n"
           "\n"
           "  --role presenter|attendee  who this host plays (default presenter)\n"
           "  --user ID                  the user id (default: the login name)\n"
           "  --name NAME                the name shown to others (default: the user id)\n"
           "  --session ID               the conference session to join (default quibra)\n"
           "  --module NAME              the module the polls belong to (default quibra)\n"
           "  --server URL               the PollServer, http[s]://host[:port] (default "
           "https://127.0.0.1:8443)\n"
           "  --http                     talk to the server over plain HTTP (saved as UseSSL 0)\n"
           "  --https                    talk to the server over HTTPS (saved as UseSSL 1)\n"
           "  --token TOKEN|@FILE        the bearer token the PollServer asks for (from FILE)\n"
           "  --server-ca FILE           verify the server's certificate against these CAs\n"
           "                             (saved as ServerCAFile)\n"
           "  --server-pin sha256//B64   accept only the server key with this pin (saved as\n"
           "                             ServerPin)\n"
           "  --lang LOCALE              the language of this run, e.g. en_US or zh_CN\n"
           "  --demo                     run a PollServer, a presenter and attendees together;\n"
           "                             with --server, against that PollServer (no tokens)\n"
           "  --attendees N              attendees of the demo, 0 to 8 (default 3)\n"
           "  --out DIR                  where the demo writes its output (default "
           "./quibra-demo)\n"
           "  --script                   run the demo's scripted walkthrough even with a "
           "display\n"
           "  --manual                   interactive demo: attendees answer by hand, not on "
           "their own\n"
           "  --insecure                 run the demo without tokens and server checks\n"
           "  --version                  print the version and exit\n"
           "  --help                     show this text\n";
}

HostOptions::Outcome HostOptions::Parse(const std::vector<std::string>& args, HostOptions& options,
                                        std::string& message) {
    bool serverGiven = false;
    std::optional<bool> flagSsl;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size() || args[i + 1].rfind("--", 0) == 0) {
                message = arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string text;
        if (arg == "--help" || arg == "-h") return Outcome::Help;
        if (arg == "--version") return Outcome::Version;
        if (arg == "--role") {
            if (!value(text)) return Outcome::Error;
            if (text == "presenter")
                options.role = Role::Presenter;
            else if (text == "attendee")
                options.role = Role::Attendee;
            else {
                message = "--role must be presenter or attendee, not " + text;
                return Outcome::Error;
            }
        } else if (arg == "--user" || arg == "--name" || arg == "--session" || arg == "--module" ||
                   arg == "--out" || arg == "--lang") {
            if (!value(text)) return Outcome::Error;
            if (text.empty() || text.find_first_of("\r\n") != std::string::npos) {
                message = arg + " needs a value on one line";
                return Outcome::Error;
            }
            if (arg == "--user") options.user = text;
            if (arg == "--name") options.name = text;
            if (arg == "--out") options.out = text;
            if (arg == "--session" || arg == "--module" || arg == "--lang") {
                if (!IsPlainName(text)) {
                    message = arg + " takes letters, digits and . _ - @ only: " + text;
                    return Outcome::Error;
                }
                (arg == "--session"  ? options.session
                 : arg == "--module" ? options.module
                                     : options.lang) = text;
            }
        } else if (arg == "--server") {
            if (!value(text)) return Outcome::Error;
            serverGiven = true;
            if (!ParseServer(text, options, message)) return Outcome::Error;
        } else if (arg == "--token") {
            if (!value(text)) return Outcome::Error;
            if (text.rfind('@', 0) == 0) {
                std::ifstream file(text.substr(1), std::ios::binary);
                std::ostringstream bytes;
                bytes << file.rdbuf();
                if (!file) {
                    message = "--token: cannot read " + text.substr(1);
                    return Outcome::Error;
                }
                text = bytes.str();
                while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                    text.pop_back();
            }
            // The characters of a JWT; anything else would break the header.
            for (const char c : text) {
                const bool allowed = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                                     (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.';
                if (!allowed) {
                    message = "--token takes a token of letters, digits and - _ . only";
                    return Outcome::Error;
                }
            }
            options.token = text;
        } else if (arg == "--server-ca") {
            if (!value(text)) return Outcome::Error;
            options.serverCa = text;
        } else if (arg == "--server-pin") {
            if (!value(text)) return Outcome::Error;
            if (text.rfind("sha256//", 0) != 0 || text.size() <= 8) {
                message = "--server-pin takes a pin of the form sha256//BASE64";
                return Outcome::Error;
            }
            options.serverPin = text;
        } else if (arg == "--http" || arg == "--https") {
            const bool ssl = arg == "--https";
            if ((flagSsl && *flagSsl != ssl) || (options.useSsl && *options.useSsl != ssl)) {
                message = arg + " contradicts the other choice of HTTP or HTTPS";
                return Outcome::Error;
            }
            flagSsl = ssl;
            options.useSsl = ssl;
        } else if (arg == "--attendees") {
            if (!value(text)) return Outcome::Error;
            const auto number = ParseNumber(text, 0, 8);
            if (!number) {
                message = "--attendees takes a number from 0 to 8, not " + text;
                return Outcome::Error;
            }
            options.attendees = *number;
        } else if (arg == "--demo") {
            options.demo = true;
        } else if (arg == "--insecure") {
            options.insecure = true;
        } else if (arg == "--script") {
            options.script = true;
        } else if (arg == "--manual") {
            options.manual = true;
        } else if (arg == "--agent") {
            options.agent = true;
        } else {
            message = "unknown option " + arg;
            return Outcome::Error;
        }
    }
    options.serverGiven = serverGiven;
    if (options.user.empty()) {
        const char* login = std::getenv("USER");
        options.user = login != nullptr && *login != '\0' ? login : "user";
    }
    if (options.name.empty()) options.name = options.user;
    return Outcome::Run;
}

std::string HostOptions::ManagerIp(bool ssl) const {
    if (serverPort == 0 && serverGiven) return serverHost;
    return serverHost + ":" + std::to_string(EffectivePort(ssl));
}

int HostOptions::EffectivePort(bool ssl) const {
    if (serverPort != 0) return serverPort;
    if (!serverGiven) return ssl ? 8443 : 8080;  // pollserver's own defaults
    return ssl ? 443 : 80;
}
