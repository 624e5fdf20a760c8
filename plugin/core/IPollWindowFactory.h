#pragma once

#include <memory>

#include "core/IManagerWindow.h"
#include "core/IVoteWindow.h"
#include "polldata/PollRecord.h"
#include "quibra/CWenNode.h"

class QWidget;

namespace quibra {

class PollManager;

enum class VoteMode { Result = 0, Voting = 1 };

// How the manager makes its windows; the user interface provides the real one.
class IPollWindowFactory {
public:
    virtual ~IPollWindowFactory() = default;
    // Reads the skin settings ("skincfg") of an init message.
    virtual void ApplySkinSettings(const CWenNode& initPayload) = 0;
    // The poll manager window, created hidden; null when it cannot be created.
    virtual std::unique_ptr<IManagerWindow> CreateManagerWindow(PollManager& manager,
                                                                QWidget* hostWindow) = 0;
    // A voting dialog for `record`, created without parent, centred and shown;
    // null when it cannot be created.
    virtual std::unique_ptr<IVoteWindow> CreateVoteWindow(PollManager& manager,
                                                          const PollRecord& record,
                                                          VoteMode mode) = 0;
};

}  // namespace quibra
