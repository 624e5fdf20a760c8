#pragma once

#include <functional>
#include <memory>
#include <mutex>

#include "transport/TaskNotice.h"

namespace quibra {

// The road from task threads to the message window's thread. The window closes
// it before it goes away; a notice posted after that is freed at once, task
// included, so a late outcome never reaches freed memory.
class TaskMailbox {
public:
    using Deliver = std::function<void(std::unique_ptr<TaskNotice>)>;

    // `deliver` hands a notice over to the receiving thread; it runs under the
    // mailbox lock, on the posting thread, and must not block.
    explicit TaskMailbox(Deliver deliver);

    // Thread-safe. False when closed; the notice is then freed here.
    bool Post(std::unique_ptr<TaskNotice> notice);
    // After Close returns no delivery is running and none will start.
    void Close();
    // Called by the receiving thread before it reads a delivered notice: the
    // notice was handed over under this lock, so taking it orders the reads
    // after the poster's writes, whatever the hand-over mechanism does.
    void Synchronise() const;
    bool IsOpen() const;

private:
    mutable std::mutex m_mutex;
    Deliver m_deliver;
};

}  // namespace quibra
