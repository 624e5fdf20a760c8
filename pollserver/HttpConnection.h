#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ChunkedBody.h"
#include "DeadlineList.h"
#include "HttpReply.h"
#include "RequestHead.h"

typedef struct ssl_st SSL;

namespace quibra::pollserver {

class EventLoop;

// One client connection, plain or TLS, driven by its event loop's edge
// events: the handshake, the request head, the body, the reply, then the next
// request or the end. Memory is held only while a request is in progress: an
// idle connection keeps its socket, its TLS state (with no buffers) and this
// object. Every phase that waits on the client runs a time limit (head,
// body, sending); a request being answered runs none.
//
// A reply can come later, from any thread (a ballot waits for its commit):
// ReplyLater gives a function that hands the reply to the event thread, and
// the connection lives until it came. Everything else is event thread only.
//
// A reply can also be a stream (StartStream): its head, then pieces of its
// body for as long as the connection lives. A stream is exempt from the head
// limit but not from the connection bounds; bytes it cannot send at once wait,
// up to kMaxUnsentStream, and must be taken within the send limit, else the
// connection goes. A stream quiet for the loop's stream interval is sent its
// idle text. Nothing is buffered while it is quiet.
class HttpConnection final : public DeadlineList::Entry {
public:
    // Told, on the event thread, when a stream's connection ends or the
    // stream ends at a stop; no piece is taken after that.
    class StreamWatcher {
    public:
        virtual void StreamEnded() = 0;

    protected:
        ~StreamWatcher() = default;
    };
    static constexpr std::size_t kMaxUnsentStream = 256 * 1024;

    // `ssl` null: plain HTTP. Takes ownership of `fd` and `ssl`.
    HttpConnection(EventLoop& loop, int fd, SSL* ssl, int listener, std::string address);
    ~HttpConnection();
    HttpConnection(const HttpConnection&) = delete;
    HttpConnection& operator=(const HttpConnection&) = delete;

    void Start();
    void OnEvents(std::uint32_t events);
    void OnDeadline() override;

    // Answers the request being handled. `close` ends the connection after it.
    void Reply(const HttpReply& reply, bool close = false);
    // The reply comes later through the returned function, callable from any
    // thread exactly once.
    std::function<void(HttpReply)> ReplyLater();
    // Answers the request being handled with a stream: `head`'s status, type
    // and extra headers, a body in chunks (HTTP/1.0: until the connection
    // ends). `idleText` must live as long as the connection. False when no
    // stream follows (a HEAD request: the head alone; `watcher` is never told).
    bool StartStream(const HttpReply& head, StreamWatcher& watcher, std::string_view idleText);
    // Sends a piece of the stream's body. False when the stream is gone; also
    // when `bounded` and the piece would leave over kMaxUnsentStream unsent
    // (the connection goes: its client does not keep up).
    bool SendPiece(std::string_view piece, bool bounded = true);
    // Ends a stream cleanly (the last chunk), then the connection; no-op otherwise.
    void EndStream();
    EventLoop& Loop() { return m_loop; }
    // Ends the connection now (the loop stops); a connection waiting for a reply is kept.
    void Close();
    bool Waiting() const { return m_phase == Phase::Waiting; }
    // The number of the listener that accepted it.
    int Listener() const { return m_listener; }

private:
    enum class Phase {
        Handshake,
        Head,
        Body,
        Handling,
        Waiting,
        Sending,
        Streaming,
        Lingering,
        Closed
    };

    void Advance();
    bool Handshake();
    // Works on the bytes already read; true when the phase moved on.
    bool TakeInput();
    bool TakeHead();
    bool TakeBody();
    void Dispatch();
    // A request head is in: counted among the requests in progress.
    void Begin();
    void Refuse(int status, const char* message);
    // Reads what the socket has into m_in: bytes read, 0 when it would block, -1 when closed.
    long ReadSome();
    // Writes m_out: true when all is out; false when it would block or the connection broke.
    bool Flush();
    void ReplySent();
    void Linger();
    void Discard();
    void SendInterim(std::string_view bytes);
    // A stream: drops what the client sends, ends with the client, sends what waits.
    void PumpStream();
    void FlushStream();
    // Drops a stream's client that does not keep up.
    void Abort();
    void Unwatch();

    EventLoop& m_loop;
    const int m_fd;
    SSL* const m_ssl;
    const int m_listener;
    const std::string m_address;
    Phase m_phase;
    bool m_inAdvance = false;
    bool m_drained = false;      // plain: the last read took all the socket had
    bool m_peerDone = false;     // the client sends no more (or the connection broke)
    bool m_peerGone = false;     // hung up while its reply was being made
    bool m_closeAfter = false;   // the connection ends once the reply is out
    bool m_lingerAfter = false;  // ... after reading and dropping what the client still sends
    bool m_counted = false;      // counted among the loop's requests in progress
    bool m_headOnly = false;     // a HEAD request: the reply without its body
    bool m_chunkedOut = false;   // a stream's body goes in chunks
    bool m_stalled = false;      // a stream's bytes wait for the client (the send limit runs)
    StreamWatcher* m_watcher = nullptr;
    std::string_view m_idleText;
    std::int64_t m_lingerUntil = 0;
    std::string m_in;   // bytes read and not yet taken
    std::string m_out;  // bytes to write
    std::size_t m_outSent = 0;
    RequestHead m_head;
    std::string m_body;
    ChunkedBody m_chunked{0};
};

}  // namespace quibra::pollserver
