#include "HttpConnection.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "ConnectionGuard.h"
#include "EventLoop.h"
#include "RequestHandler.h"
#include "ServerOptions.h"

namespace quibra::pollserver {

namespace {

// A refused client is read and dropped for this long at most before its connection goes.
constexpr std::int64_t kMaxLingerMs = 5000;
// Bytes of a stream the kernel holds for a client (it reserves twice that at most).
constexpr int kStreamSocketBuffer = 64 * 1024;

}  // namespace

HttpConnection::HttpConnection(EventLoop& loop, int fd, SSL* ssl, int listener, std::string address)
    : m_loop(loop),
      m_fd(fd),
      m_ssl(ssl),
      m_listener(listener),
      m_address(std::move(address)),
      m_phase(ssl != nullptr ? Phase::Handshake : Phase::Head) {}

HttpConnection::~HttpConnection() {
    if (m_phase != Phase::Closed) Close();
}

void HttpConnection::Start() {
    // The head limit runs from the accept, so a handshake that never ends is caught too.
    m_loop.Arm(EventLoop::Limit::Head, *this);
    m_loop.Watch(m_fd, *this);
}

void HttpConnection::Close() {
    if (m_phase == Phase::Closed) return;
    Unwatch();
    Disarm();
    const bool idle = !m_counted;
    if (m_counted) m_loop.RequestEnded();
    m_counted = false;
    m_phase = Phase::Closed;
    if (m_ssl != nullptr) SSL_free(m_ssl);
    // Closing the descriptor takes it out of the epoll set as well.
    ::close(m_fd);
    m_loop.Guard().Release(m_listener, m_address, idle);
    m_loop.Retire(*this);
}

void HttpConnection::OnEvents(std::uint32_t events) {
    if (m_phase == Phase::Closed) return;
    if (m_phase == Phase::Waiting) {
        // Its reply is still being made; the connection goes once it is.
        if (events & (EPOLLHUP | EPOLLERR)) m_peerGone = true;
        return;
    }
    if (events & (EPOLLIN | EPOLLRDHUP | EPOLLHUP | EPOLLERR)) m_drained = false;
    // The client's end comes with no edge of its own once its last bytes were signalled.
    if (events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) m_peerDone = true;
    Advance();
}

void HttpConnection::OnDeadline() {
    if (m_phase == Phase::Streaming) {
        // Quiet for the stream interval: the idle text keeps proxies from closing it.
        if (!m_stalled) SendPiece(m_idleText);
        // Or what waited was not taken within the send limit.
        else
            Abort();
        return;
    }
    // Past the limit of its phase (head, body, sending, lingering): the client is dropped.
    if (m_phase == Phase::Handshake || m_phase == Phase::Head)
        m_loop.Guard().Refused(m_listener, Metrics::Bound::HeadTimeout);
    else if (m_phase == Phase::Body)
        m_loop.Guard().Refused(m_listener, Metrics::Bound::BodyTimeout);
    Close();
}

void HttpConnection::Advance() {
    // A reply given while the phase works (a request answered at once) is
    // written by the loop below rather than from within.
    if (m_inAdvance) return;
    m_inAdvance = true;
    for (bool going = true; going;) {
        switch (m_phase) {
            case Phase::Handshake:
                going = Handshake();
                break;
            case Phase::Head:
            case Phase::Body: {
                if (TakeInput()) break;
                const long n = ReadSome();
                if (n < 0) Close();
                going = n > 0;
                break;
            }
            case Phase::Sending:
                going = Flush();
                if (going) ReplySent();
                break;
            case Phase::Lingering:
                Discard();
                going = false;
                break;
            case Phase::Streaming:
                PumpStream();
                going = false;
                break;
            case Phase::Handling:
            case Phase::Waiting:
            case Phase::Closed:
                going = false;
                break;
        }
    }
    m_inAdvance = false;
}

bool HttpConnection::Handshake() {
    ERR_clear_error();
    const int done = SSL_do_handshake(m_ssl);
    if (done == 1) {
        m_phase = Phase::Head;
        return true;
    }
    const int error = SSL_get_error(m_ssl, done);
    if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) Close();
    return false;
}

bool HttpConnection::TakeInput() {
    return m_phase == Phase::Head ? TakeHead() : TakeBody();
}

