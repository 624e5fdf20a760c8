#include "Walkthrough.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTextStream>
#include <QTreeWidget>
#include <QXmlStreamReader>
#include <set>

#include "ActionQueue.h"
#include "HostApp.h"
#include "HostSession.h"
#include "HostWindow.h"
#include "InstallLayout.h"
#include "NodeText.h"
#include "ServerTally.h"
#include "UiDriver.h"

namespace {

// The poll the walkthrough writes in the editor: a single answer, identified.
const QString kNewTitle = QStringLiteral("Where shall we have lunch on Friday? 周五午餐去哪里？");
const QStringList kNewChoices = {QStringLiteral("Pizza"), QStringLiteral("寿司 Sushi"),
                                 QStringLiteral("Salad bar")};

// Command ids of the console's menus and the console's items.
constexpr int kNewPollCommand = 10003;
constexpr int kImportCommand = 10002;
constexpr int kPublishCommand = 10004;
constexpr int kExportAllCommand = 10001;

QString Attr(const QString& name, const QString& value) {
    return QStringLiteral(" %1=\"%2\"")
        .arg(name, QString::fromStdString(NodeText::Escape(value.toStdString())));
}

QFileDialog* OpenFileDialog() {
    return qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
}

// The VoteItems of a poll file, each of which becomes one poll.
int CountVoteItems(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    QXmlStreamReader reader(&file);
    int items = 0;
    while (!reader.atEnd())
        if (reader.readNext() == QXmlStreamReader::StartElement &&
            reader.name() == QLatin1String("VoteItem"))
            ++items;
    return reader.hasError() ? 0 : items;
}

}  // namespace

Walkthrough::Walkthrough(HostApp& presenter, std::vector<Attendee> attendees, QString out,
                         QString serverUrl, QByteArray presenterToken, QObject* parent)
    : QObject(parent),
      m_presenter(presenter),
      m_attendees(std::move(attendees)),
      m_out(std::move(out)),
      m_screens(m_out + "/screens"),
      m_queue(new ActionQueue(this)),
      m_server(new ServerTally(std::move(serverUrl),
                               QString::fromStdString(presenter.Options().user),
                               QString::fromStdString(presenter.Options().module), this)) {
    connect(m_queue, &ActionQueue::Finished, this, &Walkthrough::OnFinished);
    m_secured = !presenterToken.isEmpty();
    m_server->SetToken(std::move(presenterToken));
    connect(presenter.Session(), &HostSession::Delivered, this, [this](const QString& path) {
        if (path != QLatin1String("/polling/in/clientnotifypolling")) return;
        ++m_ballotNotices;
        m_rebuildsAtLastBallot = m_rebuilds;
    });
    AddSteps();
}

Walkthrough::~Walkthrough() = default;

QString Walkthrough::ScreenPath(const QString& who, int n) const {
    return QStringLiteral("%1-%2-%3.png").arg(m_current + 1, 2, 10, QChar('0')).arg(who).arg(n);
}

QWidget* Walkthrough::Console() const {
    return UiDriver::WindowWith(
        {QStringLiteral("4000"), QStringLiteral("4017"), QStringLiteral("4015")});
}

QTreeWidget* Walkthrough::Tree() const {
    return qobject_cast<QTreeWidget*>(UiDriver::Child(Console(), QStringLiteral("4000")));
}

bool Walkthrough::ConsoleReady() const {
    QTreeWidget* tree = Tree();
    QWidget* create = UiDriver::Child(Console(), QStringLiteral("4017"));
    return tree != nullptr && tree->isEnabled() && create != nullptr && create->isEnabled();
}

void Walkthrough::Start() {
    m_clock.start();
    QDir().mkpath(m_screens);
    // Last run's pictures and report would pass for this run's.
    for (const QString& old : QDir(m_screens).entryList({QStringLiteral("*.png")}, QDir::Files))
        QFile::remove(m_screens + "/" + old);
    QFile::remove(m_out + "/report.html");
    QFile::remove(m_out + "/summary.txt");
    BeginStep(0);
    m_queue->Start();
}

