#include "PgConnection.h"

#include <libpq-fe.h>

#include <charconv>

#include "PgError.h"

namespace quibra::pollserver {

namespace {

std::string StateOf(const PGresult* result) {
    const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    return state ? state : "";
}

}  // namespace

PgConnection::Rows::Rows(pg_result* result) : m_result(result, PQclear) {}

int PgConnection::Rows::Count() const {
    return PQntuples(m_result.get());
}

std::string PgConnection::Rows::Text(int row, int column) const {
    return std::string(PQgetvalue(m_result.get(), row, column),
                       static_cast<std::size_t>(PQgetlength(m_result.get(), row, column)));
}

std::int64_t PgConnection::Rows::Int(int row, int column) const {
    const char* text = PQgetvalue(m_result.get(), row, column);
    const char* end = text + PQgetlength(m_result.get(), row, column);
    std::int64_t value = 0;
    if (std::from_chars(text, end, value).ptr != end)
        throw PgError("", "not a number in column " + std::to_string(column));
    return value;
}

bool PgConnection::Rows::Flag(int row, int column) const {
    return PQgetvalue(m_result.get(), row, column)[0] == 't';
}

PgConnection::PgConnection(const std::string& conninfo) {
    // The texts are UTF-8 whatever the server's own encoding is.
    const char* keys[] = {"dbname", "client_encoding", nullptr};
    const char* values[] = {conninfo.c_str(), "UTF8", nullptr};
    m_conn = PQconnectdbParams(keys, values, 1);
    if (m_conn == nullptr || PQstatus(m_conn) != CONNECTION_OK) {
        const std::string message = m_conn ? PQerrorMessage(m_conn) : "out of memory";
        PQfinish(m_conn);
        throw PgError("", "cannot connect to PostgreSQL: " + message);
    }
    // Notices ("relation already exists, skipping") are no news to anyone.
    PQsetNoticeProcessor(
        m_conn, [](void*, const char*) {}, nullptr);
}

PgConnection::~PgConnection() {
    PQfinish(m_conn);
}

bool PgConnection::Healthy() {
    if (PQstatus(m_conn) == CONNECTION_OK) return true;
    m_prepared.clear();  // they went with the old session
    PQreset(m_conn);
    return false;
}

int PgConnection::Socket() const {
    return PQsocket(m_conn);
}

bool PgConnection::Notified() {
    if (PQconsumeInput(m_conn) == 0)
        throw PgError("", std::string("listen: ") + PQerrorMessage(m_conn));
    bool any = false;
    while (PGnotify* notice = PQnotifies(m_conn)) {
        PQfreemem(notice);
        any = true;
    }
    return any;
}

void PgConnection::Check(pg_result* result, const char* what) {
    const auto status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) return;
    const std::string state = StateOf(result);
    std::string message = PQerrorMessage(m_conn);
    PQclear(result);
    throw PgError(state, std::string(what) + ": " + message);
}

PgConnection::Rows PgConnection::Query(std::string_view sql,
                                       const std::vector<std::string>& params) {
    auto found = m_prepared.find(std::string(sql));
    if (found == m_prepared.end()) {
        const std::string name = "q" + std::to_string(m_prepared.size());
        PGresult* prepared = PQprepare(m_conn, name.c_str(), std::string(sql).c_str(),
                                       static_cast<int>(params.size()), nullptr);
        Check(prepared, "prepare");
        PQclear(prepared);
        found = m_prepared.emplace(std::string(sql), name).first;
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& param : params) values.push_back(param.c_str());
    PGresult* result =
        PQexecPrepared(m_conn, found->second.c_str(), static_cast<int>(values.size()),
                       values.data(), nullptr, nullptr, 0);
    Check(result, "query");
    return Rows(result);
}

void PgConnection::Begin(const char* sql) {
    try {
        Execute(sql);
    } catch (const PgError& error) {
        if (!error.State().empty() || Healthy()) throw;
        Execute(sql);  // on the new connection
    }
}

void PgConnection::Execute(const char* sql) {
    PGresult* result = PQexec(m_conn, sql);
    Check(result, "execute");
    PQclear(result);
}

}  // namespace quibra::pollserver
