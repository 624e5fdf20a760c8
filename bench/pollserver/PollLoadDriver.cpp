// pollserver_load: drives HTTP/1.1 keep-alive requests over many concurrent
// connections from one epoll thread, bounded in count and in time.
//
//   ballots mode: creates and opens polls on a PollServer, posts ballots from
//     distinct users (a poll and a choice chosen per ballot), then reads the
//     poll list back and checks that every count equals the ballots that were
//     acknowledged: nothing lost, nothing counted twice.
//   static mode: fetches one path over and over (nginx's ceiling for the same
//     machine and the same driver).
//   --fresh 1: every request on a new connection ("Connection: close"), the
//     plug-in's own pattern; otherwise keep-alive (a load balancer in front).
//   setup mode: only creates and opens the polls and prints "POLLS id...", for
//     another load tool (wrk over HTTPS); count mode prints "COUNTED n", the
//     ballots counted on the polls of --run.
//
//   --token-key PRIVATE.pem | --token-secret FILE: every request carries a
//     bearer token (a server started with --auth-key or --auth-secret): the
//     presenter's for set-up and read-back, and one per voter, each voter
//     casting one ballot on every poll in turn, so a token is used once per
//     poll (minted before the load starts).
//
// Prints one line "RESULT mode=... requests=... seconds=... rate=... p50_us=... p99_us=..."
// and, in ballots mode, "CHECK ok|FAILED ...". The exit status is 0 only when
// every request got 200 and every count matched.
#include <arpa/inet.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "JwsKey.h"
#include "TokenMinter.h"
#include "TokenVerifier.h"

