// pollserver: the reference PollServer. Serves the polling script and the
// result script over HTTP and HTTPS on one SQLite database or on a PostgreSQL
// database shared with other servers; prints the URLs it
// serves on one line when ready and stops cleanly on SIGINT or SIGTERM.
// `pollserver token ...` makes a bearer token instead (TokenMinter).
#include <libxml/parser.h>
#include <pthread.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <thread>

#include "EventHub.h"
#include "EventStreamEndpoint.h"
#include "Metrics.h"
#include "OpsEndpoint.h"
#include "PgPollStore.h"
#include "PollHttpServer.h"
#include "PollService.h"
#include "SelfSignedCertificate.h"
#include "ServerOptions.h"
#include "SqlitePollStore.h"
#include "StoreProbe.h"
#include "TokenMinter.h"
#include "TokenVerifier.h"

using namespace quibra::pollserver;

namespace {

// Every open connection is a file descriptor: take all the process may have,
// and keep the connection bound within it (with room for the database, the
// listeners and the event sets).
void FitConnectionsToFileLimit(ServerOptions& options) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    constexpr rlim_t kReserve = 256;
    const rlim_t usable =
        limit.rlim_cur > 2 * kReserve ? limit.rlim_cur - kReserve : limit.rlim_cur / 2;
    if (limit.rlim_cur != RLIM_INFINITY && options.maxConnections > usable) {
        options.maxConnections = static_cast<std::size_t>(usable);
        std::cerr << "pollserver: --max-connections lowered to " << usable
                  << " by the limit on open files\n";
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "token")
        return TokenMinter::Run(std::vector<std::string>(argv + 2, argv + argc), std::cout,
                                std::cerr);
    ServerOptions options;
    std::string message;
    bool help = false;
    if (!options.Parse(std::vector<std::string>(argv + 1, argv + argc), message, help)) {
        std::cerr << "pollserver: " << message << "\n" << ServerOptions::Usage();
        return 2;
    }
    if (help) {
        std::cout << ServerOptions::Usage();
        return 0;
    }
    if (options.version) {
        std::cout << ServerOptions::VersionLine() << "\n";
        return 0;
    }

    // Signals are taken by one waiting thread, never by a request thread:
    // block them before any thread starts, so every thread inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);  // a client that hangs up must not end the server

    // libxml2 sets up its global state on first use, which is not safe from
    // several request threads at once: do it here, before any thread starts.
    xmlInitParser();
    // SQLite's memory statistics take one global lock on every allocation of
    // every connection; nothing here reads them.
    sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0);
    FitConnectionsToFileLimit(options);

    try {
        std::error_code ec;
        std::string reason;
        const auto folder = options.DataFolder();
        // Before the store: its writer hands committed events to the hub until it stops.
        EventHub hub;
        std::unique_ptr<PollStore> store;
        if (options.SharedDatabase()) {
            store = std::make_unique<PgPollStore>(options.database.native());
        } else {
            std::filesystem::create_directories(folder, ec);
            store = std::make_unique<SqlitePollStore>(
                options.database,
                options.fullSync ? SqlitePollStore::Sync::Full : SqlitePollStore::Sync::Normal);
        }
        std::unique_ptr<TokenVerifier> verifier;
        if (options.Authenticates()) {
            auto key = !options.authKey.empty() ? JwsKey::PublicKeyFile(options.authKey, reason)
                                                : JwsKey::SecretFile(options.authSecret, reason);
            if (!key) {
                std::cerr << "pollserver: " << reason << "\n";
                return 2;
            }
            verifier = std::make_unique<TokenVerifier>(
                std::move(key), TokenVerifier::Settings{options.authIssuer, options.authAudience});
        }
        // Other servers change a shared database behind this one's back, and
        // the cache only hears of changes made here: it is off for a shared one.
        PollService service(*store, !options.SharedDatabase(), verifier.get());
        store->SetEventListener([&hub](StreamEvents events) { hub.Publish(std::move(events)); });
        EventStreamEndpoint events(*store, hub, verifier.get());
        StoreProbe probe(*store);
        const OpsEndpoint ops(probe, Metrics::Global());
        PollHttpServer server(service, options);
        server.ServeEvents(events);

        if (options.httpPort && !server.AddHttp(options.listen, *options.httpPort, reason)) {
            std::cerr << "pollserver: " << reason << "\n";
            return 1;
        }
        if (options.httpsPort) {
            auto certificate = options.certificate;
            auto key = options.key;
            if (certificate.empty()) {
                std::filesystem::create_directories(folder, ec);
                certificate = folder / "pollserver-cert.pem";
                key = folder / "pollserver-key.pem";
                if (!SelfSignedCertificate::Ensure(certificate, key, reason)) {
                    std::cerr << "pollserver: " << reason << "\n";
                    return 1;
                }
            }
            if (!server.AddHttps(options.listen, *options.httpsPort, certificate, key, reason)) {
                std::cerr << "pollserver: " << reason << "\n";
                return 1;
            }
            // What a plug-in's ServerPin names, for the operator to hand out.
            if (const auto pin = JwsKey::CertificatePin(certificate))
                std::cerr << "pollserver: certificate pin " << *pin << "\n";
        }

        if (options.metricsPort &&
            !server.AddOps(options.metricsHost, *options.metricsPort, ops, reason)) {
            std::cerr << "pollserver: " << reason << "\n";
            return 1;
        }

        std::thread signalWaiter([&] {
            int signalNumber = 0;
            sigwait(&stopSignals, &signalNumber);
            server.Stop();
        });
        std::cout << "pollserver ready: " << server.Urls() << std::endl;
        server.Run();
        signalWaiter.join();
        std::cerr << "pollserver: stopped\n";
        return 0;
    } catch (const std::exception& error) {
        std::cerr << "pollserver: " << error.what() << "\n";
        return 1;
    }
}
