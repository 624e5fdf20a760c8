#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "support/ScopedProxySettings.h"
#include "support/ScriptedServer.h"
#include "support/TestSupport.h"
#include "transport/HttpRequest.h"
#include "xml/WideString.h"

namespace quibra::test {

// Settings with a proxy list, a bypass list and a script URL.
inline ProxySettings Proxy(std::wstring list, std::wstring bypass = {}, std::wstring script = {}) {
    return {false, std::move(script), std::move(list), std::move(bypass)};
}

// A loopback port that nothing listens on (a server's, once it has stopped).
inline uint16_t DeadPort() {
    return ScriptedServer().Port();
}

// The request line with the decimal number of its "_rnd=<tick>" cache breaker cut out:
// "GET /p?a=1&_rnd= HTTP/1.1".
inline std::string WithoutTick(std::string line) {
    std::smatch tick;
    if (!std::regex_search(line, tick, std::regex("_rnd=(-?[0-9]+) "))) return "(none) " + line;
    return line.erase(tick.position(1), tick.length(1));
}

// "<failure kind> <status code> <HTTP error code>" of a finished request.
inline std::string Outcome(const HttpRequest& r) {
    return std::to_string(static_cast<int>(r.GetFailureKind())) + " " +
           std::to_string(r.StatusCode()) + " " + std::to_string(r.HttpErrorCode());
}

}  // namespace quibra::test