void Walkthrough::BeginStep(std::size_t index) {
    m_current = index;
    if (index >= m_steps.size()) return;  // the queue ends empty: finished
    Step& step = m_steps[index];
    step.state = QStringLiteral("running");
    std::printf("quibra-host: walkthrough step %zu: %s\n", index + 1, qPrintable(step.name));
    std::fflush(stdout);
    m_stepClock.start();
    step.plan();
    m_queue->Do(QStringLiteral("end of step"), [this] { EndStep(); });
}

void Walkthrough::EndStep() {
    Step& step = m_steps[m_current];
    step.seconds = double(m_stepClock.elapsed()) / 1000.0;
    step.state = QStringLiteral("done");
    // Every window of every host, as the step left it.
    ShootPresenter();
    if (!m_attendees.empty())
        AskAgents(QStringLiteral("/demo/shoot"), [](int) { return QString(); });
    m_queue->Do(QStringLiteral("next step"), [this] { BeginStep(m_current + 1); });
}

void Walkthrough::ShootPresenter() {
    int n = 0;
    for (QWidget* window : UiDriver::FindWindows([](QWidget*) { return true; })) {
        const QString file = ScreenPath(QStringLiteral("presenter"), ++n);
        m_shots.push_back({file, UiDriver::Shoot(window, m_screens + "/" + file)});
    }
}

void Walkthrough::ClickConsoleButton(const char* id) {
    const QString name = QString::fromLatin1(id);
    m_queue->Do(QStringLiteral("click ") + name, [this, name] {
        QWidget* button = UiDriver::Child(Console(), name);
        if (button == nullptr || !button->isEnabled())
            return m_queue->Fail(QStringLiteral("the console's button %1 is not there or not "
                                                "enabled")
                                     .arg(name));
        UiDriver::Click(button);
    });
}

void Walkthrough::ChooseMenu(int commandId) {
    m_queue->WaitUntil(QStringLiteral("a menu to open"), [] {
        return qobject_cast<QMenu*>(QApplication::activePopupWidget()) != nullptr;
    });
    m_queue->Do(QStringLiteral("choose %1").arg(commandId), [this, commandId] {
        if (!UiDriver::ChooseMenuCommand(commandId))
            m_queue->Fail(QStringLiteral("the menu has no enabled item %1").arg(commandId));
    });
}

void Walkthrough::SelectAllAndClick(const char* id) {
    const QString name = QString::fromLatin1(id);
    // One action: a poll list arriving in between would reset the selection.
    m_queue->Do(QStringLiteral("select every poll and click ") + name, [this, name] {
        QTreeWidget* tree = Tree();
        if (tree == nullptr || tree->topLevelItemCount() == 0)
            return m_queue->Fail(QStringLiteral("the console lists no polls"));
        // A click on the first poll, then Ctrl+A, as a person selects them all.
        UiDriver::Click(tree->viewport(), tree->visualItemRect(tree->topLevelItem(0)).center());
        tree->setFocus(Qt::OtherFocusReason);
        UiDriver::Key(tree, Qt::Key_A, Qt::ControlModifier);
        if (tree->selectedItems().size() != tree->topLevelItemCount())
            return m_queue->Fail(QStringLiteral("not every poll could be selected"));
        QWidget* button = UiDriver::Child(Console(), name);
        if (button == nullptr || !button->isEnabled())
            return m_queue->Fail(
                QStringLiteral("the console's button %1 is not enabled").arg(name));
        UiDriver::Click(button);
    });
}

void Walkthrough::WaitForConsoleRefresh(std::function<bool(int)> countOk, const QString& what) {
    m_queue->WaitUntil(what, [this, countOk] {
        QTreeWidget* tree = Tree();
        return ConsoleReady() && countOk(tree->topLevelItemCount());
    });
}

