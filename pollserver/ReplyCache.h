#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace quibra::pollserver {

// Result replies that many attendees fetch at the same moment (the published
// results right after "publish", the presenter's list) are built once per
// change and served from memory until one of their polls changes.
//
// Every change is counted when it is acknowledged: a change of any poll's
// definition, status or existence moves the shared generation, a ballot moves
// the generation of its poll's slot. A reply is kept with the generations read
// before its polls were read, and served only while all of them are unchanged,
// so a client that saw a change acknowledged never gets a reply from before it.
class ReplyCache {
public:
    // What a reply depends on, taken before the store is read.
    struct Stamp {
        std::uint64_t polls = 0;
        std::vector<std::uint64_t> ballots;  // one per poll id in Lookup::pollIds
    };
    struct Lookup {
        std::shared_ptr<const std::string> body;  // the kept reply, or null: build it
        std::vector<std::int64_t> pollIds;        // the polls the reply is taken to show
        Stamp stamp;
    };

    explicit ReplyCache(std::size_t maxEntries = 4096) : m_maxEntries(maxEntries) {}

    void PollsChanged() { m_polls.fetch_add(1, std::memory_order_release); }
    void BallotCast(std::int64_t pollId) { Slot(pollId).fetch_add(1, std::memory_order_release); }

    // The kept reply for `key` when none of its polls changed since it was built;
    // otherwise the stamp to build it under. `pollIds` names the polls a reply
    // may show when the request says so; a list's polls are known only once
    // read, and are taken to be those of its last reply.
    Lookup Find(const std::string& key, const std::vector<std::int64_t>* pollIds) const;
    // Keeps a reply built after `lookup`. `shownIds` are the polls it shows: when
    // they are not the ones the stamp covers, only they are kept, for the next build.
    void Keep(const std::string& key, const std::vector<std::int64_t>& shownIds, Lookup lookup,
              std::shared_ptr<const std::string> body);

private:
    struct Entry {
        std::vector<std::int64_t> pollIds;
        Stamp stamp;
        std::shared_ptr<const std::string> body;  // null: only the polls are known
    };
    // Ballots are counted in slots: two polls sharing one only cost a rebuild.
    static constexpr std::size_t kSlots = 4096;
    std::atomic<std::uint64_t>& Slot(std::int64_t pollId) const {
        return m_ballots[static_cast<std::uint64_t>(pollId) % kSlots];
    }
    Stamp Take(const std::vector<std::int64_t>& pollIds) const;
    bool Current(const std::vector<std::int64_t>& pollIds, const Stamp& stamp) const;

    const std::size_t m_maxEntries;
    std::atomic<std::uint64_t> m_polls{0};
    mutable std::array<std::atomic<std::uint64_t>, kSlots> m_ballots{};
    mutable std::mutex m_mutex;
    std::unordered_map<std::string, Entry> m_entries;  // guarded by m_mutex
};

}  // namespace quibra::pollserver
