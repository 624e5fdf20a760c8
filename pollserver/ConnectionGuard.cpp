#include "ConnectionGuard.h"

#include <algorithm>

namespace quibra::pollserver {

ConnectionGuard::Listener& ConnectionGuard::At(int listener) {
    if (m_listeners.size() <= static_cast<std::size_t>(listener))
        m_listeners.resize(static_cast<std::size_t>(listener) + 1);
    return m_listeners[static_cast<std::size_t>(listener)];
}

const ConnectionGuard::Listener* ConnectionGuard::Find(int listener) const {
    return listener >= 0 && static_cast<std::size_t>(listener) < m_listeners.size()
               ? &m_listeners[static_cast<std::size_t>(listener)]
               : nullptr;
}

bool ConnectionGuard::Counted(int listener) const {
    const auto* found = Find(listener);
    return found == nullptr || !found->exempt;
}

void ConnectionGuard::NameListener(int listener, const std::string& name) {
    const auto slot = Metrics::Global().ListenerSlot(name);
    std::lock_guard lock(m_mutex);
    const bool first =
        std::none_of(m_listeners.begin(), m_listeners.end(), [](auto& l) { return l.named; });
    auto& named = At(listener);
    named.slot = slot;
    named.named = true;
    if (first) m_firstSlot = slot;
}

void ConnectionGuard::Exempt(int listener) {
    std::lock_guard lock(m_mutex);
    At(listener).exempt = true;
}

ConnectionGuard::Admission ConnectionGuard::Admit(int listener, const std::string& address) {
    if (!Counted(listener)) return Admission::Admitted;
    auto& metrics = Metrics::Global();
    std::size_t slot = 0;
    {
        std::lock_guard lock(m_mutex);
        if (m_open.load(std::memory_order_relaxed) >= m_maxConnections) {
            metrics.Refused(Metrics::Bound::MaxConnections);
            return Admission::OverTotal;
        }
        if (m_perAddress.size() <= static_cast<std::size_t>(listener))
            m_perAddress.resize(static_cast<std::size_t>(listener) + 1);
        auto& count = m_perAddress[static_cast<std::size_t>(listener)][address];
        // At least one connection is allowed, so a refused address always has an entry.
        if (count >= m_maxPerAddress) {
            metrics.Refused(Metrics::Bound::MaxPerAddress);
            return Admission::OverPerAddress;
        }
        ++count;
        m_open.fetch_add(1, std::memory_order_relaxed);
        const auto* found = Find(listener);
        slot = found != nullptr && found->named ? found->slot : m_firstSlot;
    }
    metrics.ConnectionOpened(slot);
    metrics.ConnectionIdle(true);
    return Admission::Admitted;
}

void ConnectionGuard::Release(int listener, const std::string& address, bool idle) {
    if (!Counted(listener)) return;
    std::size_t slot = 0;
    {
        std::lock_guard lock(m_mutex);
        auto& counts = m_perAddress[static_cast<std::size_t>(listener)];
        const auto found = counts.find(address);
        if (found != counts.end() && --found->second == 0) counts.erase(found);
        m_open.fetch_sub(1, std::memory_order_relaxed);
        const auto* named = Find(listener);
        slot = named != nullptr && named->named ? named->slot : m_firstSlot;
    }
    Metrics::Global().ConnectionClosed(slot);
    if (idle) Metrics::Global().ConnectionIdle(false);
}

void ConnectionGuard::Busy(int listener, bool busy) {
    if (Counted(listener)) Metrics::Global().ConnectionIdle(!busy);
}

void ConnectionGuard::Refused(int listener, Metrics::Bound bound) {
    if (Counted(listener)) Metrics::Global().Refused(bound);
}

}  // namespace quibra::pollserver