void Walkthrough::CheckServer(const QString& what,
                              std::function<bool(const ServerTally&, QString&)> check) {
    m_queue->WaitUntil(QStringLiteral("the server: ") + what, [this, check] {
        if (!m_server->Done()) return false;
        QString ignored;
        if (m_server->Ok() && check(*m_server, ignored)) return true;
        m_server->Fetch();  // not yet (or a failed fetch): ask again
        return false;
    });
}

void Walkthrough::AnswerFileDialog(const QString& path) {
    m_queue->WaitUntil(QStringLiteral("a file dialog"), [] { return OpenFileDialog() != nullptr; });
    m_queue->Do(QStringLiteral("choose ") + path, [this, path] {
        QFileDialog* dialog = OpenFileDialog();
        // The path typed into the file name field, as a person would.
        auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr)
            return m_queue->Fail(QStringLiteral("the file dialog has no file name field"));
        name->clear();
        UiDriver::Type(name, path);
        const QString file = ScreenPath(QStringLiteral("presenter-dialog"), 1);
        m_shots.push_back({file, UiDriver::Shoot(dialog, m_screens + "/" + file)});
        // The dialog's own Open or Save button, as a person would press it.
        QAbstractButton* accept = nullptr;
        if (auto* box = dialog->findChild<QDialogButtonBox*>())
            for (QAbstractButton* button : box->buttons())
                if (box->buttonRole(button) == QDialogButtonBox::AcceptRole) accept = button;
        if (accept == nullptr)
            return m_queue->Fail(QStringLiteral("the file dialog has no Open or Save button"));
        UiDriver::Click(accept);
    });
}

void Walkthrough::AskAgents(const QString& path, const std::function<QString(int)>& body) {
    m_queue->Do(QStringLiteral("ask the attendees: ") + path, [this, path, body] {
        m_replies.clear();
        const QString step = QStringLiteral("%1-%2")
                                 .arg(m_current + 1, 2, 10, QChar('0'))
                                 .arg(path.section('/', -1));
        for (std::size_t i = 0; i < m_attendees.size(); ++i) {
            const QString xml = "<Ask" + Attr("step", step) + Attr("dir", m_screens) +
                                body(static_cast<int>(i)) + "/>";
            if (m_send) m_send(m_attendees[i].userId, path, xml);
        }
    });
    m_queue->WaitUntil(
        QStringLiteral("every attendee's answer to ") + path,
        [this] { return m_replies.size() == static_cast<int>(m_attendees.size()); }, 60000);
    m_queue->Do(QStringLiteral("read the attendees' answers"), [this] {
        if (!m_agentErrors.isEmpty()) m_queue->Fail(m_agentErrors.join("; "));
    });
}

void Walkthrough::OnAgent(const QString& from, const QString&, const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    QString title;
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement) continue;
        const QXmlStreamAttributes a = reader.attributes();
        const auto name = reader.name();
        if (name == QLatin1String("Report")) {
            if (a.hasAttribute("error"))
                m_agentErrors.append(from + ": " + a.value("error").toString());
        } else if (name == QLatin1String("Screen")) {
            m_shots.push_back({a.value("file").toString(),
                               QSize(a.value("width").toInt(), a.value("height").toInt())});
        } else if (name == QLatin1String("Poll") && a.hasAttribute("choices")) {
            for (const QString& choice :
                 a.value("choices").toString().split(',', Qt::SkipEmptyParts))
                ++m_cast[a.value("title").toString()][choice];
        } else if (name == QLatin1String("Poll")) {
            title = a.value("title").toString();
            m_shown[title].emplace_back();
            m_shownVoters[title].push_back(a.value("voters").toInt());
        } else if (name == QLatin1String("Choice") && !title.isEmpty()) {
            m_shown[title].back()[a.value("name").toString()] = a.value("count").toInt();
        } else if (name == QLatin1String("Closed")) {
            m_attendeeNotices += a.value("notices").toInt();
        }
    }
    m_replies.insert(from, QString::fromUtf8(xml));
}

