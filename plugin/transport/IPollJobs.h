#pragma once

#include "quibra/CWenNode.h"

namespace quibra {

// The server jobs the worker starts. Each runs on the calling thread, starts a
// request task and returns; the task reports back to the worker's window.
class IPollJobs {
public:
    virtual ~IPollJobs() = default;

    virtual void CreatePolling(const CWenNode& command) = 0;
    virtual void DeletePolling(const CWenNode& command) = 0;
    // Both update paths: the command's "ActionType" picks content or status.
    virtual void UpdatePolling(const CWenNode& command) = 0;
    // False when the ballot's task did not start (nothing will report back).
    virtual bool PostPolling(const CWenNode& command) = 0;
    // Mode 1 the presenter's list, 2 poll details, 3 poll results for the poll
    // ids in `pollIds`' child elements. False for any other mode.
    virtual bool GetResults(int mode, const CWenNode& pollIds) = 0;
};

}  // namespace quibra
