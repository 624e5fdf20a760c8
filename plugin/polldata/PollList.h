#pragma once

#include <string>
#include <vector>

#include "polldata/IPollListView.h"
#include "polldata/PollRecord.h"
#include "quibra/CWenNode.h"

namespace quibra {

// The presenter's local copy of the conference's polls, rebuilt from scratch
// by every poll list reply. Owns its records; the view is not owned and may be
// absent (then only the records are kept). User-interface thread only.
class PollList {
public:
    explicit PollList(IPollListView* view = nullptr);
    PollList(const PollList&) = delete;
    PollList& operator=(const PollList&) = delete;

    void SetView(IPollListView* view) { m_view = view; }

    // Rebuilds the list from a poll list reply ("/polling/in/updating") and
    // fills the view. An empty handle or a reply without "Records" gives an
    // empty list. The poll shown before the rebuild is shown again when the
    // reply still has it; the remembered poll id is forgotten afterwards.
    void Apply(const CWenNode& payload);

    // Clears the view (remembering the poll id of its current panel, if any),
    // then drops every record.
    void Clear();

    // Appends an empty record first, then reads `element` into it. Appending
    // moves the records: references handed to the view before are invalid.
    PollRecord& ParseRecord(const CWenNode& element);

    const std::vector<PollRecord>& Records() const { return m_records; }
    std::vector<PollRecord>& Records() { return m_records; }
    // Empty when none is remembered.
    const std::wstring& RememberedPollId() const { return m_rememberedPollId; }

private:
    IPollListView* m_view = nullptr;
    std::vector<PollRecord> m_records;
    std::wstring m_rememberedPollId;
};

}  // namespace quibra
