#include "DemoAgent.h"

#include <QAbstractButton>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QWidget>
#include <QXmlStreamReader>
#include <algorithm>
#include <cstdio>
#include <memory>

#include <unistd.h>

#include "ActionQueue.h"
#include "EventStream.h"
#include "HostApp.h"
#include "HostSession.h"
#include "HostWindow.h"
#include "NodeText.h"
#include "UiDriver.h"

namespace {

QString Attr(const QString& name, const QString& value) {
    return QStringLiteral(" %1=\"%2\"")
        .arg(name, QString::fromStdString(NodeText::Escape(value.toStdString())));
}

bool Shown(QWidget* window, const char* name) {
    QWidget* child = UiDriver::Child(window, QString::fromLatin1(name));
    return child != nullptr && child->isVisible();
}

// Voting dialogs: the question (4028) with the submit button (4018) shown;
// result dialogs show the close button (4019) instead.
QList<QWidget*> VotingDialogs() {
    return UiDriver::FindWindows([](QWidget* w) { return Shown(w, "4028") && Shown(w, "4018"); });
}
QList<QWidget*> ResultDialogs() {
    return UiDriver::FindWindows([](QWidget* w) { return Shown(w, "4028") && Shown(w, "4019"); });
}

// The dialog's rows (ids from 1000 up, below the template's items at 4000) of
// one kind, in id order.
template <typename T>
QList<T*> Rows(QWidget* dialog) {
    QList<T*> rows;
    for (T* child : dialog->findChildren<T*>()) {
        bool numeric = false;
        const int id = child->objectName().toInt(&numeric);
        if (numeric && id >= 1000 && id < 4000) rows.append(child);
    }
    std::sort(rows.begin(), rows.end(),
              [](T* a, T* b) { return a->objectName().toInt() < b->objectName().toInt(); });
    return rows;
}

// "A:Yes  ( 2 people)": the choice's name before the first colon.
QString ChoiceName(const QString& rowText) {
    return rowText.section(':', 0, 0);
}

// The last number in a text ("( 2 people)", "Answered by 3 people"), or -1.
int LastNumber(const QString& text) {
    static const QRegularExpression digits(QStringLiteral("[0-9]+"));
    int value = -1;
    for (const QRegularExpressionMatch& match : digits.globalMatch(text)) {
        bool ok = false;
        value = match.captured().toInt(&ok);
        if (!ok) value = -1;
    }
    return value;
}

}  // namespace

DemoAgent::DemoAgent(HostApp& host, QObject* parent)
    : QObject(parent),
      m_host(host),
      m_user(QString::fromStdString(host.Options().user)),
      m_input(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this)) {
    connect(m_input, &QSocketNotifier::activated, this, &DemoAgent::OnReadable);
    auto ready = [this] {
        if (m_ready || m_host.Stream()->CurrentState() != EventStream::State::Connected) return;
        m_ready = true;
        Reply("/demo/ready", "<Report" + Attr("user", m_user) + "/>");
    };
    connect(host.Stream(), &EventStream::StateChanged, this, ready);
    ready();
    connect(host.Session(), &HostSession::Delivered, this, [this](const QString& path) {
        if (path != QLatin1String("/polling/in/authholdpolling")) return;
        m_pollsOpened = true;
        if (m_autoOn) m_autoTimer.start();
    });
    // Several attendees on one screen: each one's windows carry its name.
    host.TagWindows(QStringLiteral(" - ") + QString::fromStdString(host.Options().name));
}

QByteArray DemoAgent::Encode(const QString& path, const QString& xml) {
    QByteArray line = path.toUtf8() + ' ' + xml.toUtf8();
    // XML needs no raw line break: one in a text becomes a character reference.
    line.replace('\n', "&#10;").replace('\r', "&#13;");
    return line + '\n';
}

