#pragma once

#include <optional>
#include <string>
#include <vector>

#include "polldata/PollRecord.h"

namespace quibra {

// The presentation of the poll list: the console's tree of poll titles and one
// details panel per poll. Implemented by the poll manager window; called on
// the user-interface thread only.
class IPollListView {
public:
    virtual ~IPollListView() = default;

    // Deletes every tree item, hides and destroys every details panel, so that
    // nothing refers to the records about to be dropped. Returns the poll id of
    // the record the current details panel shows, or nullopt when no panel is
    // current (the list then keeps the poll id it remembered before).
    virtual std::optional<std::wstring> ClearPresentation() = 0;

    // Builds one tree item and one hidden details panel per record, in order,
    // unlocks the console, and shows and selects the record whose poll id is
    // `rememberedPollId` (nothing when no record has it), the first record when
    // that id is empty, or the default details panel when `records` is empty.
    // The records keep their addresses until the next ClearPresentation; the
    // view may change their fields (the requested states before a command) but
    // must not add or remove records.
    virtual void FillPresentation(std::vector<PollRecord>& records,
                                  const std::wstring& rememberedPollId) = 0;
};

}  // namespace quibra
