#include "EventStreamEndpoint.h"

#include <cstdint>
#include <exception>

#include "EventHub.h"
#include "FormFields.h"
#include "HttpConnection.h"
#include "PollStore.h"
#include "RequestHead.h"
#include "TokenVerifier.h"

namespace quibra::pollserver {

std::optional<PollService::Reply> EventStreamEndpoint::Open(HttpConnection& connection,
                                                            const RequestHead& head,
                                                            std::string_view query) {
    FormFields fields;
    std::string reason;
    if (!fields.Parse(query, reason)) return PollService::Error(400, reason);
    const auto module = fields.Get("modulename");
    if (!module || module->empty()) return PollService::Error(400, "missing modulename");
    std::string user = fields.Get("userid").value_or(std::string());
    if (m_verifier != nullptr) {
        const auto claims =
            m_verifier->VerifyHeader(head.Header("Authorization"), TokenVerifier::Now());
        if (!claims) return PollService::Unauthorized();
        if (claims->module != *module)
            return PollService::Error(403, "modulename is not the token's module");
        user = claims->user;
    }
    // A malformed id is not kept either: the subscriber starts over.
    std::optional<std::int64_t> after;
    if (const auto last = head.Header("Last-Event-ID"))
        after = FormFields::ParseNumber(*last, 1, INT64_MAX).value_or(-1);

    // Subscribed before the log is read: an event committed after the read
    // comes from the hub, one committed before it from the log, and the
    // subscriber's position keeps either from coming twice.
    auto* subscriber = m_hub.Subscribe(connection, *module, user);
    if (subscriber == nullptr) return PollService::Error(503, "server stopping");
    EventBacklog backlog;
    StoreOutcome outcome = StoreOutcome::Failed;
    try {
        outcome = m_store.ReadEvents(*module, after, backlog);
    } catch (const std::exception&) {
    }
    if (outcome != StoreOutcome::Done) {
        subscriber->Cancel();
        return outcome == StoreOutcome::Busy ? PollService::Error(503, "storage busy, try again")
                                             : PollService::Error(500, "storage failure");
    }
    // Nothing reaches the subscriber before this thread is done here.
    subscriber->Started(backlog.newest);
    const HttpReply streamHead{200, "text/event-stream", {}, {{"X-Accel-Buffering", "no"}}};
    if (!connection.StartStream(streamHead, *subscriber, kKeepAlive)) {
        subscriber->Cancel();
        return std::nullopt;
    }
    // From here the subscriber belongs to the connection, which may end at any send.
    if (backlog.resync)
        connection.SendPiece(StreamEvent::Frame(backlog.newest, "resync", ""), false);
    if (!after || backlog.resync) {
        std::string open;
        for (const auto id : backlog.openPolls)
            open += (open.empty() ? "" : ",") + std::to_string(id);
        connection.SendPiece(StreamEvent::Frame(backlog.newest, "open", open), false);
    }
    for (const auto& event : backlog.events)
        if (event.SeenBy(user)) connection.SendPiece(event.Frame(), false);
    return std::nullopt;
}

}  // namespace quibra::pollserver
