#pragma once

#include <cstdint>

namespace quibra::pollserver {

// The connections of one event loop that share one time limit (the head
// limit, the body limit, ...), in the order their limits run out: every entry
// gets the same duration, so appending keeps the list sorted and arming,
// moving and expiring an entry cost no search. Event thread only.
class DeadlineList {
public:
    // What is put on a list; on at most one list at a time.
    class Entry {
    public:
        virtual void OnDeadline() = 0;
        // Off whatever list it is on.
        void Disarm();
        bool Armed() const { return m_list != nullptr; }

    protected:
        ~Entry() { Disarm(); }

    private:
        friend class DeadlineList;
        Entry* m_prev = nullptr;
        Entry* m_next = nullptr;
        DeadlineList* m_list = nullptr;
        std::int64_t m_due = 0;
    };

    explicit DeadlineList(std::int64_t durationMs = 0) : m_duration(durationMs) {}
    DeadlineList(const DeadlineList&) = delete;
    DeadlineList& operator=(const DeadlineList&) = delete;

    void SetDuration(std::int64_t durationMs) { m_duration = durationMs; }
    // Moves `entry` to the end of this list, due `now` plus the duration.
    void Arm(Entry& entry, std::int64_t now);
    // When the first entry is due; -1 when the list is empty.
    std::int64_t NextDue() const { return m_first != nullptr ? m_first->m_due : -1; }
    // Calls OnDeadline of every entry due by `now`, each taken off the list first.
    void Expire(std::int64_t now);

private:
    void Remove(Entry& entry);

    std::int64_t m_duration;
    Entry* m_first = nullptr;
    Entry* m_last = nullptr;
};

}  // namespace quibra::pollserver
