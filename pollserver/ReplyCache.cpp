#include "ReplyCache.h"

namespace quibra::pollserver {

ReplyCache::Stamp ReplyCache::Take(const std::vector<std::int64_t>& pollIds) const {
    Stamp stamp;
    stamp.polls = m_polls.load(std::memory_order_acquire);
    stamp.ballots.reserve(pollIds.size());
    for (const auto id : pollIds) stamp.ballots.push_back(Slot(id).load(std::memory_order_acquire));
    return stamp;
}

bool ReplyCache::Current(const std::vector<std::int64_t>& pollIds, const Stamp& stamp) const {
    if (m_polls.load(std::memory_order_acquire) != stamp.polls) return false;
    for (std::size_t i = 0; i < pollIds.size(); ++i)
        if (Slot(pollIds[i]).load(std::memory_order_acquire) != stamp.ballots[i]) return false;
    return true;
}

ReplyCache::Lookup ReplyCache::Find(const std::string& key,
                                    const std::vector<std::int64_t>* pollIds) const {
    Lookup lookup;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_entries.find(key);
        if (found != m_entries.end()) {
            const Entry& entry = found->second;
            if (entry.body && (pollIds == nullptr || *pollIds == entry.pollIds) &&
                Current(entry.pollIds, entry.stamp)) {
                lookup.body = entry.body;
                return lookup;
            }
            if (pollIds == nullptr) lookup.pollIds = entry.pollIds;
        }
    }
    if (pollIds != nullptr) lookup.pollIds = *pollIds;
    lookup.stamp = Take(lookup.pollIds);
    return lookup;
}

void ReplyCache::Keep(const std::string& key, const std::vector<std::int64_t>& shownIds,
                      Lookup lookup, std::shared_ptr<const std::string> body) {
    Entry entry;
    if (shownIds == lookup.pollIds) {
        entry = Entry{std::move(lookup.pollIds), std::move(lookup.stamp), std::move(body)};
    } else {
        entry.pollIds = shownIds;
    }
    std::lock_guard lock(m_mutex);
    // Bounded: past the bound everything goes, and the replies in demand come back.
    if (m_entries.size() >= m_maxEntries && m_entries.count(key) == 0) m_entries.clear();
    m_entries[key] = std::move(entry);
}

}  // namespace quibra::pollserver
