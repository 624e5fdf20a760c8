#pragma once

#include <vector>

#include "polldata/PollRecord.h"
#include "quibra/CWenNode.h"

namespace quibra {

// Reads the record elements of the server's poll replies (poll list, poll
// info, poll results). The reply's node has a child "Records" whose child
// elements (any name) are the polls; each has a child "Items" whose child
// elements are the choices, and each choice has one child element per voter.
// Missing attributes read as "" and, as integers, -1.
class PollRecordReader {
public:
    // The record elements of a reply in document order; none for an empty
    // handle or a reply without "Records".
    static std::vector<CWenNode> RecordElements(const CWenNode& payload);

    // The full record of the presenter's poll list. Fills `record` in place so
    // that a list can append its record before reading it.
    static void ReadListRecord(const CWenNode& element, PollRecord& record);

    // The record an answer window shows: poll id, identified ("IsSign" read as
    // an integer equals 1), single choice, title, and each choice's item name
    // and content.
    static PollRecord ReadAnswerRecord(const CWenNode& element);

    // The record a result window shows: as ReadAnswerRecord, plus each choice's
    // post count and, when it is above 0, its voter names; voter count is
    // "UserCount" read as an integer.
    static PollRecord ReadResultRecord(const CWenNode& element);

private:
    // The "UserName" of every child element of `choice`, in order; `expected`
    // is only a capacity hint.
    static std::vector<std::wstring> ReadVoterNames(const CWenNode& choice, std::size_t expected);
};

}  // namespace quibra