void Walkthrough::PublishAttempt() {
    m_queue->Do(QStringLiteral("select every poll and click 4003"), [this] {
        m_publishClicked = false;
        if (m_allPublished) return;
        QTreeWidget* tree = Tree();
        UiDriver::Click(tree->viewport(), tree->visualItemRect(tree->topLevelItem(0)).center());
        tree->setFocus(Qt::OtherFocusReason);
        UiDriver::Key(tree, Qt::Key_A, Qt::ControlModifier);
        m_publishClicked = true;
        UiDriver::Click(UiDriver::Child(Console(), QStringLiteral("4003")));
    });
    m_queue->WaitUntil(QStringLiteral("the publish menu"), [this] {
        return !m_publishClicked || qobject_cast<QMenu*>(QApplication::activePopupWidget());
    });
    m_queue->Do(QStringLiteral("choose publish"), [this] {
        if (!m_publishClicked) return;
        if (!UiDriver::ChooseMenuCommand(kPublishCommand))
            m_queue->Fail(QStringLiteral("the menu has no enabled item %1").arg(kPublishCommand));
    });
    // The console takes the list fetched after the command; the server then says
    // whether every poll is published.
    m_queue->WaitUntil(QStringLiteral("the console after publishing"), [this] {
        return !m_publishClicked || (ConsoleReady() && Tree()->topLevelItemCount() == m_total);
    });
    m_queue->Do(QStringLiteral("ask the server"), [this] {
        if (m_publishClicked) m_server->Fetch();
    });
    m_queue->WaitUntil(QStringLiteral("the server's list"), [this] {
        if (!m_publishClicked) return true;
        if (!m_server->Done()) return false;
        m_allPublished =
            m_server->Ok() && std::all_of(m_server->Polls().begin(), m_server->Polls().end(),
                                          [](const auto& p) { return p.published; });
        return true;
    });
}

