#include "transport/PacEvaluator.h"

#include <cstdarg>
#include <mutex>

#include <pacparser.h>

namespace quibra {

namespace {

std::mutex g_engineLock;

// Script errors are answered by a false result; the engine's own printing to
// stderr would only reach the host's console.
int QuietErrors(const char*, va_list) {
    return 0;
}

// The engine for one evaluation, torn down on every path.
class EngineSession {
public:
    EngineSession() : m_ok(pacparser_init() != 0) {}
    ~EngineSession() {
        if (m_ok) pacparser_cleanup();
    }
    EngineSession(const EngineSession&) = delete;
    EngineSession& operator=(const EngineSession&) = delete;
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

}  // namespace

bool PacEvaluator::FindProxy(const std::string& script, const std::string& url,
                             const std::string& host, std::string& answer) {
    answer.clear();
    std::lock_guard lock(g_engineLock);
    pacparser_set_error_printer(QuietErrors);
    EngineSession engine;
    if (!engine.Ok()) return false;
    if (pacparser_parse_pac_string(script.c_str()) == 0) return false;
    // The returned text belongs to the engine and lives until cleanup.
    const char* result = pacparser_find_proxy(url.c_str(), host.c_str());
    if (result == nullptr) return false;
    answer = result;
    return true;
}

}  // namespace quibra
