#pragma once

#include <memory>
#include <mutex>

#include "transport/TaskMailbox.h"
#include "transport/TransportParams.h"

class IPollNotify;

namespace quibra {

// What the server jobs need from the worker that runs them.
class IJobHost {
public:
    virtual const TransportParams& Params() const = 0;
    // Where tasks post their outcome; null when there is no message window.
    virtual std::shared_ptr<TaskMailbox> Mailbox() const = 0;
    // The host's notification interface; may be null.
    virtual IPollNotify* HostNotify() const = 0;
    // Held while poll details or results requests are prepared and started.
    virtual std::recursive_mutex& WorkerLock() = 0;
    // Shows a localised message to the user (message box).
    virtual void ShowMessage(int messageId) = 0;

protected:
    ~IJobHost() = default;
};

}  // namespace quibra