void Walkthrough::AddSteps() {
    const QString sample =
        InstallLayout::DataFolder(QCoreApplication::applicationDirPath()) + "/samples/Sample.pol";
    m_steps.push_back({QStringLiteral("open the console"), [this] {
                           m_queue->Do(QStringLiteral("click Polls"), [this] {
                               UiDriver::Click(UiDriver::Child(m_presenter.Window(),
                                                               QStringLiteral("pollsButton")));
                           });
                           m_queue->WaitUntil(
                               QStringLiteral("the console with its poll list"),
                               [this] { return ConsoleReady(); }, 15000);
                           // Every poll list the console receives refills its tree.
                           m_queue->Do(QStringLiteral("watch the console's list"), [this] {
                               connect(Tree()->model(), &QAbstractItemModel::rowsInserted, this,
                                       [this](const QModelIndex& parent) {
                                           if (!parent.isValid()) ++m_rebuilds;
                                       });
                           });
                       }});
    m_steps.push_back(
        {QStringLiteral("import the sample poll file"), [this, sample] {
             m_imported = CountVoteItems(sample);
             if (m_imported == 0)
                 return m_queue->Do(QStringLiteral("find the sample"), [this, sample] {
                     m_queue->Fail(QStringLiteral("no usable sample poll file at ") + sample);
                 });
             ClickConsoleButton("4017");
             ChooseMenu(kImportCommand);
             AnswerFileDialog(sample);
             WaitForConsoleRefresh([this](int n) { return n == m_imported; },
                                   QStringLiteral("the imported polls in the console"));
         }});
    m_steps.push_back(
        {QStringLiteral("write a poll in the editor"), [this] {
             ClickConsoleButton("4017");
             ChooseMenu(kNewPollCommand);
             m_queue->WaitUntil(QStringLiteral("the question editor"), [] {
                 return UiDriver::WindowWith({QStringLiteral("4005"), QStringLiteral("4012")}) !=
                        nullptr;
             });
             m_queue->Do(QStringLiteral("fill in the editor"), [this] {
                 QWidget* editor =
                     UiDriver::WindowWith({QStringLiteral("4005"), QStringLiteral("4012")});
                 UiDriver::Type(UiDriver::Child(editor, QStringLiteral("4005")), kNewTitle);
                 UiDriver::Click(UiDriver::Child(editor, QStringLiteral("4008")));  // single answer
                 const char* edits[] = {"4012", "4014", "4016"};
                 for (int i = 0; i < kNewChoices.size(); ++i)
                     UiDriver::Type(UiDriver::Child(editor, QString::fromLatin1(edits[i])),
                                    kNewChoices[i]);
                 const QString file = ScreenPath(QStringLiteral("presenter-editor"), 1);
                 m_shots.push_back({file, UiDriver::Shoot(editor, m_screens + "/" + file)});
                 UiDriver::Click(UiDriver::Child(editor, QStringLiteral("4019")));  // OK
             });
             WaitForConsoleRefresh([this](int n) { return n == m_imported + 1; },
                                   QStringLiteral("the new poll in the console"));
             m_queue->Do(QStringLiteral("count the polls"), [this] {
                 m_total = Tree()->topLevelItemCount();
                 for (int i = 0; i < m_total; ++i)
                     m_pollTitles.append(Tree()->topLevelItem(i)->text(0));
             });
         }});
    m_steps.push_back(
        {QStringLiteral("post the polls"), [this] {
             SelectAllAndClick("4018");
             CheckServer(QStringLiteral("every poll open"), [this](const ServerTally& s, QString&) {
                 return int(s.Polls().size()) == m_total &&
                        std::all_of(s.Polls().begin(), s.Polls().end(),
                                    [](const auto& p) { return p.status == QLatin1String("O"); });
             });
             WaitForConsoleRefresh([this](int n) { return n == m_total; },
                                   QStringLiteral("the console after posting"));
         }});
    m_steps.push_back(
        {QStringLiteral("answer at every attendee"), [this] {
             // Attendee i answers from choice t, the largest with t(t+1)/2 <= i:
             // one attendee from A, two from B, three from C..., so the choices
             // get different counts and a ballot counted for another choice shows.
             AskAgents(QStringLiteral("/demo/vote"), [this](int i) {
                 int first = 0;
                 while ((first + 1) * (first + 2) / 2 <= i) ++first;
                 return Attr("offset", QString::number(first)) +
                        Attr("expect", QString::number(m_total));
             });
             CheckServer(
                 QStringLiteral("every ballot counted"), [this](const ServerTally& s, QString&) {
                     return std::all_of(s.Polls().begin(), s.Polls().end(), [this](const auto& p) {
                         return p.voters == static_cast<int>(m_attendees.size());
                     });
                 });
         }});
    if (m_secured && m_attendees.size() >= 2)
        m_steps.push_back({QStringLiteral("an impostor is refused"), [this] { Impostor(); }});
    m_steps.push_back(
        {QStringLiteral("stop the polls"), [this] {
             // Each ballot makes the presenter's console fetch the list again
             // (the plug-in may space these fetches out); the console first
             // shows a list fetched after the last ballot's notice.
             m_queue->WaitUntil(QStringLiteral("the console to show every ballot"), [this] {
                 const int ballots = m_total * static_cast<int>(m_attendees.size());
                 return m_ballotNotices >= ballots && m_rebuilds > m_rebuildsAtLastBallot &&
                        ConsoleReady();
             });
             SelectAllAndClick("4016");
             CheckServer(QStringLiteral("every poll closed"), [](const ServerTally& s, QString&) {
                 return std::all_of(s.Polls().begin(), s.Polls().end(),
                                    [](const auto& p) { return p.status == QLatin1String("C"); });
             });
             WaitForConsoleRefresh([this](int n) { return n == m_total; },
                                   QStringLiteral("the console after stopping"));
         }});
    m_steps.push_back(
        {QStringLiteral("publish the results"), [this] {
             // A list the plug-in fetched for a late ballot may still arrive
             // while the menu is open and leave one poll selected; then the
             // polls not yet published are published again (at most thrice).
             for (int attempt = 0; attempt < 3; ++attempt) PublishAttempt();
             CheckServer(
                 QStringLiteral("every poll published"), [this](const ServerTally& s, QString&) {
                     const bool all = std::all_of(s.Polls().begin(), s.Polls().end(),
                                                  [](const auto& p) { return p.published; });
                     if (!all) return false;
                     for (const ServerTally::Poll& poll : s.Polls()) {
                         m_serverVoters[poll.title] = poll.voters;
                         for (const ServerTally::Choice& choice : poll.choices)
                             m_serverCounts[poll.title][choice.name] = choice.count;
                     }
                     return true;
                 });
             WaitForConsoleRefresh([this](int n) { return n == m_total; },
                                   QStringLiteral("the console after publishing"));
         }});
    m_steps.push_back({QStringLiteral("open the results at every attendee"), [this] {
                           AskAgents(QStringLiteral("/demo/results"), [this](int) {
                               return Attr("expect", QString::number(m_total));
                           });
                       }});
    m_steps.push_back({QStringLiteral("export the HTML report"), [this] {
                           ClickConsoleButton("4003");
                           ChooseMenu(kExportAllCommand);
                           AnswerFileDialog(m_out + "/report.html");
                           m_queue->WaitUntil(QStringLiteral("the report"), [this] {
                               return QFileInfo(m_out + "/report.html").size() > 0;
                           });
                           m_queue->Do(QStringLiteral("measure the report"), [this] {
                               m_reportBytes = QFileInfo(m_out + "/report.html").size();
                           });
                       }});
    m_steps.push_back(
        {QStringLiteral("delete one poll"), [this] {
             m_queue->Do(QStringLiteral("select the first poll and delete it"), [this] {
                 QTreeWidget* tree = Tree();
                 UiDriver::Click(tree->viewport(),
                                 tree->visualItemRect(tree->topLevelItem(0)).center());
                 if (tree->selectedItems().size() != 1)
                     return m_queue->Fail(
                         QStringLiteral("the first poll could not be selected alone"));
                 UiDriver::Click(UiDriver::Child(Console(), QStringLiteral("4004")));
             });
             // The poll has ballots: the console asks first, naming how many go.
             m_queue->WaitUntil(QStringLiteral("the delete question"), [] {
                 return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) != nullptr;
             });
             m_queue->Do(QStringLiteral("answer Yes"), [this] {
                 auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                 const QString file = ScreenPath(QStringLiteral("presenter-dialog"), 2);
                 m_shots.push_back({file, UiDriver::Shoot(box, m_screens + "/" + file)});
                 UiDriver::Click(box->button(QMessageBox::Yes));
             });
             WaitForConsoleRefresh([this](int n) { return n == m_total - 1; },
                                   QStringLiteral("one poll fewer in the console"));
             CheckServer(QStringLiteral("one poll fewer"), [this](const ServerTally& s, QString&) {
                 return int(s.Polls().size()) == m_total - 1;
             });
         }});
    m_steps.push_back({QStringLiteral("close the console"), [this] {
                           m_queue->Do(QStringLiteral("click the close button"), [this] {
                               UiDriver::Click(UiDriver::Child(Console(), QStringLiteral("2")));
                           });
                           m_queue->WaitUntil(QStringLiteral("the host's closing notice"), [this] {
                               return Console() == nullptr &&
                                      m_presenter.Window()->WindowsClosed() >= 1;
                           });
                       }});
}

