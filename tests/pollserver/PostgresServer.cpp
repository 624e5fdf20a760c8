#include "PostgresServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

namespace quibra::test {

namespace {

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size);
    ::close(fd);
    return ntohs(addr.sin_port);
}

}  // namespace

PostgresServer::PostgresServer() : m_port(std::to_string(FreePort())) {
    // The server's folder is where the postgres user may read and write.
    const passwd* user = geteuid() == 0 ? getpwnam("postgres") : nullptr;
    if (user != nullptr && chown(m_dir.Path().c_str(), user->pw_uid, user->pw_gid) != 0) return;
    // fsync off: the tests check what the server commits, not the disk.
    m_running = Run("initdb -D data -U quibra -A trust -E UTF8 --locale=C --no-sync") && Start();
}

bool PostgresServer::Start() {
    m_running = Run("pg_ctl -D data -w -t 30 -s -l server.log -o '-p " + m_port + " -k " +
                    m_dir.Path().string() + " -c listen_addresses=127.0.0.1 -c fsync=off' start");
    return m_running;
}

bool PostgresServer::Run(const std::string& command) {
    const std::string as = geteuid() == 0 ? "/usr/sbin/runuser -u postgres -- " : "";
    const std::string line = "cd '" + m_dir.Path().string() + "' && " + as +
                             "/usr/lib/postgresql/15/bin/" + command +
                             " </dev/null >>postgres.log 2>&1";
    return std::system(line.c_str()) == 0;
}

std::string PostgresServer::CreateDatabase() {
    const std::string name = "polls" + std::to_string(++m_databases);
    if (!Run("createdb -h 127.0.0.1 -p " + m_port + " -U quibra " + name)) return {};
    return "postgresql://quibra@127.0.0.1:" + m_port + "/" + name;
}

}  // namespace quibra::test
