#include "ConnectionGuard.h"

namespace quibra::pollserver {

ConnectionGuard::Admission ConnectionGuard::Admit(int listener, const std::string& address) {
    std::lock_guard lock(m_mutex);
    if (m_open.load(std::memory_order_relaxed) >= m_maxConnections) return Admission::OverTotal;
    if (m_perAddress.size() <= static_cast<std::size_t>(listener))
        m_perAddress.resize(static_cast<std::size_t>(listener) + 1);
    auto& count = m_perAddress[static_cast<std::size_t>(listener)][address];
    // At least one connection is allowed, so a refused address always has an entry.
    if (count >= m_maxPerAddress) return Admission::OverPerAddress;
    ++count;
    m_open.fetch_add(1, std::memory_order_relaxed);
    return Admission::Admitted;
}

void ConnectionGuard::Release(int listener, const std::string& address) {
    std::lock_guard lock(m_mutex);
    auto& counts = m_perAddress[static_cast<std::size_t>(listener)];
    const auto found = counts.find(address);
    if (found != counts.end() && --found->second == 0) counts.erase(found);
    m_open.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace quibra::pollserver
