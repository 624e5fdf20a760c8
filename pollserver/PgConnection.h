#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct pg_conn;
struct pg_result;

namespace quibra::pollserver {

// One libpq connection with its prepared statements, each prepared once and
// reused. Parameters and results travel as text; the server converts to
// UTF-8 for us whatever the database's encoding. Not thread-safe: one user at
// a time (the store hands connections out).
class PgConnection {
public:
    // The rows of one statement.
    class Rows {
    public:
        explicit Rows(pg_result* result);
        int Count() const;
        std::string Text(int row, int column) const;
        std::int64_t Int(int row, int column) const;
        bool Flag(int row, int column) const;  // a boolean column

    private:
        std::shared_ptr<pg_result> m_result;
    };

    // Connects with a libpq connection string or postgresql:// URI; throws PgError.
    explicit PgConnection(const std::string& conninfo);
    ~PgConnection();
    PgConnection(const PgConnection&) = delete;
    PgConnection& operator=(const PgConnection&) = delete;

    // Runs a prepared statement with text parameters; throws PgError.
    Rows Query(std::string_view sql, const std::vector<std::string>& params = {});
    // Runs fixed SQL without parameters (schema, transaction control).
    void Execute(const char* sql);
    // BEGIN (with `sql`'s options); a connection that the server dropped while
    // it was idle (a restart, an idle time-out) is opened again first, since
    // nothing of the transaction was sent yet.
    void Begin(const char* sql = "BEGIN");
    // True when the connection is still usable; else reconnects (the server
    // restarted or dropped us) and reports false.
    bool Healthy();
    // For LISTEN: the socket to wait on, and whether notifications came
    // (taken; their payloads are not kept). Throws PgError when the connection broke.
    int Socket() const;
    bool Notified();

private:
    void Check(pg_result* result, const char* what);

    pg_conn* m_conn = nullptr;
    std::unordered_map<std::string, std::string> m_prepared;  // SQL text -> statement name
};

}  // namespace quibra::pollserver