namespace {

using quibra::pollserver::JwsKey;
using quibra::pollserver::TokenMinter;

using Clock = std::chrono::steady_clock;

struct Options {
    std::string mode = "ballots";
    std::string host = "127.0.0.1";
    int port = 0;
    std::string path = "/index.html";
    int connections = 64;
    long requests = 200000;
    double seconds = 20.0;  // hard limit on the load phase
    int polls = 8;
    std::string run = std::to_string(static_cast<long long>(::getpid()));
    bool fresh = false;
    std::string tokenKey;        // a PEM private key
    std::string tokenSecret;     // an HS256 secret file
    std::string presenterToken;  // made from either, for set-up and read-back
};

// The header line of a token, or nothing without one.
std::string Bearer(const std::string& token) {
    return token.empty() ? std::string() : "Authorization: Bearer " + token + "\r\n";
}

constexpr const char* kPollingPath = "/wendrake-idm/v4/polling/polling.asp";
constexpr const char* kResultsPath = "/wendrake-idm/v4/polling/get_polling.asp";
constexpr int kChoices = 4;
const char* const kChoiceNames[kChoices] = {"A", "B", "C", "D"};

// One blocking exchange on a fresh connection (set-up and read-back only).
bool Exchange(const Options& options, const std::string& target, int& status, std::string& body) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(options.port));
    inet_pton(AF_INET, options.host.c_str(), &addr.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return false;
    }
    const std::string request = "GET " + target + " HTTP/1.1\r\nHost: " + options.host + "\r\n" +
                                Bearer(options.presenterToken) + "Connection: close\r\n\r\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
        ::close(fd);
        return false;
    }
    std::string reply;
    char buffer[65536];
    for (ssize_t got; (got = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    ::close(fd);
    const auto headerEnd = reply.find("\r\n\r\n");
    if (reply.size() < 12 || headerEnd == std::string::npos) return false;
    status = std::atoi(reply.c_str() + 9);
    body = reply.substr(headerEnd + 4);
    return true;
}

std::string Attribute(xmlNode* node, const char* name) {
    xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
    std::string text = value ? reinterpret_cast<const char*>(value) : "";
    xmlFree(value);
    return text;
}

struct Connection {
    int fd = -1;
    std::string out;     // request bytes not yet written
    std::string in;      // response bytes read so far
    long inFlight = -1;  // index of the request awaiting its response, -1 when idle
    Clock::time_point sentAt;
    bool wantOut = true;  // EPOLLOUT is in the interest set
};

class Driver {
public:
    explicit Driver(Options options) : m_options(std::move(options)) {}

    int Run();
    // One token per voter the run can reach.
    void MintVoterTokens(const JwsKey& key) {
        const long voters = m_options.requests / m_options.polls + 1;
        const auto now = quibra::pollserver::TokenVerifier::Now();
        for (long v = 0; v < voters; ++v) {
            const auto user = "bench" + m_options.run + "u" + std::to_string(v);
            m_voterTokens.push_back(*TokenMinter::Mint(
                key, {user, "Voter", "load", "attendee", "", "quibra", now, 3600}));
        }
    }

private:
    bool SetUpPolls();
    std::string Target(long index) const;
    bool Connect(Connection& c);
    void Close(Connection& c);
    void StartNext(Connection& c);
    bool Flush(Connection& c);
    // Returns false when the connection is no longer usable.
    bool ReadResponses(Connection& c);
    bool CheckCounts();
    long Counted();
    // The run's poll list as the server answers it; false unless a 200 came.
    bool ReadList(std::string& body);

    Options m_options;
    int m_epoll = -1;
    std::vector<std::string> m_pollIds;
    long m_next = 0;
    long m_done = 0;
    long m_failed = 0;
    long m_lost = 0;  // sent but never answered (connection dropped, or time ran out)
    std::vector<int> m_latencyUs;
    // Expected counts per poll and choice, from acknowledged ballots only.
    std::map<std::pair<int, int>, long> m_expected;
    bool m_sending = true;
    std::vector<std::string> m_voterTokens;  // empty: no tokens
};

// The voter of a ballot: a distinct one per ballot, or with tokens one per
// round over the polls.
long Voter(long index, std::size_t polls, bool tokens) {
    return tokens ? index / static_cast<long>(polls) : index;
}

std::string Driver::Target(long index) const {
    if (m_options.mode == "static") return m_options.path;
    const int poll = static_cast<int>(index % static_cast<long>(m_pollIds.size()));
    const int choice = static_cast<int>((index / static_cast<long>(m_pollIds.size())) % kChoices);
    // The plug-in's field order; a distinct user for every ballot.
    return std::string(kPollingPath) + "?job=PostPolling&pollid=" + m_pollIds[poll] +
           "&userid=bench" + m_options.run + "u" +
           std::to_string(Voter(index, m_pollIds.size(), !m_voterTokens.empty())) +
           "&username=Voter+" + std::to_string(index) +
           "&itemcount=1&itemname_0=" + kChoiceNames[choice] + "&_rnd=" + std::to_string(index);
}

bool Driver::SetUpPolls() {
    for (int p = 0; p < m_options.polls; ++p) {
        std::string target =
            std::string(kPollingPath) + "?job=CreatePolling&userid=bench" + m_options.run +
            "&modulename=load&title=Load+" + std::to_string(p) +
            "&type=S&status=N&issign=1&ispublish=0&itemcount=" + std::to_string(kChoices);
        for (int c = 0; c < kChoices; ++c)
            target += "&content_" + std::to_string(c) + "=Choice+" + kChoiceNames[c] +
                      "&itemname_" + std::to_string(c) + "=" + kChoiceNames[c];
        int status = 0;
        std::string body;
        if (!Exchange(m_options, target, status, body) || status != 200) return false;
        const auto at = body.find("PollingId=\"");
        if (at == std::string::npos) return false;
        const auto id = body.substr(at + 11, body.find('"', at + 11) - at - 11);
        m_pollIds.push_back(id);
        if (!Exchange(m_options,
                      std::string(kPollingPath) + "?job=UpdatePollingStatus&pollcount=1&pollid_0=" +
                          id + "&status_0=O&ispublish_0=0",
                      status, body) ||
            status != 200)
            return false;
    }
    return true;
}

bool Driver::Connect(Connection& c) {
    c.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(c.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(m_options.port));
    inet_pton(AF_INET, m_options.host.c_str(), &addr.sin_addr);
    if (::connect(c.fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 &&
        errno != EINPROGRESS) {
        ::close(c.fd);
        c.fd = -1;
        return false;
    }
    epoll_event event{};
    event.events = EPOLLIN | EPOLLOUT | EPOLLRDHUP;
    event.data.ptr = &c;
    ::epoll_ctl(m_epoll, EPOLL_CTL_ADD, c.fd, &event);
    c.wantOut = true;  // until connected and the request is written
    c.in.clear();
    return true;
}

void Driver::Close(Connection& c) {
    if (c.fd >= 0) ::close(c.fd);
    c.fd = -1;
    c.out.clear();
    c.in.clear();
}

void Driver::StartNext(Connection& c) {
    if (!m_sending || m_next >= m_options.requests) return;
    c.inFlight = m_next++;
    const std::string token =
        m_voterTokens.empty()
            ? std::string()
            : m_voterTokens[static_cast<std::size_t>(Voter(c.inFlight, m_pollIds.size(), true))];
    c.out = "GET " + Target(c.inFlight) + " HTTP/1.1\r\nHost: " + m_options.host + "\r\n" +
            Bearer(token) + (m_options.fresh ? "Connection: close\r\n\r\n" : "\r\n");
    c.sentAt = Clock::now();
}

bool Driver::Flush(Connection& c) {
    while (!c.out.empty()) {
        const ssize_t sent = ::send(c.fd, c.out.data(), c.out.size(), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno != EAGAIN) return false;
            break;
        }
        c.out.erase(0, static_cast<size_t>(sent));
    }
    // Ask for "writable" only while bytes wait: level-triggered EPOLLOUT on an
    // idle socket would spin this thread and steal the servers' CPU.
    const bool wantOut = !c.out.empty();
    if (wantOut != c.wantOut) {
        epoll_event event{};
        event.events = EPOLLIN | EPOLLRDHUP | (wantOut ? EPOLLOUT : 0u);
        event.data.ptr = &c;
        ::epoll_ctl(m_epoll, EPOLL_CTL_MOD, c.fd, &event);
        c.wantOut = wantOut;
    }
    return true;
}

bool Driver::ReadResponses(Connection& c) {
    char buffer[65536];
    bool open = true;  // a peer may send its last answer and close in one go
    for (;;) {
        const ssize_t got = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (got == 0 || (got < 0 && errno != EAGAIN)) {
            open = false;
            break;
        }
        if (got < 0) break;
        c.in.append(buffer, static_cast<size_t>(got));
    }
    for (;;) {
        const auto headerEnd = c.in.find("\r\n\r\n");
        if (headerEnd == std::string::npos || c.inFlight < 0) return open;
        std::string headers = c.in.substr(0, headerEnd);
        std::transform(headers.begin(), headers.end(), headers.begin(),
                       [](char ch) { return std::tolower(ch); });
        const auto lengthAt = headers.find("content-length:");
        if (lengthAt == std::string::npos) return false;  // every reply must carry Content-Length
        const size_t length = std::strtoul(headers.c_str() + lengthAt + 15, nullptr, 10);
        if (c.in.size() < headerEnd + 4 + length) return open;
        const int status = std::atoi(c.in.c_str() + 9);
        const bool closing = headers.find("connection: close") != std::string::npos;
        c.in.erase(0, headerEnd + 4 + length);

        m_latencyUs.push_back(static_cast<int>(
            std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - c.sentAt)
                .count()));
        ++m_done;
        if (status != 200) {
            ++m_failed;
        } else if (m_options.mode == "ballots") {
            const long index = c.inFlight;
            const int poll = static_cast<int>(index % static_cast<long>(m_pollIds.size()));
            const int choice =
                static_cast<int>((index / static_cast<long>(m_pollIds.size())) % kChoices);
            ++m_expected[{poll, choice}];
        }
        c.inFlight = -1;
        if (closing || !open) return false;
        StartNext(c);
        if (!Flush(c)) return false;
    }
}

