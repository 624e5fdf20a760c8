// The README's "Streams behind nginx" location block, as written there, in
// front of the real pollserver with Debian's nginx.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "EventStreamClient.h"
#include "PollServerTest.h"

namespace quibra::test {
namespace {

// The README's block, from "location /quibra/v1/events {" to its closing brace.
std::string ReadmeLocationBlock() {
    std::ifstream readme(std::string(QUIBRA_SOURCE_DIR) + "/README.md");
    std::string line;
    std::string block;
    while (std::getline(readme, line)) {
        if (block.empty() && line.find("location /quibra/v1/events {") == std::string::npos)
            continue;
        block += line + "\n";
        if (line == "    }") break;
    }
    return block;
}

class PollServerStreamProxyTest : public PollServerTest {
protected:
    void TearDown() override {
        if (m_nginx > 0) {
            ::kill(m_nginx, SIGTERM);
            ::waitpid(m_nginx, nullptr, 0);
        }
    }
    // nginx on a free port, with `locations` in its server; its URL once it
    // listens (it writes its pid file after opening its sockets).
    std::string StartNginx(const std::string& locations) {
        const int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
        ::close(probe);
        const auto port = std::to_string(ntohs(address.sin_port));
        const auto dir = (m_dir / "nginx").string();
        std::filesystem::create_directories(dir);
        std::ofstream(dir + "/nginx.conf")
            << "daemon off; master_process off; pid " << dir << "/nginx.pid;\n"
            << "error_log " << dir << "/error.log;\nevents {}\nhttp {\n  access_log off;\n"
            << "  client_body_temp_path " << dir << "; proxy_temp_path " << dir << ";\n"
            << "  upstream pollservers { server " << m_server.HttpAddress() << "; keepalive 4; }\n"
            << "  server {\n    listen 127.0.0.1:" << port << ";\n"
            << locations << "  }\n}\n";
        const int watch = ::inotify_init1(IN_CLOEXEC);
        ::inotify_add_watch(watch, dir.c_str(), IN_CLOSE_WRITE);
        m_nginx = ::fork();
        if (m_nginx == 0) {
            ::execl("/usr/sbin/nginx", "nginx", "-p", dir.c_str(), "-c",
                    (dir + "/nginx.conf").c_str(), "-e", (dir + "/error.log").c_str(), nullptr);
            ::_exit(127);
        }
        for (bool written = false; !written;) {
            pollfd ready{watch, POLLIN, 0};
            if (::poll(&ready, 1, static_cast<int>(EventStreamClient::kPatience.count())) != 1)
                break;
            alignas(inotify_event) char events[4096];
            const auto length = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < length;) {
                const auto* event = reinterpret_cast<const inotify_event*>(events + at);
                written = written || (event->len > 0 && std::string(event->name) == "nginx.pid");
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        ::close(watch);
        return "http://127.0.0.1:" + port;
    }
    pid_t m_nginx = -1;
};

TEST_F(PollServerStreamProxyTest, TheReadmesLocationBlockPassesEachFrameOnAsItComes) {
    if (::access("/usr/sbin/nginx", X_OK) != 0) GTEST_SKIP() << "nginx is not installed";
    const auto block = ReadmeLocationBlock();
    ASSERT_NE(block.find("proxy_buffering off;"), std::string::npos) << block;
    const auto url = StartNginx(block);
    EventStreamClient subscriber;
    ASSERT_TRUE(subscriber.Open(url, "modulename=m1&userid=a7"));
    ASSERT_EQ(subscriber.Status(), 200) << subscriber.Head();
    EXPECT_NE(subscriber.Head().find("Content-Type: text/event-stream"), std::string::npos);
    ASSERT_EQ(subscriber.NextEvent(), "open ");
    // Each commit's frame comes through while the stream stays open.
    const auto id = OpenPoll("S", false);
    EXPECT_EQ(subscriber.NextEvent(), "open " + id);
    ASSERT_EQ(Session().Vote(id, "u1", "Ann", {"A"}), 200);
    EXPECT_EQ(subscriber.NextEvent(), "ballot " + id + ",u1");
}

}  // namespace
}  // namespace quibra::test
