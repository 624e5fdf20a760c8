#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the application's event loops at once, nested ones (a dialog's, a menu's,
// a message box's) included, and so any that would start after.
void QuitNow();

// Turns SIGINT and SIGTERM into an end of every event loop (QuitNow), so that
// everything the host started is stopped on the way out. The handler only
// writes a byte to a socket pair; the UI thread does the rest.
class QuitOnSignal : public QObject {
    Q_OBJECT
public:
    explicit QuitOnSignal(QObject* parent = nullptr);
    ~QuitOnSignal() override;

    // The signal that arrived, or 0.
    static int Received();

private:
    static void Handler(int signal);
    QSocketNotifier* m_notifier = nullptr;
};
