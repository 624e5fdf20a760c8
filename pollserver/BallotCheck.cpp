#include "BallotCheck.h"

#include <algorithm>
#include <mutex>

namespace quibra::pollserver {

std::optional<StoreOutcome> BallotCheck::Verdict(const Poll& poll, const Ballot& ballot) {
    if (poll.status != 'O') return StoreOutcome::Conflict;
    const auto& names = ballot.choiceNames;
    if (names.empty() || (poll.type == 'S' && names.size() != 1)) return StoreOutcome::BadBallot;
    std::uint64_t named = 0;  // a poll has 64 choices at most
    for (const auto& name : names) {
        const auto at = std::find(poll.choices.begin(), poll.choices.end(), name);
        const auto position = at - poll.choices.begin();
        if (at == poll.choices.end() || position >= 64) return StoreOutcome::BadBallot;
        const std::uint64_t bit = std::uint64_t{1} << position;
        if ((named & bit) != 0) return StoreOutcome::BadBallot;  // one choice named twice
        named |= bit;
    }
    return std::nullopt;
}

std::optional<StoreOutcome> BallotCheck::Refusal(const Ballot& ballot) {
    std::uint64_t changes = 0;
    {
        std::shared_lock lock(m_mutex);
        if (const auto found = m_polls.find(ballot.pollId); found != m_polls.end())
            return Verdict(found->second, ballot);
        changes = m_changes;
    }
    std::vector<PollView> read;
    if (m_store.FindPolls({ballot.pollId}, {}, PollDetail::Choices, read) != StoreOutcome::Done ||
        read.empty())
        return std::nullopt;
    Poll poll{read.front().status, read.front().type, {}};
    for (auto& choice : read.front().choices) poll.choices.push_back(std::move(choice.name));
    auto verdict = Verdict(poll, ballot);
    std::unique_lock lock(m_mutex);
    if (m_changes == changes) {
        if (m_polls.size() >= kMaxPollsKept) m_polls.clear();
        m_polls.emplace(ballot.pollId, std::move(poll));
    }
    return verdict;
}

void BallotCheck::Changed(const std::vector<std::int64_t>& pollIds) {
    std::unique_lock lock(m_mutex);
    ++m_changes;
    for (const auto id : pollIds) m_polls.erase(id);
}

}  // namespace quibra::pollserver