bool Driver::ReadList(std::string& body) {
    int status = 0;
    return Exchange(m_options,
                    std::string(kResultsPath) +
                        "?job=GetPollingResult&modulename=load&userid=bench" + m_options.run,
                    status, body) &&
           status == 200;
}

bool Driver::CheckCounts() {
    std::string body;
    if (!ReadList(body)) {
        std::printf("CHECK FAILED cannot read the poll list back\n");
        return false;
    }
    std::unique_ptr<xmlDoc, void (*)(xmlDoc*)> doc(
        xmlReadMemory(body.data(), static_cast<int>(body.size()), "list.xml", nullptr,
                      XML_PARSE_NONET),
        xmlFreeDoc);
    xmlNode* root = doc ? xmlDocGetRootElement(doc.get()) : nullptr;
    xmlNode* records = root ? root->children : nullptr;
    while (records != nullptr &&
           !(records->type == XML_ELEMENT_NODE && xmlStrEqual(records->name, BAD_CAST "Records")))
        records = records->next;
    if (records == nullptr) {
        std::printf("CHECK FAILED the poll list is not a list document\n");
        return false;
    }
    long ballots = 0;
    long users = 0;
    long mismatches = 0;
    long voterElements = 0;
    for (xmlNode* record = records->children; record != nullptr; record = record->next) {
        if (record->type != XML_ELEMENT_NODE) continue;
        const auto id = Attribute(record, "PollingId");
        const auto found = std::find(m_pollIds.begin(), m_pollIds.end(), id);
        if (found == m_pollIds.end()) continue;
        const int poll = static_cast<int>(found - m_pollIds.begin());
        long pollBallots = 0;
        for (xmlNode* items = record->children; items != nullptr; items = items->next) {
            if (items->type != XML_ELEMENT_NODE) continue;
            int choice = 0;
            for (xmlNode* item = items->children; item != nullptr; item = item->next) {
                if (item->type != XML_ELEMENT_NODE) continue;
                const long count = std::atol(Attribute(item, "PostCount").c_str());
                if (count != m_expected[{poll, choice}]) ++mismatches;
                for (xmlNode* user = item->children; user != nullptr; user = user->next)
                    if (user->type == XML_ELEMENT_NODE) ++voterElements;
                pollBallots += count;
                ++choice;
            }
        }
        const long userCount = std::atol(Attribute(record, "UserCount").c_str());
        if (userCount != pollBallots) ++mismatches;
        ballots += pollBallots;
        users += userCount;
    }
    long acknowledged = m_done - m_failed;
    const bool ok =
        mismatches == 0 && ballots == acknowledged && voterElements == acknowledged && m_lost == 0;
    std::printf(
        "CHECK %s acknowledged=%ld counted_ballots=%ld counted_voters=%ld voter_elements=%ld "
        "mismatched_counts=%ld unanswered=%ld\n",
        ok ? "ok" : "FAILED", acknowledged, ballots, users, voterElements, mismatches, m_lost);
    return ok;
}

