#pragma once

#include <sys/types.h>

#include <string>

#include "support/TestSupport.h"

namespace quibra::test {

// Debian's tinyproxy in the foreground on a free loopback port, logging to a
// file of its own; stopped by its process id when this goes away.
class TinyproxyProcess {
public:
    // `extra`: more lines of its configuration ("BasicAuth u p\n").
    explicit TinyproxyProcess(const std::string& extra = {});
    ~TinyproxyProcess();
    TinyproxyProcess(const TinyproxyProcess&) = delete;
    TinyproxyProcess& operator=(const TinyproxyProcess&) = delete;

    // Whether it has come up (waits for it, within the guard time).
    bool Ready() const;
    const std::string& Port() const { return m_port; }
    std::string Log() const;

private:
    TempDir m_dir;
    std::string m_port;
    std::string m_log;
    pid_t m_pid = -1;
};

}  // namespace quibra::test
