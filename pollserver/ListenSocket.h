#pragma once

#include <string>

namespace quibra::pollserver {

// A bound, listening, non-blocking TCP socket with a full-size accept queue:
// every plug-in request is a new connection, and a room voting at once must
// not overflow a short queue (a dropped SYN costs its client a second or more).
class ListenSocket {
public:
    ListenSocket() = default;
    ~ListenSocket();
    ListenSocket(const ListenSocket&) = delete;
    ListenSocket& operator=(const ListenSocket&) = delete;

    // Port 0: any free port. False with a reason.
    bool Open(const std::string& host, int port, std::string& reason);
    void Close();
    int Fd() const { return m_fd; }
    int Port() const { return m_port; }

private:
    int m_fd = -1;
    int m_port = 0;
};

}  // namespace quibra::pollserver