long Driver::Counted() {
    std::string body;
    if (!ReadList(body)) return -1;
    long total = 0;
    for (auto at = body.find("UserCount=\""); at != std::string::npos;
         at = body.find("UserCount=\"", at + 1))
        total += std::atol(body.c_str() + at + 11);
    return total;
}

int Driver::Run() {
    if (m_options.mode == "setup") {
        if (!SetUpPolls()) return 1;
        std::printf("POLLS");
        for (const auto& id : m_pollIds) std::printf(" %s", id.c_str());
        std::printf("\n");
        return 0;
    }
    if (m_options.mode == "count") {
        const long counted = Counted();
        std::printf("COUNTED %ld\n", counted);
        return counted < 0 ? 1 : 0;
    }
    if (m_options.mode == "ballots" && !SetUpPolls()) {
        std::printf("CHECK FAILED cannot create and open the polls\n");
        return 1;
    }
    m_epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Connection> connections(static_cast<size_t>(m_options.connections));
    const auto start = Clock::now();
    const auto stopSending = start + std::chrono::duration_cast<Clock::duration>(
                                         std::chrono::duration<double>(m_options.seconds));
    for (auto& c : connections) {
        if (!Connect(c)) {
            std::printf("cannot connect to %s:%d\n", m_options.host.c_str(), m_options.port);
            return 1;
        }
        StartNext(c);
    }
    std::vector<epoll_event> events(connections.size());
    Clock::time_point lastAnswer = start;
    for (;;) {
        const auto now = Clock::now();
        if (m_sending && now >= stopSending) m_sending = false;
        bool waiting = false;
        for (const auto& c : connections) waiting = waiting || c.inFlight >= 0;
        if (!waiting) break;
        // Answers still outstanding after the time limit get a short grace period.
        if (!m_sending && now - std::max(lastAnswer, stopSending) > std::chrono::seconds(5)) break;
        const int ready =
            ::epoll_wait(m_epoll, events.data(), static_cast<int>(events.size()), 100);
        for (int i = 0; i < ready; ++i) {
            auto& c = *static_cast<Connection*>(events[static_cast<size_t>(i)].data.ptr);
            const long doneBefore = m_done;
            bool usable = true;
            if (events[static_cast<size_t>(i)].events & EPOLLOUT) usable = Flush(c);
            if (usable && (events[static_cast<size_t>(i)].events &
                           (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)))
                usable = ReadResponses(c);
            if (m_done != doneBefore) lastAnswer = Clock::now();
            if (!usable) {
                // The server closed the connection (its keep-alive limit, or a
                // failure): an unanswered request is not resent, only counted.
                if (c.inFlight >= 0) ++m_lost;
                c.inFlight = -1;
                Close(c);
                if (m_sending && m_next < m_options.requests && Connect(c)) {
                    StartNext(c);
                }
            }
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    for (auto& c : connections) {
        if (c.inFlight >= 0) ++m_lost;
        Close(c);
    }
    ::close(m_epoll);

    std::sort(m_latencyUs.begin(), m_latencyUs.end());
    auto percentile = [&](double p) {
        return m_latencyUs.empty() ? 0
                                   : m_latencyUs[static_cast<size_t>(p * (m_latencyUs.size() - 1))];
    };
    std::printf(
        "RESULT mode=%s connections=%d requests=%ld non200=%ld unanswered=%ld seconds=%.3f "
        "rate=%.0f "
        "p50_us=%d p99_us=%d\n",
        m_options.mode.c_str(), m_options.connections, m_done, m_failed, m_lost, elapsed,
        static_cast<double>(m_done) / elapsed, percentile(0.50), percentile(0.99));
    bool ok = m_failed == 0 && m_lost == 0;
    if (m_options.mode == "ballots") ok = CheckCounts() && ok;
    return ok ? 0 : 1;
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string name = argv[i];
        const std::string value = argv[i + 1];
        if (name == "--mode")
            options.mode = value;
        else if (name == "--host")
            options.host = value;
        else if (name == "--port")
            options.port = std::atoi(value.c_str());
        else if (name == "--path")
            options.path = value;
        else if (name == "--connections")
            options.connections = std::atoi(value.c_str());
        else if (name == "--requests")
            options.requests = std::atol(value.c_str());
        else if (name == "--seconds")
            options.seconds = std::atof(value.c_str());
        else if (name == "--polls")
            options.polls = std::atoi(value.c_str());
        else if (name == "--run")
            options.run = value;
        else if (name == "--fresh")
            options.fresh = value == "1";
        else if (name == "--token-key")
            options.tokenKey = value;
        else if (name == "--token-secret")
            options.tokenSecret = value;
        else
            return false;
    }
    return (argc % 2 == 1) && options.port > 0 && options.connections > 0 && options.requests > 0 &&
           options.polls > 0 && options.seconds > 0 &&
           (options.mode == "ballots" || options.mode == "static" || options.mode == "setup" ||
            options.mode == "count");
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "usage: pollserver_load --port P [--mode ballots|static|setup|count] "
                     "[--host 127.0.0.1] [--path /x]\n"
                     "                       [--connections 64] [--requests N] [--seconds S] "
                     "[--polls N] [--run TAG] [--fresh 0|1]\n"
                     "                       [--token-key PRIVATE.pem | --token-secret FILE]\n");
        return 2;
    }
    std::unique_ptr<JwsKey> key;
    if (!options.tokenKey.empty() || !options.tokenSecret.empty()) {
        std::string reason;
        key = options.tokenKey.empty() ? JwsKey::SecretFile(options.tokenSecret, reason)
                                       : JwsKey::PrivateKeyFile(options.tokenKey, reason);
        if (!key) {
            std::fprintf(stderr, "pollserver_load: %s\n", reason.c_str());
            return 2;
        }
        options.presenterToken =
            *TokenMinter::Mint(*key, {"bench" + options.run, "Bench", "load", "presenter", "",
                                      "quibra", quibra::pollserver::TokenVerifier::Now(), 3600});
    }
    Driver driver(options);
    if (key) driver.MintVoterTokens(*key);
    return driver.Run();
}
