#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

class QNetworkAccessManager;
class QNetworkReply;

// The PollServer's own account of a presenter's polls ("GetPollingResult"
// straight from the result script), against which the walkthrough checks
// what the windows showed.
class ServerTally : public QObject {
    Q_OBJECT
public:
    struct Choice {
        QString name;
        QString content;
        int count = -1;
    };
    struct Poll {
        QString id;
        QString title;
        QString status;  // N, O, C
        bool published = false;
        bool single = false;
        int voters = -1;
        std::vector<Choice> choices;
    };

    // `serverUrl`: http://host:port or https://host:port. The server's
    // certificate is not checked, as the plug-in does not check it either.
    ServerTally(QString serverUrl, QString author, QString module, QObject* parent = nullptr);

    // Starts a fetch; Done() turns true (and Fetched is emitted) when it has
    // ended, well or not.
    void Fetch();
    // Sent as a bearer token with every request from now on; empty: none.
    void SetToken(QByteArray token) { m_token = std::move(token); }
    // HTTPS verified against these CAs (a PEM file) from now on; without one
    // any certificate is accepted, as the plug-in does without ServerCAFile.
    void SetCaFile(QString file) { m_caFile = std::move(file); }
    // One job on the polling script with `token`; `done` gets the HTTP status
    // (0 when no reply came).
    void Send(const QList<QPair<QString, QString>>& fields, const QByteArray& token,
              std::function<void(int)> done);
    bool Done() const { return m_done; }
    bool Ok() const { return m_ok; }
    const QString& Error() const { return m_error; }
    const std::vector<Poll>& Polls() const { return m_polls; }
    const Poll* ByTitle(const QString& title) const;

    // Reads a list document; false for anything else.
    static bool Parse(const QByteArray& xml, std::vector<Poll>& polls);

signals:
    void Fetched();

private:
    QString m_url;
    QString m_author;
    QString m_module;
    QByteArray m_token;
    QString m_caFile;
    // The request to `url` with the token and the TLS settings; a reply that
    // may skip certificate checks does so.
    QNetworkReply* Get(const QUrl& url, const QByteArray& token);
    QNetworkAccessManager* m_network;
    bool m_done = true;
    bool m_ok = false;
    QString m_error;
    std::vector<Poll> m_polls;
};
