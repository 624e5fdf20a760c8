#include "PostgresServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>

extern char** environ;

namespace quibra::test {

namespace {

const std::string kBin = "/usr/lib/postgresql/15/bin/";

int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof addr;
    int port = 0;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &size) == 0)
        port = ntohs(addr.sin_port);
    if (fd >= 0) ::close(fd);
    return port;
}

}  // namespace

PostgresServer::PostgresServer() : m_port(FreePort()) {
    if (geteuid() == 0) {
        const passwd* user = getpwnam("postgres");
        if (user == nullptr || chown(m_dir.Path().c_str(), user->pw_uid, user->pw_gid) != 0) {
            m_error = "no postgres user to run the server as";
            return;
        }
    }
    const auto data = (m_dir / "data").string();
    if (Run("initdb", {"-D", data, "-U", "quibra", "-A", "trust", "-E", "UTF8", "--locale=C",
                       "--no-sync"}) != 0) {
        m_error = "initdb failed; see " + (m_dir / "postgres.log").string();
        return;
    }
    // fsync off: the tests check what the server commits, not the disk.
    m_running = Start();
}

bool PostgresServer::Start() {
    const auto data = (m_dir / "data").string();
    const std::string options = "-p " + std::to_string(m_port) + " -k " + m_dir.Path().string() +
                                " -c listen_addresses=127.0.0.1 -c fsync=off";
    const bool started = Run("pg_ctl", {"-D", data, "-w", "-t", "30", "-s", "-o", options, "-l",
                                        (m_dir / "server.log").string(), "start"}) == 0;
    if (!started) m_error = "pg_ctl start failed; see " + (m_dir / "server.log").string();
    return started;
}

bool PostgresServer::Restart() {
    m_running =
        Run("pg_ctl", {"-D", (m_dir / "data").string(), "-w", "-s", "-m", "fast", "stop"}) != 0;
    if (m_running) return false;
    m_running = Start();
    return m_running;
}

PostgresServer::~PostgresServer() {
    if (m_running)
        Run("pg_ctl", {"-D", (m_dir / "data").string(), "-w", "-s", "-m", "fast", "stop"});
}

int PostgresServer::Run(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> command;
    if (geteuid() == 0) command = {"/usr/sbin/runuser", "-u", "postgres", "--"};
    command.push_back(kBin + program);
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : command) argv.push_back(arg.data());
    argv.push_back(nullptr);

    const auto log = (m_dir / "postgres.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    // The server's folder is where the postgres user may read and write.
    posix_spawn_file_actions_addchdir_np(&actions, m_dir.Path().c_str());
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string PostgresServer::CreateDatabase() {
    const std::string name = "polls" + std::to_string(++m_databases);
    const std::string base = "postgresql://quibra@127.0.0.1:" + std::to_string(m_port) + "/";
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectdb((base + "postgres").c_str()),
                                                    PQfinish);
    std::unique_ptr<PGresult, void (*)(PGresult*)> result(
        PQexec(conn.get(), ("CREATE DATABASE " + name).c_str()), PQclear);
    if (PQresultStatus(result.get()) != PGRES_COMMAND_OK) {
        m_error = PQerrorMessage(conn.get());
        return {};
    }
    return base + name;
}

}  // namespace quibra::test
