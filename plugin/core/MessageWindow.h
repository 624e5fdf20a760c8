#pragma once

#include <QObject>
#include <QPointer>
#include <memory>

#include "transport/TaskMailbox.h"

class IPollWorker;

namespace quibra {

// The worker's hidden message window: task outcomes posted from request threads
// are delivered here, in posting order, on the thread that created the window,
// and dispatched to the worker there.
//
// One window at a time: Create on the thread that already owns the window keeps
// it (nothing in flight is lost); Create on another thread replaces it, and the
// older window's undelivered notices are freed with their tasks.
class MessageWindow {
public:
    explicit MessageWindow(IPollWorker& worker);
    ~MessageWindow();
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;

    // Creates the window on the calling thread. `visible` is accepted for the
    // record; the window never shows anything.
    bool Create(bool visible);
    // Closes the mailbox and destroys the window; pending notices are freed.
    void Destroy();
    // Where tasks post; null before Create.
    std::shared_ptr<TaskMailbox> Mailbox() const { return m_mailbox; }
    bool HasWindow() const { return m_receiver != nullptr; }

private:
    class Receiver;

    IPollWorker& m_worker;
    QPointer<QObject> m_receiver;
    std::shared_ptr<TaskMailbox> m_mailbox;
};

}  // namespace quibra
