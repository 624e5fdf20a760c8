#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace quibra::pollserver {

// The command line; Usage() lists every option with its default.
//   --http PORT / --https PORT  listeners (0: a free port, printed when ready);
//                   with neither given, HTTP on 8080 and HTTPS on 8443
//   --listen ADDR   address to bind, 127.0.0.1 unless told otherwise
//   --db PATH       SQLite file, by default $XDG_DATA_HOME/quibra/pollserver.sqlite;
//   --db postgresql://...  a PostgreSQL database that several servers may share
//   --cert FILE --key FILE
//                   PEM certificate and key; otherwise a self-signed pair is
//                   made at first start beside the database
//   --threads N     event threads, shared by the listeners (1 to 256)
//   --metrics ADDR:PORT
//                   /healthz and /metrics for the operators, on a listener of
//                   their own; off unless given
// and the bounds that keep slow, idle or oversized clients from holding the
// server (see ConnectionGuard).
struct ServerOptions {
    std::optional<int> httpPort;
    std::optional<int> httpsPort;
    std::string listen = "127.0.0.1";
    std::filesystem::path database;
    std::filesystem::path certificate;
    std::filesystem::path key;
    // --metrics ADDR:PORT ([ADDR]:PORT for IPv6); no port: no operators' listener.
    std::string metricsHost;
    std::optional<int> metricsPort;
    // Event threads serving both listeners; 0 (not given): DefaultThreads.
    int threads = 0;
    // --synchronous full|normal: how far each group commit is synced before its
    // jobs are acknowledged (full: the log on disk, surviving a power loss).
    // Full by default: with group commits it costs under a tenth of the ballot
    // rate here (bench/pollserver); normal keeps acknowledged jobs across a
    // crash of the process only.
    bool fullSync = true;

    // Seconds a connection has for its request line and headers, counted from
    // the accept (the TLS handshake included) or from the end of its previous
    // reply; an idle keep-alive connection is closed when it passes.
    int headTimeout = 5;
    // Seconds a request has for its body once its headers are in.
    int bodyTimeout = 10;
    // Open connections over all listeners; past it new ones are closed at once.
    std::size_t maxConnections = 10000;
    // Open connections from one client address on one listener. A conference
    // behind one corporate NAT address shows as one address: 2000 lets that
    // many attendees' ballots be in flight at the same moment.
    std::size_t maxPerAddress = 2000;
    std::size_t maxRequestLine = 8192;           // bytes; longer gets 414
    std::size_t maxHeaderBytes = 16384;          // bytes of all header lines; more gets 431
    std::size_t maxBodyBytes = 8 * 1024 * 1024;  // a larger body gets 413
    // Seconds an event stream may stay quiet before it gets a keep-alive
    // comment, so proxies keep it open. Streams are exempt from the head
    // limit of an idle connection, but count against the connection bounds.
    int streamKeepAlive = 15;

    // Bearer tokens (TokenVerifier), opt-in: with a key or a secret every
    // request needs one. --auth-key: a PEM public key (ES256 or Ed25519);
    // --auth-secret: a file of at least 32 bytes (HS256).
    std::filesystem::path authKey;
    std::filesystem::path authSecret;
    std::string authIssuer;               // --auth-issuer: "iss" checked when given
    std::string authAudience = "quibra";  // --auth-audience: "aud" must name it
    bool Authenticates() const { return !authKey.empty() || !authSecret.empty(); }

    // --version: print the version and exit (set by Parse).
    bool version = false;

    // False with a message for a bad command line; `help` when --help was asked.
    bool Parse(const std::vector<std::string>& args, std::string& message, bool& help);
    // "pollserver 0.1.0": the version line of --version.
    static std::string VersionLine();
    static std::string Usage();
    // Ballots never hold an event thread while they wait for their commit,
    // and every thread waits in epoll, where idle connections cost nothing:
    // one thread per core (at least two), since extra threads only add switches.
    static int DefaultThreads();
    int EventThreads() const { return threads > 0 ? threads : DefaultThreads(); }
    // --db names a PostgreSQL database rather than a SQLite file.
    bool SharedDatabase() const;
    // Where a self-signed certificate is kept: beside a SQLite file, else the
    // user's data folder.
    std::filesystem::path DataFolder() const;
};

}  // namespace quibra::pollserver
