#include "DeadlineList.h"

namespace quibra::pollserver {

void DeadlineList::Entry::Disarm() {
    if (m_list != nullptr) m_list->Remove(*this);
}

void DeadlineList::Remove(Entry& entry) {
    (entry.m_prev != nullptr ? entry.m_prev->m_next : m_first) = entry.m_next;
    (entry.m_next != nullptr ? entry.m_next->m_prev : m_last) = entry.m_prev;
    entry.m_prev = entry.m_next = nullptr;
    entry.m_list = nullptr;
}

void DeadlineList::Arm(Entry& entry, std::int64_t now) {
    entry.Disarm();
    entry.m_due = now + m_duration;
    entry.m_list = this;
    entry.m_prev = m_last;
    (m_last != nullptr ? m_last->m_next : m_first) = &entry;
    m_last = &entry;
}

void DeadlineList::Expire(std::int64_t now) {
    while (m_first != nullptr && m_first->m_due <= now) {
        Entry& entry = *m_first;
        Remove(entry);
        entry.OnDeadline();
    }
}

}  // namespace quibra::pollserver
