#pragma once

#include <optional>
#include <string_view>

#include "PollService.h"

namespace quibra::pollserver {

class EventHub;
class HttpConnection;
class PollStore;
class RequestHead;
class TokenVerifier;

// GET /quibra/v1/events?modulename=M: a module's committed changes as
// Server-Sent Events. A new subscriber first gets one "open" frame of the
// module's open polls, its id the newest of the log; one that sends
// Last-Event-ID gets the module's events after it from the log, or, when that
// id is not kept (or unknown, or malformed), "resync" and then the "open"
// frame. Later events come from the hub. Ballots go to the poll's author only:
// the token's user with tokens, else the "userid" field, taken on trust.
// With tokens, a stream needs a token of its module (either role).
class EventStreamEndpoint {
public:
    static constexpr const char* kPath = "/quibra/v1/events";
    static constexpr std::string_view kKeepAlive = ": keep-alive\n\n";

    // `verifier` null: tokens are off. All must outlive the endpoint.
    EventStreamEndpoint(PollStore& store, EventHub& hub, TokenVerifier* verifier)
        : m_store(store), m_hub(hub), m_verifier(verifier) {}

    EventHub& Hub() { return m_hub; }
    // Event thread: starts the stream on `connection`, or gives the error to reply with.
    std::optional<PollService::Reply> Open(HttpConnection& connection, const RequestHead& head,
                                           std::string_view query);

private:
    PollStore& m_store;
    EventHub& m_hub;
    TokenVerifier* const m_verifier;
};

}  // namespace quibra::pollserver
