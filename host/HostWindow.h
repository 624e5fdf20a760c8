#pragma once

#include <QWidget>

class QLabel;
class QListWidget;
class QPushButton;

// The host's own small main window: who I am, the session, the server, the
// state of the server's event stream, the presenter's "Polls" button and the log of what was
// relayed, newest first. Its address is the "mainhwnd" the plug-in posts WindowClosedNotice to.
class HostWindow : public QWidget {
    Q_OBJECT
public:
    HostWindow(bool presenter, const QString& who, const QString& session, const QString& server,
               QWidget* parent = nullptr);

    // Prepends a line (with the time) to the log, and echoes it on stdout.
    void AppendLog(const QString& line);
    int WindowsClosed() const { return m_windowsClosed; }
    // "connected", "reconnecting since 12:03:04 (why)", ...
    void SetStreamState(const QString& state);
    // A line of what to do next, shown above the log (the interactive demo).
    void SetGuide(const QString& text);
    QString StreamState() const;

signals:
    void PollsRequested();
    void PluginWindowClosed();
    void Closing();

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    QListWidget* m_log;
    QLabel* m_stream;
    QLabel* m_guide;
    QPushButton* m_polls = nullptr;
    int m_windowsClosed = 0;
};