bool HttpConnection::TakeHead() {
    // Line breaks between requests are tolerated (some clients end a body with one).
    const auto start = m_in.find_first_not_of("\r\n");
    if (start == std::string::npos) {
        m_in.clear();
        return false;
    }
    if (start > 0) m_in.erase(0, start);
    const auto& options = m_loop.Options();
    switch (m_head.Parse(m_in, {options.maxRequestLine, options.maxHeaderBytes})) {
        case RequestHead::State::Incomplete:
            return false;
        case RequestHead::State::Refused:
            Begin();
            if (m_head.Status() == 414 || m_head.Status() == 431)
                m_loop.Guard().Refused(m_listener, m_head.Status() == 414
                                                       ? Metrics::Bound::RequestLine
                                                       : Metrics::Bound::HeaderBytes);
            Refuse(m_head.Status(), m_head.Status() == 414   ? "request line too long"
                                    : m_head.Status() == 431 ? "request headers too large"
                                    : m_head.Status() == 501 ? "transfer coding not supported"
                                                             : "malformed request");
            return true;
        case RequestHead::State::Complete:
            m_in.erase(0, m_head.HeadBytes());
            break;
    }
    Begin();
    // The bounds of a request head, checked before any of its body is read;
    // a refusal closes the connection so the rest is never read either.
    const auto method = m_head.Method();
    m_headOnly = method == "HEAD";
    if (m_loop.Stopping()) {
        Refuse(503, "server stopping");
        return true;
    }
    if (method != "GET" && method != "HEAD" && method != "POST") {
        Refuse(405, "method not allowed");
        return true;
    }
    if (m_head.ContentLength().value_or(0) > options.maxBodyBytes) {
        m_loop.Guard().Refused(m_listener, Metrics::Bound::BodyBytes);
        Refuse(413, "request body too long");
        return true;
    }
    m_phase = Phase::Body;
    m_loop.Arm(EventLoop::Limit::Body, *this);
    m_chunked = ChunkedBody(options.maxBodyBytes);
    const bool bodyFollows = m_head.BodyFollows();
    if (bodyFollows && m_head.ExpectsContinue() && m_in.empty())
        SendInterim("HTTP/1.1 100 Continue\r\n\r\n");
    if (!bodyFollows) Dispatch();
    return true;
}

bool HttpConnection::TakeBody() {
    if (m_head.Chunked()) {
        std::size_t used = 0;
        const auto state = m_chunked.Feed(m_in, m_body, used);
        m_in.erase(0, used);
        if (state == ChunkedBody::State::NeedMore) return false;
        if (state == ChunkedBody::State::TooLarge) {
            m_loop.Guard().Refused(m_listener, Metrics::Bound::BodyBytes);
            Refuse(413, "request body too long");
            return true;
        }
        if (state == ChunkedBody::State::Malformed) {
            Refuse(400, "malformed chunked body");
            return true;
        }
    } else {
        const auto length = static_cast<std::size_t>(m_head.ContentLength().value_or(0));
        if (m_in.size() < length) return false;
        m_body.assign(m_in, 0, length);
        m_in.erase(0, length);
    }
    Dispatch();
    return true;
}

void HttpConnection::Dispatch() {
    m_phase = Phase::Handling;
    Disarm();
    // A POST carries its fields in the body; a body of another method is dropped.
    if (m_head.Method() != "POST") m_body.clear();
    m_closeAfter = !m_head.KeepAlive();
    m_loop.Handler().Handle(*this, m_head, m_body);
    if (m_phase == Phase::Handling) Refuse(500, "no reply");
}

void HttpConnection::Refuse(int status, const char* message) {
    m_phase = Phase::Handling;
    Disarm();
    m_lingerAfter = true;
    Reply(m_loop.Handler().Error(status, message), true);
}

void HttpConnection::Reply(const HttpReply& reply, bool close) {
    if (m_phase != Phase::Handling && m_phase != Phase::Waiting) return;
    if (m_phase == Phase::Waiting) m_loop.WaitEnded();
    if (close) m_closeAfter = true;
    if (m_peerGone) {
        Close();
        return;
    }
    if (m_outSent == m_out.size()) {
        m_out.clear();
        m_outSent = 0;
    }
    if (!m_head.Http11() && !m_closeAfter) {
        // An HTTP/1.0 client keeps its connection only when told it may.
        HttpReply kept = reply;
        kept.headers.emplace_back("Connection", "keep-alive");
        m_out += kept.Serialize(!m_headOnly, true, m_loop.DateLine());
    } else {
        m_out += reply.Serialize(!m_headOnly, !m_closeAfter, m_loop.DateLine());
    }
    m_phase = Phase::Sending;
    Advance();
}

