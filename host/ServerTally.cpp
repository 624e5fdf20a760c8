#include "ServerTally.h"

#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QUrlQuery>
#include <QXmlStreamReader>

ServerTally::ServerTally(QString serverUrl, QString author, QString module, QObject* parent)
    : QObject(parent),
      m_url(std::move(serverUrl)),
      m_author(std::move(author)),
      m_module(std::move(module)),
      m_network(new QNetworkAccessManager(this)) {}

void ServerTally::Fetch() {
    m_done = false;
    m_ok = false;
    m_error.clear();
    QUrl url(m_url + "/wendrake-idm/v4/polling/get_polling.asp");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("job"), QStringLiteral("GetPollingResult"));
    query.addQueryItem(QStringLiteral("userid"), m_author);
    query.addQueryItem(QStringLiteral("modulename"), m_module);
    url.setQuery(query);
    QNetworkReply* reply = Get(url, m_token);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        std::vector<Poll> polls;
        if (reply->error() != QNetworkReply::NoError)
            m_error = reply->errorString();
        else if (!Parse(reply->readAll(), polls))
            m_error = QStringLiteral("the server's poll list could not be read");
        else {
            m_polls = std::move(polls);
            m_ok = true;
        }
        m_done = true;
        emit Fetched();
    });
}

void ServerTally::Send(const QList<QPair<QString, QString>>& fields, const QByteArray& token,
                       std::function<void(int)> done) {
    QUrl url(m_url + "/wendrake-idm/v4/polling/polling.asp");
    QUrlQuery query;
    query.setQueryItems(fields);
    url.setQuery(query);
    QNetworkReply* reply = Get(url, token);
    connect(reply, &QNetworkReply::finished, this, [reply, done] {
        reply->deleteLater();
        done(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
    });
}

QNetworkReply* ServerTally::Get(const QUrl& url, const QByteArray& token) {
    QNetworkRequest request(url);
    if (!token.isEmpty()) request.setRawHeader("Authorization", "Bearer " + token);
    if (!m_caFile.isEmpty()) {
        QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
        tls.setCaCertificates(QSslCertificate::fromPath(m_caFile));
        request.setSslConfiguration(tls);
    }
    // Loopback only: never through a proxy of the environment.
    m_network->setProxy(QNetworkProxy::NoProxy);
    QNetworkReply* reply = m_network->get(request);
    if (m_caFile.isEmpty())
        connect(reply, &QNetworkReply::sslErrors, reply, [reply] { reply->ignoreSslErrors(); });
    return reply;
}

const ServerTally::Poll* ServerTally::ByTitle(const QString& title) const {
    for (const Poll& poll : m_polls)
        if (poll.title == title) return &poll;
    return nullptr;
}

bool ServerTally::Parse(const QByteArray& xml, std::vector<Poll>& polls) {
    QXmlStreamReader reader(xml);
    bool sawRoot = false;
    auto number = [](const QStringView text) {
        bool ok = false;
        const int value = text.toInt(&ok);  // QStringView::toInt is locale-free
        return ok ? value : -1;
    };
    while (!reader.atEnd()) {
        if (!reader.readNext() || !reader.isStartElement()) continue;
        const QXmlStreamAttributes attributes = reader.attributes();
        if (!sawRoot) {
            // The list's root must come first; anything else is not a list.
            if (reader.name() != QLatin1String("Wendrake")) return false;
            sawRoot = true;
        } else if (reader.name() == QLatin1String("Record")) {
            Poll poll;
            poll.id = attributes.value("PollingId").toString();
            poll.title = attributes.value("Title").toString();
            poll.status = attributes.value("Status").toString();
            poll.published = attributes.value("IsPublish") == QLatin1String("1");
            poll.single = attributes.value("Type") == QLatin1String("S");
            poll.voters = number(attributes.value("UserCount"));
            polls.push_back(poll);
        } else if (reader.name() == QLatin1String("Item") && !polls.empty()) {
            polls.back().choices.push_back({attributes.value("ItemName").toString(),
                                            attributes.value("Content").toString(),
                                            number(attributes.value("PostCount"))});
        }
    }
    return sawRoot && !reader.hasError();
}