bool DemoAgent::Decode(const QByteArray& line, QString& path, QByteArray& xml) {
    const qsizetype space = line.indexOf(' ');
    if (!line.startsWith("/demo/") || space < 0) return false;
    path = QString::fromUtf8(line.left(space));
    xml = line.mid(space + 1);
    return true;
}

void DemoAgent::OnReadable() {
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got <= 0) {  // the harness has gone: nobody asks any more
        m_input->setEnabled(false);
        return;
    }
    m_pending.append(buffer, got);
    for (qsizetype end = m_pending.indexOf('\n'); end >= 0; end = m_pending.indexOf('\n')) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        QString path;
        QByteArray xml;
        if (Decode(line, path, xml))
            OnMessage(path, xml);
        else
            m_host.Window()->AppendLog(
                QStringLiteral("the demo sent a line that is not a "
                               "message; ignored"));
    }
}

void DemoAgent::OnMessage(const QString& path, const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    if (!reader.readNextStartElement()) return;
    const QXmlStreamAttributes a = reader.attributes();
    const QString step = a.value("step").toString();
    const QString dir = a.value("dir").toString();
    if (path == QLatin1String("/demo/vote"))
        Vote(a.value("offset").toInt(), a.value("expect").toInt(), step, dir);
    else if (path == QLatin1String("/demo/results"))
        Results(a.value("expect").toInt(), step, dir);
    else if (path == QLatin1String("/demo/shoot"))
        ShootAll(step, dir);
    else if (path == QLatin1String("/demo/auto"))
        AnswerOnYourOwn(a.value("offset").toInt(), a.value("delay").toInt());
}

void DemoAgent::AnswerOnYourOwn(int offset, int delayMs) {
    m_autoOffset = offset;
    m_autoTimer.setSingleShot(true);
    m_autoTimer.setInterval(delayMs);
    if (m_autoOn) return;
    m_autoOn = true;
    // A poll opened before this request is answered too.
    if (m_pollsOpened) m_autoTimer.start();
    connect(&m_autoTimer, &QTimer::timeout, this, [this] {
        if (m_autoBusy) return;  // its end looks again
        m_autoBusy = true;
        ActionQueue* queue = Vote(m_autoOffset, 1, QStringLiteral("auto"), {});
        connect(queue, &ActionQueue::Finished, this, [this] {
            m_autoBusy = false;
            // Polls opened while this one was answered.
            if (!VotingDialogs().isEmpty()) m_autoTimer.start();
        });
    });
}

void DemoAgent::Reply(const std::string& path, const QString& xml) {
    // Standard output is also the host's log, written from this thread only.
    std::fputs(Encode(QString::fromStdString(path), xml).constData(), stdout);
    std::fflush(stdout);
}

void DemoAgent::Run(ActionQueue* queue, const std::string& replyPath) {
    connect(queue, &ActionQueue::Finished, this,
            [this, queue, replyPath](bool ok, const QString& failure) {
                const QString body = ok ? m_result : QString();
                Reply(replyPath, "<Report" + Attr("user", m_user) +
                                     (ok ? QString() : Attr("error", failure)) + ">" + body +
                                     "</Report>");
                queue->deleteLater();
            });
    m_result.clear();
    queue->Start();
}

QString DemoAgent::Shoot(const QList<QWidget*>& windows, const QString& step, const QString& dir,
                         int first) {
    QString xml;
    if (dir.isEmpty()) return xml;  // answering on its own: no pictures
    int n = first - 1;
    for (QWidget* window : windows) {
        const QString file = QStringLiteral("%1-%2-%3.png").arg(step, m_user).arg(++n);
        const QSize size = UiDriver::Shoot(window, dir + "/" + file);
        xml += "<Screen" + Attr("file", file) + Attr("width", QString::number(size.width())) +
               Attr("height", QString::number(size.height())) + "/>";
    }
    return xml;
}

