#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <shared_mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "PollStore.h"

namespace quibra::pollserver {

// The pre-check of a ballot on the event thread, against what this server
// knows of its poll: open or not, single or multiple answers, the names of its
// choices. A ballot it refuses is answered at once and never reaches the
// writer; one it lets through is checked again by the statement that writes
// it, so the database stays the authority and a view that is behind can never
// count a ballot that it should not.
//
// It may refuse only while every change of a poll goes through this server (a
// database of its own): a poll is read at its first ballot and forgotten after
// each committed status change or deletion of it, and a read that raced such a
// change answers its one ballot but is not kept. Edits and new polls need no
// notice: only a New poll is edited, and it takes no ballot until a status
// change opens it. Safe to call from many threads.
class BallotCheck {
public:
    explicit BallotCheck(PollStore& store) : m_store(store) {}
    BallotCheck(const BallotCheck&) = delete;
    BallotCheck& operator=(const BallotCheck&) = delete;

    // Conflict (the poll is not open) or BadBallot, as the store would answer;
    // nullopt when the ballot fits, or the poll is not there or not readable
    // now: then the store decides.
    std::optional<StoreOutcome> Refusal(const Ballot& ballot);
    // After the commit of a status change or a deletion of these polls.
    void Changed(const std::vector<std::int64_t>& pollIds);

private:
    struct Poll {
        char status = 'N';
        char type = 'S';
        std::vector<std::string> choices;  // names, by position
    };
    static std::optional<StoreOutcome> Verdict(const Poll& poll, const Ballot& ballot);

    PollStore& m_store;
    std::shared_mutex m_mutex;
    std::unordered_map<std::int64_t, Poll> m_polls;  // guarded by m_mutex
    std::uint64_t m_changes = 0;                     // guarded by m_mutex
    static constexpr std::size_t kMaxPollsKept = 100000;
};

}  // namespace quibra::pollserver
