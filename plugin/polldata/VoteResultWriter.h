#pragma once

#include <string>
#include <vector>

#include "polldata/IVoteDocumentWriter.h"
#include "polldata/PollRecord.h"

class CWenNode;

namespace quibra {

// Which polls an export writes.
enum class VoteResultMode {
    AllPolls = 0,   // every closed poll of the list, in list order
    ShownPoll = 1,  // the poll of the shown details panel, when it is closed
};

// Writes closed polls as a "WendrakeVote" document, the file the HTML report
// is made from and the format of poll files. Polls that are not closed are
// left out, so a list without closed polls gives the bare root element.
class VoteResultWriter : public IVoteDocumentWriter {
public:
    // `polls` is the console's poll list and `shown` the record its details
    // panel shows (nullptr when none); both are only read, during Write.
    VoteResultWriter(std::wstring path, const std::vector<PollRecord>* polls,
                     const PollRecord* shown, VoteResultMode mode);

    // False, and nothing written, for an empty path, no poll list, no shown
    // record in ShownPoll mode, or a document that could not be built;
    // otherwise whether the file was saved.
    bool Write() override;

private:
    static bool WriteRecord(CWenNode& root, const PollRecord& record);

    VoteResultMode m_mode;
    std::wstring m_path;
    const std::vector<PollRecord>* m_polls;
    const PollRecord* m_shown;
};

}  // namespace quibra