ActionQueue* DemoAgent::Vote(int offset, int expect, const QString& step, const QString& dir) {
    auto* queue = new ActionQueue(this);
    queue->WaitUntil(QStringLiteral("%1 voting dialogs at %2").arg(expect).arg(m_user),
                     [expect] { return VotingDialogs().size() >= expect; });
    queue->Do(QStringLiteral("answer"), [this, offset, step, dir] {
        int shot = 0;
        for (QWidget* dialog : VotingDialogs()) {
            const QList<QAbstractButton*> buttons = Rows<QAbstractButton>(dialog);
            const QList<QWidget*> texts = Rows<QWidget>(dialog);
            if (buttons.isEmpty()) continue;
            const int k = static_cast<int>(buttons.size());
            const bool single = buttons.front()->autoExclusive();
            QList<int> picks{offset % k};
            if (!single && k > 1) picks.append((offset + 1) % k);
            std::sort(picks.begin(), picks.end());
            QStringList names;
            for (int pick : picks) {
                UiDriver::Click(buttons[pick]);
                // A click beside a small indicator misses; the space key never does.
                if (!buttons[pick]->isChecked()) {
                    buttons[pick]->setFocus(Qt::OtherFocusReason);
                    UiDriver::Key(buttons[pick], Qt::Key_Space, Qt::NoModifier, " ");
                }
                // The row's text control follows its button: ids 1000, 1001, ...
                const int textId = buttons[pick]->objectName().toInt() + 1;
                for (QWidget* text : texts)
                    if (text->objectName().toInt() == textId)
                        names.append(ChoiceName(UiDriver::Text(text)));
            }
            // The answer as it is about to be sent.
            m_result += Shoot({dialog}, step, dir, ++shot);
            m_result += "<Poll" + Attr("title", UiDriver::Text(UiDriver::Child(dialog, "4028"))) +
                        Attr("choices", names.join(',')) + "/>";
            UiDriver::Click(UiDriver::Child(dialog, "4018"));
        }
    });
    queue->WaitUntil(QStringLiteral("the voting dialogs to close at %1").arg(m_user),
                     [] { return VotingDialogs().isEmpty(); });
    Run(queue, "/demo/voted");
    return queue;
}

void DemoAgent::Results(int expect, const QString& step, const QString& dir) {
    auto* queue = new ActionQueue(this);
    queue->WaitUntil(QStringLiteral("%1 result dialogs at %2").arg(expect).arg(m_user),
                     [expect] { return ResultDialogs().size() >= expect; });
    queue->Do(QStringLiteral("read the results"), [this, step, dir] {
        const QList<QWidget*> dialogs = ResultDialogs();
        m_result += Shoot(dialogs, step, dir);
        for (QWidget* dialog : dialogs) {
            QString rows;
            int voters = -1;
            for (QWidget* row : Rows<QWidget>(dialog)) {
                const QString text = UiDriver::Text(row);
                if (text.contains(':') && !row->inherits("QLabel"))
                    rows += "<Choice" + Attr("name", ChoiceName(text)) +
                            Attr("count", QString::number(LastNumber(text))) + "/>";
                else
                    voters = LastNumber(text);
            }
            m_result += "<Poll" + Attr("title", UiDriver::Text(UiDriver::Child(dialog, "4028"))) +
                        Attr("voters", QString::number(voters)) + ">" + rows + "</Poll>";
            UiDriver::Click(UiDriver::Child(dialog, "4019"));
        }
    });
    queue->WaitUntil(QStringLiteral("the result dialogs to close at %1").arg(m_user),
                     [] { return ResultDialogs().isEmpty(); });
    queue->Do(QStringLiteral("count the closing notices"), [this] {
        m_result +=
            "<Closed" + Attr("notices", QString::number(m_host.Window()->WindowsClosed())) + "/>";
    });
    Run(queue, "/demo/results");
}

void DemoAgent::ShootAll(const QString& step, const QString& dir) {
    m_result = Shoot(UiDriver::FindWindows([](QWidget*) { return true; }), step, dir);
    Reply("/demo/shot", "<Report" + Attr("user", m_user) + ">" + m_result + "</Report>");
}
