#pragma once

#include <stdexcept>
#include <string>

namespace quibra::pollserver {

// A storage failure with SQLite's result code; busy means another writer held
// the database longer than the busy time-out.
class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), m_code(code) {}
    int Code() const { return m_code; }
    bool Busy() const;

private:
    int m_code;
};

}  // namespace quibra::pollserver
