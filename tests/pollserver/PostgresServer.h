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
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    bool Running() const { return m_running; }
    const std::string& Error() const { return m_error; }
    // A fresh empty database; its postgresql:// URI for --db.
    std::string CreateDatabase();
    // A fast stop and a start on the same port: every client connection is dropped.
    bool Restart();

private:
    bool Start();
    // Runs a PostgreSQL program (as `postgres` when we are root); its exit status.
    int Run(const std::string& program, const std::vector<std::string>& args);

    TempDir m_dir;
    int m_port = 0;
    int m_databases = 0;
    bool m_running = false;
    std::string m_error;
};

}  // namespace quibra::test
