#pragma once

#include <cstdint>

#include "quibra/IFeedBackNotify.h"
#include "quibra/IPollNotify.h"
#include "quibra/QuibraApi.h"

// Accepted and ignored: the plug-in behaves the same in every mode.
enum POLLMODE : intptr_t {
    POLLMODE_PRESENTER = 0,
    POLLMODE_ATTENDEE = 1,
};

// The library's entry. The object the members are called on is not used.
class QUIBRA_API CQuibraExport {
public:
    CQuibraExport& operator=(const CQuibraExport& other);

    // Creates the manager and the worker and wires them to `notify`, which must
    // stay valid until FreeAllPollingObject. Call on the host's UI thread.
    IFeedBackNotify* CreateQuibraManager(POLLMODE mode, IPollNotify* notify);
    // Destroys the manager, then the worker. Request threads still running are
    // neither waited for nor cancelled; their late outcomes are dropped safely.
    void FreeAllPollingObject();
};
