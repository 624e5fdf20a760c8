#pragma once

#include <string>

#include "support/TestSupport.h"

namespace quibra::test {

// A real PostgreSQL 15 in a temporary folder, on an ephemeral loopback port
// with its socket in that folder; stopped and removed by the destructor. As
// root, the server runs as the `postgres` user (initdb refuses root).
class PostgresServer {
public:
    PostgresServer();
    ~PostgresServer() { Run("pg_ctl -D data -w -s -m fast stop"); }
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Running() const { return m_running; }
    // Where to look when it failed.
    std::string Log() const { return (m_dir / "postgres.log").string(); }
    // A fresh empty database; its postgresql:// URI for --db ("" when it failed).
    std::string CreateDatabase();
    // A fast stop and a start on the same port: every client connection is dropped.
    bool Restart() { return Run("pg_ctl -D data -w -s -m fast stop") && Start(); }

private:
    bool Start();
    // Runs a PostgreSQL program with its arguments in the server's folder (as
    // `postgres` when we are root), its output to the log; true when it succeeded.
    bool Run(const std::string& command);

    TempDir m_dir;
    std::string m_port;
    int m_databases = 0;
    bool m_running = false;
};

}  // namespace quibra::test