void Walkthrough::OnFinished(bool ok, const QString& failure) {
    QString why = failure;
    if (!ok && m_current < m_steps.size()) {
        m_steps[m_current].state = QStringLiteral("FAILED");
        m_steps[m_current].seconds = double(m_stepClock.elapsed()) / 1000.0;
        ShootPresenter();  // what the screen showed when it went wrong
    }
    // Unwind whatever the failed step left open, so the nested loops end.
    while (QWidget* popup = QApplication::activePopupWidget()) popup->close();
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal) break;
    }
    if (ok) CompareCounts();
    m_succeeded = ok && m_mismatches.isEmpty();
    if (ok && !m_mismatches.isEmpty()) why = QStringLiteral("counts differ");
    WriteSummary(why);
    std::printf("quibra-host: walkthrough %s%s\n",
                m_succeeded ? "passed" : "FAILED: ", m_succeeded ? "" : qPrintable(why));
    std::fflush(stdout);
    emit Finished(m_succeeded ? 0 : 1);
}

void Walkthrough::CompareCounts() {
    const int people = static_cast<int>(m_attendees.size());
    for (const QString& title : m_pollTitles) {
        if (m_serverCounts.find(title) == m_serverCounts.end()) {
            m_mismatches.append(title + ": not on the server");
            continue;
        }
        if (m_serverVoters[title] != people)
            m_mismatches.append(QStringLiteral("%1: the server counts %2 voters, not %3")
                                    .arg(title)
                                    .arg(m_serverVoters[title])
                                    .arg(people));
        const auto& shownVoters = m_shownVoters[title];
        if (int(shownVoters.size()) != people ||
            std::any_of(shownVoters.begin(), shownVoters.end(),
                        [people](int v) { return v != people; }))
            m_mismatches.append(title + ": the result dialogs show other voter counts");
        for (const auto& [choice, serverCount] : m_serverCounts[title]) {
            const int cast = m_cast[title].count(choice) ? m_cast[title][choice] : 0;
            if (cast != serverCount)
                m_mismatches.append(QStringLiteral("%1 %2: cast %3, server %4")
                                        .arg(title, choice)
                                        .arg(cast)
                                        .arg(serverCount));
            for (const auto& shown : m_shown[title]) {
                const auto it = shown.find(choice);
                if (it == shown.end() || it->second != serverCount)
                    m_mismatches.append(QStringLiteral("%1 %2: a result dialog shows %3, server %4")
                                            .arg(title, choice)
                                            .arg(it == shown.end() ? -1 : it->second)
                                            .arg(serverCount));
            }
        }
    }
    if (m_pollTitles.isEmpty()) m_mismatches.append(QStringLiteral("no polls were counted"));
}