std::function<void(HttpReply)> HttpConnection::ReplyLater() {
    m_phase = Phase::Waiting;
    m_loop.WaitBegun();
    EventLoop* loop = &m_loop;
    return [loop, this](HttpReply reply) {
        loop->Post([this, reply = std::move(reply)] { Reply(reply); });
    };
}

void HttpConnection::SendInterim(std::string_view bytes) {
    // Out now if the socket takes it, else before the reply.
    m_out.append(bytes);
    Flush();
}

bool HttpConnection::StartStream(const HttpReply& head, StreamWatcher& watcher,
                                 std::string_view idleText) {
    if (m_phase != Phase::Handling) return false;
    // The request is answered: the connection counts as an open, idle one.
    if (m_counted) {
        m_loop.RequestEnded();
        m_loop.Guard().Busy(m_listener, false);
        m_counted = false;
    }
    m_chunkedOut = m_head.Http11();
    m_out += head.StreamHead(m_chunkedOut, m_loop.DateLine());
    if (m_headOnly) {
        m_closeAfter = true;
        m_phase = Phase::Sending;
        Advance();
        return false;
    }
    m_watcher = &watcher;
    m_idleText = idleText;
    // The kernel's share of a stream's backlog is bounded too: a client that
    // stops reading is noticed after kStreamSocketBuffer plus kMaxUnsentStream,
    // not after megabytes of automatically grown buffer.
    ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &kStreamSocketBuffer, sizeof kStreamSocketBuffer);
    m_head.Reset();
    std::string().swap(m_body);
    m_phase = Phase::Streaming;
    FlushStream();
    return true;
}

bool HttpConnection::SendPiece(std::string_view piece, bool bounded) {
    if (m_phase != Phase::Streaming) return false;
    std::string frame;
    if (m_chunkedOut) {
        char size[24];
        const int length = std::snprintf(size, sizeof size, "%zx\r\n", piece.size());
        frame.append(size, static_cast<std::size_t>(length));
    }
    frame += piece;
    if (m_chunkedOut) frame += "\r\n";
    if (bounded && m_out.size() - m_outSent + frame.size() > kMaxUnsentStream) {
        m_loop.Guard().Refused(m_listener, Metrics::Bound::StreamQueue);
        Abort();
        return false;
    }
    // What the client took is dropped before more is queued.
    if (m_outSent > 0) {
        m_out.erase(0, m_outSent);
        m_outSent = 0;
    }
    m_out += frame;
    // A stalled stream is flushed by the client's next read (the socket's next edge).
    if (!m_stalled) FlushStream();
    return m_phase == Phase::Streaming;
}

void HttpConnection::EndStream() {
    if (m_phase != Phase::Streaming) return;
    Unwatch();
    if (m_chunkedOut) {
        if (m_outSent > 0) {
            m_out.erase(0, m_outSent);
            m_outSent = 0;
        }
        m_out += "0\r\n\r\n";
    }
    Disarm();
    m_stalled = false;
    m_closeAfter = true;
    m_phase = Phase::Sending;
    Advance();
}

void HttpConnection::PumpStream() {
    // A stream's client has nothing more to say: what it sends is dropped,
    // and its end (or a broken connection) ends the stream.
    for (;;) {
        const long n = ReadSome();
        if (n < 0) {
            Close();
            return;
        }
        if (n == 0) break;
        m_in.clear();
    }
    if (m_in.capacity() > 0) std::string().swap(m_in);
    if (m_peerDone) {
        Close();
        return;
    }
    if (m_outSent < m_out.size()) FlushStream();
}

void HttpConnection::FlushStream() {
    if (Flush()) {
        // All out: nothing is held while the stream is quiet.
        std::string().swap(m_out);
        m_stalled = false;
        m_loop.Arm(EventLoop::Limit::Stream, *this);
    } else if (m_phase == Phase::Streaming && !m_stalled) {
        // The client takes what waits within the send limit, or is dropped.
        m_stalled = true;
        m_loop.Arm(EventLoop::Limit::Send, *this);
    }
}

