#pragma once

#include <string>

namespace quibra {

// Runs FindProxyForURL of an auto-configuration script. The script engine
// keeps process-wide state and is not thread-safe, so every evaluation in the
// process goes through one lock; each call starts from a fresh engine, so one
// script never sees another's definitions.
class PacEvaluator {
public:
    // True with the script's answer ("PROXY h:p; DIRECT") in `answer`; false
    // when the script does not compile or FindProxyForURL fails.
    static bool FindProxy(const std::string& script, const std::string& url,
                          const std::string& host, std::string& answer);
};

}  // namespace quibra
