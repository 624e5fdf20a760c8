#pragma once

#include <QObject>
#include <QString>
#include <vector>

class HostApp;

// The demo's scripted walkthrough (placeholder while the windows arrive).
class Walkthrough : public QObject {
    Q_OBJECT
public:
    struct Attendee {
        QString userId;
        QString name;
    };
    Walkthrough(HostApp& presenter, std::vector<Attendee> attendees, QString out,
                QString serverHttpUrl, QObject* parent = nullptr);
    bool Succeeded() const { return m_succeeded; }
    void Start();

signals:
    void Finished(int code);

private:
    HostApp& m_presenter;
    std::vector<Attendee> m_attendees;
    QString m_out;
    QString m_server;
    bool m_succeeded = false;
};
