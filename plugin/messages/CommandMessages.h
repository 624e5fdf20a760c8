#pragma once

#include <string>
#include <vector>

#include "polldata/PollRecord.h"
#include "quibra/CWenDoc.h"
#include "quibra/CWenNode.h"

namespace quibra {

// The command messages the user interface sends to the worker: a "Quibrant"
// root whose "ActionType" names the command, and one "Polling" child holding
// one text element per field, in a fixed order. Repeated fields are numbered
// from 0 (content_0, pollid_0). Each builder returns the document; the caller
// hands its root node to the worker on the path named beside it. A document
// that could not be made has a null root and the fields are silently skipped.
class CommandMessages {
public:
    static constexpr wchar_t kCreatePollingPath[] = L"/polling/out/creaenewpolling";
    static constexpr wchar_t kUpdateContantPath[] = L"/polling/out/updatecontant";
    static constexpr wchar_t kUpdateStatsPath[] = L"/polling/out/updatestats";
    static constexpr wchar_t kDeletePath[] = L"/polling/out/deletepolling";
    static constexpr wchar_t kSendPollPath[] = L"/polling/out/postpolling";

    struct Envelope {
        CWenNode root;     // "Quibrant"
        CWenNode polling;  // its only child, "Polling"
    };

    // Replaces `doc` with a new "Quibrant" document carrying `actionType`.
    static Envelope BuildEnvelope(CWenDoc& doc, const std::wstring& actionType);

    // title, type, issign, itemcount, then content_i and itemname_i per item.
    static CWenDoc CreatePolling(const PollRecord& record);
    // pollid, then as CreatePolling.
    static CWenDoc UpdateContant(const PollRecord& record);
    // pollcount, then pollid_i, status_i (only for the four known states) and
    // ispublish_i per record, from the LAST record to the first.
    static CWenDoc UpdateStats(const std::vector<const PollRecord*>& records);
    // pollcount, then pollid_i per record, first to last. In both, null
    // entries are skipped and not counted.
    static CWenDoc Delete(const std::vector<const PollRecord*>& records);
    // pollid, itemcount, then itemname_i per chosen item.
    static CWenDoc SendPoll(const std::wstring& pollId,
                            const std::vector<std::wstring>& chosenItemNames);

private:
    static void AddField(CWenNode& polling, const std::wstring& name, const std::wstring& value);
    static void AddCount(CWenNode& polling, const std::wstring& name, int value);
    // type, issign, itemcount and the items: the part shared by create and update.
    static void AddContent(CWenNode& polling, const PollRecord& record);
};

}  // namespace quibra
