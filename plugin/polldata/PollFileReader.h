#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "polldata/PollRecord.h"

class CWenNode;

namespace quibra {

// Reads a poll file (a "WendrakeVote" document) into new poll records: the
// question, the answer and identification modes and the described choices,
// lettered again from "A". Ids, states, counts and voters in the file are not
// read: every record is a new poll to be created.
class PollFileReader {
public:
    // Poll files hold a few polls of a few choices; anything larger is refused
    // unread, so a hostile file cannot make the parser take unbounded memory.
    static constexpr std::uintmax_t kMaxFileBytes = 4 * 1024 * 1024;

    explicit PollFileReader(std::wstring path);
    virtual ~PollFileReader();
    PollFileReader(const PollFileReader&) = delete;
    PollFileReader& operator=(const PollFileReader&) = delete;

    // True when at least one poll was read. A missing, oversized or malformed
    // file, and one whose VoteItems are all unusable, read as false; why a
    // VoteItem was skipped is not reported.
    virtual bool Read();
    // The polls read, in file order; valid while the reader lives.
    const std::vector<PollRecord>& GetRecords() const { return m_records; }

private:
    // The record of one VoteItem, or nothing when it is unusable.
    static std::optional<PollRecord> ReadVoteItem(const CWenNode& voteItem);
    // Fills the choices of `record` from "ChoiceList"; false when none is usable.
    static bool ReadChoices(const CWenNode& voteItem, PollRecord& record);

    std::wstring m_path;
    std::vector<PollRecord> m_records;
};

}  // namespace quibra
