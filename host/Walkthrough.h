#pragma once

#include <QElapsedTimer>
#include <QMap>
#include <QObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <vector>

class ActionQueue;
class HostApp;
class QTreeWidget;
class QWidget;
class ServerTally;

// The demo's scripted walkthrough, played by the presenter's host through the
// real windows (found by their item ids) while the attendees' hosts answer
// through their DemoAgent: import the sample poll file, write one poll in the
// editor, post, answer (each attendee differently), stop, publish, read the
// results at the attendees, export the HTML report, delete one poll. Every
// step leaves screenshots; the end leaves summary.txt, where the ballots per
// choice as cast, as the server counts them and as the attendees' result
// dialogs show them are set side by side.
class Walkthrough : public QObject {
    Q_OBJECT
public:
    struct Attendee {
        QString userId;
        QString name;
        QByteArray token;  // secured demo: the attendee's bearer token
    };

    // `presenterToken` set: the demo is secured, the server is read with the
    // presenter's token, and an impostor step follows the answers: the first
    // attendee's token tries to vote as the second and to close a poll.
    Walkthrough(HostApp& presenter, std::vector<Attendee> attendees, QString out, QString serverUrl,
                QByteArray presenterToken = {}, QObject* parent = nullptr);
    ~Walkthrough() override;

    // How a request reaches an attendee's agent (the demo harness's road).
    using SendFn =
        std::function<void(const QString& userId, const QString& path, const QString& xml)>;
    void SetAgentLink(SendFn send) { m_send = std::move(send); }
    // An agent's report.
    void OnAgent(const QString& from, const QString& path, const QByteArray& xml);

    void Start();
    // Every step done and every count matching.
    bool Succeeded() const { return m_succeeded; }

signals:
    void Finished(int code);

private:
    struct Step {
        QString name;
        std::function<void()> plan;  // queues the step's actions
        QString state = QStringLiteral("not reached");
        double seconds = 0;
    };
    struct Screen {
        QString file;
        QSize size;
    };
    // Per poll title: choice name -> ballots.
    using Counts = std::map<QString, std::map<QString, int>>;

    void AddSteps();
    void BeginStep(std::size_t index);
    void EndStep();
    void OnFinished(bool ok, const QString& failure);

    // Queued building blocks.
    void ClickConsoleButton(const char* id);
    void ChooseMenu(int commandId);
    void SelectAllAndClick(const char* buttonId);
    void PublishAttempt();
    void WaitForConsoleRefresh(std::function<bool(int)> countOk, const QString& what);
    void AskAgents(const QString& path, const std::function<QString(int)>& body);
    void Impostor();
    // Status, voters and counts of every poll, in one line.
    static QString Snapshot(const ServerTally& tally);
    void CheckServer(const QString& what, std::function<bool(const ServerTally&, QString&)> check);
    void AnswerFileDialog(const QString& path);
    void ShootPresenter();

    QWidget* Console() const;
    QTreeWidget* Tree() const;
    bool ConsoleReady() const;
    void CompareCounts();
    void WriteSummary(const QString& failure);
    QString ScreenPath(const QString& who, int n) const;

    HostApp& m_presenter;
    std::vector<Attendee> m_attendees;
    QString m_out;
    QString m_screens;
    ActionQueue* m_queue;
    ServerTally* m_server;
    SendFn m_send;
    std::vector<Step> m_steps;
    std::size_t m_current = 0;
    QElapsedTimer m_stepClock;
    QElapsedTimer m_clock;
    std::vector<Screen> m_shots;
    QMap<QString, QString> m_replies;  // user id -> the agent's last report
    QStringList m_agentErrors;
    Counts m_cast;
    Counts m_serverCounts;
    std::map<QString, int> m_serverVoters;
    std::map<QString, std::vector<std::map<QString, int>>> m_shown;  // per title, per attendee
    std::map<QString, std::vector<int>> m_shownVoters;
    QStringList m_pollTitles;
    QStringList m_mismatches;
    int m_imported = 0;
    int m_total = 0;
    int m_attendeeNotices = 0;
    int m_ballotNotices = 0;         // ballots the presenter's host was told of
    int m_rebuilds = 0;              // poll lists the console has shown
    int m_rebuildsAtLastBallot = 0;  // m_rebuilds when the last ballot was told
    bool m_publishClicked = false;   // this publishing attempt opened the menu
    bool m_allPublished = false;
    qint64 m_reportBytes = -1;
    bool m_succeeded = false;
    bool m_secured = false;
    QString m_beforeImpostor;
    int m_impostorVote = -1;   // HTTP status of the impostor's ballot
    int m_impostorClose = -1;  // and of its attempt to close a poll
    bool m_impostorChangedNothing = false;
};