QString Walkthrough::Snapshot(const ServerTally& tally) {
    QString line;
    for (const ServerTally::Poll& poll : tally.Polls()) {
        line += poll.id + ":" + poll.status + ":" + QString::number(poll.voters);
        for (const ServerTally::Choice& choice : poll.choices)
            line += "," + choice.name + "=" + QString::number(choice.count);
        line += ";";
    }
    return line;
}

void Walkthrough::Impostor() {
    CheckServer(QStringLiteral("the counts before"), [this](const ServerTally& s, QString&) {
        m_beforeImpostor = Snapshot(s);
        return !s.Polls().empty() && !s.Polls().front().choices.empty();
    });
    m_queue->Do(QStringLiteral("one attendee's token votes as another and closes a poll"), [this] {
        const ServerTally::Poll& poll = m_server->Polls().front();
        const Attendee& impostor = m_attendees[0];
        const Attendee& victim = m_attendees[1];
        m_server->Send({{"job", "PostPolling"},
                        {"pollid", poll.id},
                        {"userid", victim.userId},
                        {"username", victim.name},
                        {"itemcount", "1"},
                        {"itemname_0", poll.choices.front().name}},
                       impostor.token, [this](int status) { m_impostorVote = status; });
        m_server->Send({{"job", "UpdatePollingStatus"},
                        {"pollcount", "1"},
                        {"pollid_0", poll.id},
                        {"status_0", "C"},
                        {"ispublish_0", "0"}},
                       impostor.token, [this](int status) { m_impostorClose = status; });
    });
    m_queue->WaitUntil(QStringLiteral("the server's answers"),
                       [this] { return m_impostorVote >= 0 && m_impostorClose >= 0; });
    m_queue->Do(QStringLiteral("both refused"), [this] {
        if (m_impostorVote != 403 || m_impostorClose != 403)
            return m_queue->Fail(QStringLiteral("the impostor got %1 and %2, not 403")
                                     .arg(m_impostorVote)
                                     .arg(m_impostorClose));
        m_server->Fetch();  // read afresh after the refusals
    });
    CheckServer(QStringLiteral("the counts unchanged"), [this](const ServerTally& s, QString&) {
        m_impostorChangedNothing = Snapshot(s) == m_beforeImpostor;
        return m_impostorChangedNothing;
    });
}

