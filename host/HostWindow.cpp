#include "HostWindow.h"

#include <QDateTime>
#include <QEvent>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cstdio>

#include "quibra/WindowClosedNotice.h"

HostWindow::HostWindow(bool presenter, const QString& who, const QString& session,
                       const QString& server, QWidget* parent)
    : QWidget(parent),
      m_log(new QListWidget(this)),
      m_stream(new QLabel(tr("not started"))),
      m_guide(new QLabel(this)) {
    setObjectName(QStringLiteral("quibraHost"));
    setWindowTitle(QStringLiteral("Quibra host - ") + who);
    auto* form = new QFormLayout;
    form->addRow(tr("Me:"), new QLabel(who + (presenter ? tr(" (presenter)") : tr(" (attendee)"))));
    form->addRow(tr("Session:"), new QLabel(session));
    form->addRow(tr("Server:"), new QLabel(server));
    m_stream->setObjectName(QStringLiteral("streamState"));
    form->addRow(tr("Events:"), m_stream);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    if (presenter) {
        m_polls = new QPushButton(tr("Polls"), this);
        m_polls->setObjectName(QStringLiteral("pollsButton"));
        connect(m_polls, &QPushButton::clicked, this, &HostWindow::PollsRequested);
        layout->addWidget(m_polls);
    }
    m_guide->setObjectName(QStringLiteral("guide"));
    m_guide->setWordWrap(true);
    m_guide->setStyleSheet(QStringLiteral("font-weight: bold"));
    m_guide->hide();
    layout->addWidget(m_guide);
    m_log->setObjectName(QStringLiteral("log"));
    layout->addWidget(m_log, 1);
    resize(460, 320);
}

void HostWindow::AppendLog(const QString& line) {
    const QString stamped =
        QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz")) + "  " + line;
    m_log->insertItem(0, stamped);
    std::printf("%s\n", stamped.toUtf8().constData());
    std::fflush(stdout);
}

void HostWindow::SetStreamState(const QString& state) {
    m_stream->setText(state);
}

void HostWindow::SetGuide(const QString& text) {
    m_guide->setText(text);
    m_guide->setVisible(!text.isEmpty());
}

QString HostWindow::StreamState() const {
    return m_stream->text();
}

bool HostWindow::event(QEvent* event) {
    // The plug-in's notice that one of its windows has gone away.
    if (event->type() == WindowClosedNotice::kType) {
        const auto* notice = static_cast<const WindowClosedNotice*>(event);
        if (notice->wParam() == WindowClosedNotice::kWParam) {
            ++m_windowsClosed;
            AppendLog(tr("a plug-in window was closed"));
            emit PluginWindowClosed();
        }
        return true;
    }
    return QWidget::event(event);
}

void HostWindow::closeEvent(QCloseEvent* event) {
    emit Closing();
    QWidget::closeEvent(event);
}
