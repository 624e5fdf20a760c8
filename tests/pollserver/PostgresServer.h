#pragma once

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "ListenSocket.h"
#include "support/TestSupport.h"

namespace quibra::test {

// A real PostgreSQL 15 in a temporary folder, on an ephemeral loopback port
// with its socket in that folder; stopped and removed by the destructor. As
// root, the server runs as the `postgres` user (initdb refuses root).
class PostgresServer {
public:
    PostgresServer() {
        pollserver::ListenSocket free;  // a free port, closed again for the server to take
        std::string reason;
        if (!free.Open("127.0.0.1", 0, reason)) return;
        m_port = std::to_string(free.Port());
        free.Close();
        const passwd* user = geteuid() == 0 ? getpwnam("postgres") : nullptr;
        if (user != nullptr && chown(m_dir.Path().c_str(), user->pw_uid, user->pw_gid) != 0) return;
        m_running =
            Run("initdb -D data -U quibra -A trust -E UTF8 --locale=C --no-sync") && Start();
    }
    ~PostgresServer() { Run("pg_ctl -D data -w -s -m fast stop"); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Running() const { return m_running; }
    // Where to look when it failed.
    std::string Log() const { return (m_dir / "postgres.log").string(); }
    // A fresh empty database; its postgresql:// URI for --db ("" when it failed).
    std::string CreateDatabase() {
        const std::string name = "polls" + std::to_string(++m_databases);
        if (!Run("createdb -h 127.0.0.1 -p " + m_port + " -U quibra " + name)) return {};
        return "postgresql://quibra@127.0.0.1:" + m_port + "/" + name;
    }
    // A fast stop and a start on the same port: every client connection is dropped.
    bool Restart() { return Run("pg_ctl -D data -w -s -m fast stop") && Start(); }

private:
    bool Start() {
        m_running =
            Run("pg_ctl -D data -w -t 30 -s -l server.log -o '-p " + m_port + " -k " +
                m_dir.Path().string() + " -c listen_addresses=127.0.0.1 -c fsync=off' start");
        return m_running;
    }
    // Runs a PostgreSQL program with its arguments in the server's folder (as
    // `postgres` when we are root), its output to the log; true when it succeeded.
    bool Run(const std::string& command) {
        const std::string as = geteuid() == 0 ? "/usr/sbin/runuser -u postgres -- " : "";
        const std::string line = "cd '" + m_dir.Path().string() + "' && " + as +
                                 "/usr/lib/postgresql/15/bin/" + command +
                                 " </dev/null >>postgres.log 2>&1";
        return std::system(line.c_str()) == 0;
    }

    TempDir m_dir;
    std::string m_port;
    int m_databases = 0;
    bool m_running = false;
};

}  // namespace quibra::test