void Walkthrough::WriteSummary(const QString& failure) {
    QFile file(m_out + "/summary.txt");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) return;
    QTextStream out(&file);
    out.setEncoding(QStringConverter::Utf8);
    QStringList names;
    for (const Attendee& attendee : m_attendees) names.append(attendee.name);
    int done = 0;
    for (const Step& step : m_steps) done += step.state == QLatin1String("done");
    out << "Quibra demo walkthrough\n";
    out << "result: " << (m_succeeded ? "PASS" : "FAIL: " + failure) << "\n";
    out << "attendees: " << m_attendees.size() << " (" << names.join(", ") << ")\n";
    out << "run time: " << QString::number(double(m_clock.elapsed()) / 1000.0, 'f', 1) << " s\n";
    out << "steps done: " << done << "/" << m_steps.size() << "\n\n";
    out << "Steps\n";
    for (std::size_t i = 0; i < m_steps.size(); ++i)
        out << QStringLiteral("  %1  %2  %3  %4 s\n")
                   .arg(i + 1, 2)
                   .arg(m_steps[i].name, -36)
                   .arg(m_steps[i].state, -11)
                   .arg(QString::number(m_steps[i].seconds, 'f', 2), 6);
    out << "\nBallots per choice: cast / counted by the server / shown at each attendee\n";
    for (const QString& title : m_pollTitles) {
        out << "  " << title << "  (voters: server " << m_serverVoters[title] << ", shown";
        for (int v : m_shownVoters[title]) out << " " << v;
        out << ")\n";
        for (const auto& [choice, serverCount] : m_serverCounts[title]) {
            const int cast = m_cast[title].count(choice) ? m_cast[title][choice] : 0;
            out << "    " << choice << "  cast " << cast << "  server " << serverCount << "  shown";
            bool same = cast == serverCount;
            for (const auto& shown : m_shown[title]) {
                const auto it = shown.find(choice);
                const int count = it == shown.end() ? -1 : it->second;
                out << " " << count;
                same = same && count == serverCount;
            }
            out << (same ? "  ok" : "  DIFFERENT") << "\n";
        }
    }
    out << "\nWindow closed notices: presenter " << m_presenter.Window()->WindowsClosed()
        << ", attendees " << m_attendeeNotices << "\n";
    out << "Report: "
        << (m_reportBytes > 0 ? QStringLiteral("report.html (%1 bytes)").arg(m_reportBytes)
                              : QStringLiteral("none"))
        << "\n";
    out << "\nScreenshots (" << m_shots.size() << ")\n";
    for (const Screen& shot : m_shots)
        out << "  screens/" << shot.file << "  " << shot.size.width() << "x" << shot.size.height()
            << "\n";
    if (m_secured && m_attendees.size() >= 2) {
        const auto refused = [](int status) {
            return status == 403 ? QStringLiteral("refused (403)")
                                 : QStringLiteral("NOT refused (%1)").arg(status);
        };
        out << "\nImpostor (" << m_attendees[0].name << "'s token)\n";
        out << "  vote as " << m_attendees[1].name << ": " << refused(m_impostorVote) << "\n";
        out << "  close a poll: " << refused(m_impostorClose) << "\n";
        out << "  counts unchanged: " << (m_impostorChangedNothing ? "yes" : "no") << "\n";
    }
    out << "\nEvery count matches: " << (m_succeeded ? "yes" : "no") << "\n";
    for (const QString& mismatch : m_mismatches) out << "  " << mismatch << "\n";
}
