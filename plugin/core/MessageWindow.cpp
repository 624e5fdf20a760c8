#include "core/MessageWindow.h"

#include <QCoreApplication>
#include <QEvent>
#include <QThread>

#include "quibra/IPollWorker.h"

namespace quibra {

namespace {

// A posted notice. Deleting an undelivered event (its receiver went away) frees
// the notice and its task.
class TaskEvent : public QEvent {
public:
    explicit TaskEvent(std::unique_ptr<TaskNotice> notice)
        : QEvent(static_cast<QEvent::Type>(notice->message)), m_notice(std::move(notice)) {}
    std::unique_ptr<TaskNotice> Take() { return std::move(m_notice); }

private:
    std::unique_ptr<TaskNotice> m_notice;
};

}  // namespace

class MessageWindow::Receiver : public QObject {
public:
    explicit Receiver(IPollWorker& worker) : m_worker(worker) {
        setObjectName(QStringLiteral("MsgWnd"));
    }
    void SetMailbox(std::shared_ptr<TaskMailbox> mailbox) { m_mailbox = std::move(mailbox); }

protected:
    bool event(QEvent* e) override {
        // Qt's queue synchronises in ways thread checkers cannot see; the
        // mailbox lock the notice was posted under makes the hand-over explicit.
        if (m_mailbox) m_mailbox->Synchronise();
        if (e->type() != static_cast<QEvent::Type>(TaskDoneMessage) &&
            e->type() != static_cast<QEvent::Type>(TaskFailedMessage))
            return QObject::event(e);
        std::unique_ptr<TaskNotice> notice = static_cast<TaskEvent*>(e)->Take();
        // A window already torn down (its mailbox closed) dispatches nothing;
        // the notice and its task are freed all the same.
        if (notice && m_mailbox && m_mailbox->IsOpen()) {
            CWenNode reply = notice->reply;
            m_worker.Dispatch(notice->path.c_str(), reply.IsNull() ? nullptr : &reply);
        }
        return true;  // the notice, its reply reference and its task are freed here
    }

private:
    IPollWorker& m_worker;
    std::shared_ptr<TaskMailbox> m_mailbox;
};

MessageWindow::MessageWindow(IPollWorker& worker) : m_worker(worker) {}

MessageWindow::~MessageWindow() {
    Destroy();
}

bool MessageWindow::Create(bool /*visible*/) {
    if (m_receiver != nullptr && m_receiver->thread() == QThread::currentThread()) return true;
    Destroy();
    auto* receiver = new Receiver(m_worker);
    m_receiver = receiver;
    m_mailbox = std::make_shared<TaskMailbox>([receiver](std::unique_ptr<TaskNotice> notice) {
        QCoreApplication::postEvent(receiver, new TaskEvent(std::move(notice)));
    });
    receiver->SetMailbox(m_mailbox);
    return true;
}

void MessageWindow::Destroy() {
    if (m_mailbox) m_mailbox->Close();
    m_mailbox.reset();
    // Deleting the receiver deletes its undelivered events, freeing their notices.
    if (QObject* receiver = m_receiver.data()) {
        if (receiver->thread() == QThread::currentThread())
            delete receiver;
        else
            receiver->deleteLater();  // only its own thread may delete it safely
    }
    m_receiver = nullptr;
}

}  // namespace quibra
