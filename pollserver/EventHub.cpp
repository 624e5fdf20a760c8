#include "EventHub.h"

#include <algorithm>

#include "EventLoop.h"

namespace quibra::pollserver {

namespace {

std::string AuthorKey(const std::string& module, const std::string& user) {
    return module + '\0' + user;
}

}  // namespace

struct EventHub::Shard {
    EventLoop* loop = nullptr;
    std::size_t count = 0;  // guarded by the hub's mutex
    // The loop's thread only. Every subscriber by module; those that named
    // a user also by module and user, so a ballot finds its author's streams
    // without looking at a conference's other thousands.
    std::unordered_map<std::string, std::vector<std::unique_ptr<Subscriber>>> byModule;
    std::unordered_map<std::string, std::vector<Subscriber*>> byAuthor;
    bool delivering = false;  // ended subscribers are removed after the delivery
    bool ended = false;       // ... and there are some
};

EventHub::EventHub() = default;
EventHub::~EventHub() = default;

void EventHub::Attach(EventLoop& loop) {
    auto shard = std::make_unique<Shard>();
    shard->loop = &loop;
    std::lock_guard lock(m_mutex);
    m_shards.push_back(std::move(shard));
}

void EventHub::Detach(EventLoop& loop) {
    std::lock_guard lock(m_mutex);
    // Tasks posted to the loop and never run go with the loop; they name the shard only.
    std::erase_if(m_shards, [&](const auto& shard) { return shard->loop == &loop; });
}

void EventHub::Publish(StreamEvents events) {
    if (!events || events->empty()) return;
    std::lock_guard lock(m_mutex);
    for (auto& shard : m_shards) {
        if (shard->count == 0) continue;
        Shard* target = shard.get();
        target->loop->Post([target, events] { Deliver(*target, *events); });
    }
}

EventHub::Subscriber* EventHub::Subscribe(HttpConnection& connection, std::string module,
                                          std::string user) {
    Shard* shard = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (auto& candidate : m_shards)
            if (candidate->loop == &connection.Loop()) shard = candidate.get();
        if (shard == nullptr) return nullptr;
        ++shard->count;
    }
    auto subscriber =
        std::make_unique<Subscriber>(*this, *shard, connection, std::move(module), std::move(user));
    auto* added = subscriber.get();
    if (!added->User().empty())
        shard->byAuthor[AuthorKey(added->Module(), added->User())].push_back(added);
    shard->byModule[added->Module()].push_back(std::move(subscriber));
    return added;
}

void EventHub::Deliver(Shard& shard, const std::vector<StreamEvent>& events) {
    shard.delivering = true;
    for (const auto& event : events) {
        // A ballot goes to its author's streams only; the rest to the module's.
        std::vector<Subscriber*>* authors = nullptr;
        std::vector<std::unique_ptr<Subscriber>>* everyone = nullptr;
        if (event.kind == "ballot") {
            const auto found = shard.byAuthor.find(AuthorKey(event.module, event.author));
            if (found == shard.byAuthor.end()) continue;
            authors = &found->second;
        } else {
            const auto found = shard.byModule.find(event.module);
            if (found == shard.byModule.end()) continue;
            everyone = &found->second;
        }
        const std::string frame = event.Frame();
        // Indexed: a subscriber that ends meanwhile stays in place until the delivery is over.
        const std::size_t count = authors != nullptr ? authors->size() : everyone->size();
        for (std::size_t i = 0; i < count; ++i)
            (authors != nullptr ? (*authors)[i] : (*everyone)[i].get())->Deliver(event, frame);
    }
    shard.delivering = false;
    if (!shard.ended) return;
    shard.ended = false;
    const auto gone = [](const Subscriber* subscriber) {
        return subscriber->m_connection == nullptr;
    };
    // The index first: its entries point at the subscribers the module's lists own.
    for (auto it = shard.byAuthor.begin(); it != shard.byAuthor.end();) {
        std::erase_if(it->second, gone);
        it = it->second.empty() ? shard.byAuthor.erase(it) : std::next(it);
    }
    for (auto it = shard.byModule.begin(); it != shard.byModule.end();) {
        std::erase_if(it->second, [&](const auto& subscriber) { return gone(subscriber.get()); });
        it = it->second.empty() ? shard.byModule.erase(it) : std::next(it);
    }
}

void EventHub::Remove(Subscriber& subscriber) {
    Shard& shard = subscriber.m_shard;
    {
        std::lock_guard lock(m_mutex);
        --shard.count;
    }
    subscriber.m_connection = nullptr;
    if (shard.delivering) {
        shard.ended = true;
        return;
    }
    if (!subscriber.m_user.empty()) {
        const auto author = shard.byAuthor.find(AuthorKey(subscriber.m_module, subscriber.m_user));
        if (author != shard.byAuthor.end()) {
            std::erase(author->second, &subscriber);
            if (author->second.empty()) shard.byAuthor.erase(author);
        }
    }
    const auto found = shard.byModule.find(subscriber.m_module);
    if (found == shard.byModule.end()) return;
    auto& list = found->second;
    // Destroys the subscriber: nothing of it is touched after this.
    std::erase_if(list, [&](const auto& entry) { return entry.get() == &subscriber; });
    if (list.empty()) shard.byModule.erase(found);
}

EventHub::Subscriber::Subscriber(EventHub& hub, Shard& shard, HttpConnection& connection,
                                 std::string module, std::string user)
    : m_hub(hub),
      m_shard(shard),
      m_connection(&connection),
      m_module(std::move(module)),
      m_user(std::move(user)) {}

void EventHub::Subscriber::Started(std::int64_t position) {
    m_position = position;
    m_started = true;
}

void EventHub::Subscriber::Cancel() {
    if (m_connection != nullptr) m_hub.Remove(*this);
}

void EventHub::Subscriber::StreamEnded() {
    if (m_connection != nullptr) m_hub.Remove(*this);
}

void EventHub::Subscriber::Deliver(const StreamEvent& event, const std::string& frame) {
    if (m_connection == nullptr || !m_started || event.id <= m_position) return;
    m_position = event.id;
    if (!event.SeenBy(m_user)) return;
    m_connection->SendPiece(frame);
}

}  // namespace quibra::pollserver