void HttpConnection::Abort() {
    // A reset rather than an orderly end: what still waits for this client
    // is of no use to it, and the kernel frees it at once.
    const linger reset{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    Close();
}

void HttpConnection::Unwatch() {
    if (m_watcher == nullptr) return;
    StreamWatcher* watcher = m_watcher;
    m_watcher = nullptr;
    watcher->StreamEnded();
}

long HttpConnection::ReadSome() {
    if (m_drained) return 0;
    auto& buffer = m_loop.ReadBuffer();
    if (m_ssl != nullptr) {
        ERR_clear_error();
        const int n = SSL_read(m_ssl, buffer.data(), static_cast<int>(buffer.size()));
        if (n > 0) {
            m_in.append(buffer.data(), static_cast<std::size_t>(n));
            return n;
        }
        const int error = SSL_get_error(m_ssl, n);
        return error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE ? 0 : -1;
    }
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            m_in.append(buffer.data(), static_cast<std::size_t>(n));
            // Less than asked for: the socket is empty, and a new edge comes
            // with new bytes (but not with the end the client signalled already).
            m_drained = !m_peerDone && static_cast<std::size_t>(n) < buffer.size();
            return n;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            m_drained = true;
            return 0;
        }
        return -1;
    }
}

bool HttpConnection::Flush() {
    while (m_outSent < m_out.size()) {
        const char* data = m_out.data() + m_outSent;
        const std::size_t left = m_out.size() - m_outSent;
        if (m_ssl != nullptr) {
            ERR_clear_error();
            const int n = SSL_write(m_ssl, data, static_cast<int>(left));
            if (n > 0) {
                m_outSent += static_cast<std::size_t>(n);
                continue;
            }
            const int error = SSL_get_error(m_ssl, n);
            if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) {
                Close();
                return false;
            }
        } else {
            const ssize_t n = ::send(m_fd, data, left, MSG_NOSIGNAL);
            if (n > 0) {
                m_outSent += static_cast<std::size_t>(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
                Close();
                return false;
            }
        }
        // The client takes its reply within the body limit.
        if (m_phase == Phase::Sending && !Armed()) m_loop.Arm(EventLoop::Limit::Send, *this);
        return false;
    }
    m_out.clear();
    m_outSent = 0;
    return true;
}

void HttpConnection::Begin() {
    m_loop.RequestBegun();
    m_counted = true;
    m_loop.Guard().Busy(m_listener, true);
}

void HttpConnection::ReplySent() {
    Disarm();
    if (m_counted) {
        m_loop.RequestEnded();
        m_loop.Guard().Busy(m_listener, false);
    }
    m_counted = false;
    if (m_lingerAfter) {
        Linger();
        return;
    }
    if (m_closeAfter) {
        // A closing alert, if the socket takes it now; nothing waits for the client's.
        if (m_ssl != nullptr) SSL_shutdown(m_ssl);
        Close();
        return;
    }
    // The next request: what followed this one is already in m_in.
    if (m_in.empty()) std::string().swap(m_in);
    std::string().swap(m_body);
    std::string().swap(m_out);
    m_head.Reset();
    m_headOnly = false;
    m_phase = Phase::Head;
    m_loop.Arm(EventLoop::Limit::Head, *this);
}

void HttpConnection::Linger() {
    // The reply is out; the client sees the end at once, and what it still
    // sends is read and dropped so its unread bytes do not reset the
    // connection before it has read the reply.
    if (m_ssl != nullptr) SSL_shutdown(m_ssl);
    ::shutdown(m_fd, SHUT_WR);
    std::string().swap(m_in);
    std::string().swap(m_body);
    m_phase = Phase::Lingering;
    m_lingerUntil = m_loop.Now() + kMaxLingerMs;
    m_loop.Arm(EventLoop::Limit::Linger, *this);
    Discard();
}

void HttpConnection::Discard() {
    auto& buffer = m_loop.ReadBuffer();
    for (;;) {
        const ssize_t n = ::recv(m_fd, buffer.data(), buffer.size(), 0);
        if (n > 0) {
            if (m_loop.Now() < m_lingerUntil) m_loop.Arm(EventLoop::Limit::Linger, *this);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        Close();
        return;
    }
}

}  // namespace quibra::pollserver
