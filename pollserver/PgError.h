#pragma once

#include <stdexcept>
#include <string>

namespace quibra::pollserver {

// A PostgreSQL failure with its SQLSTATE ("" when the connection itself failed).
class PgError : public std::runtime_error {
public:
    PgError(std::string state, const std::string& what)
        : std::runtime_error(what), m_state(std::move(state)) {}
    const std::string& State() const { return m_state; }
    // A deadlock or serialization failure: the transaction did nothing and
    // may simply run again.
    bool Retryable() const { return m_state == "40P01" || m_state == "40001"; }

private:
    std::string m_state;
};

}  // namespace quibra::pollserver
