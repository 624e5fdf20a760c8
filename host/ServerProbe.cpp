#include "ServerProbe.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QTimer>
#include <QUrlQuery>

namespace ServerProbe {

namespace {

QString BaseUrl(const std::string& host, int port, bool ssl) {
    return QString::fromLatin1(ssl ? "https://" : "http://") + QString::fromStdString(host) + ":" +
           QString::number(port);
}

}  // namespace

bool Ask(const QString& baseUrl, int timeoutMs, QString& why, int& status, const std::string& token,
         bool* bearer) {
    status = 0;
    if (bearer != nullptr) *bearer = false;
    QUrl url(baseUrl + "/wendrake-idm/v4/polling/get_polling.asp");
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("job"), QStringLiteral("GetPollingInfo"));
    query.addQueryItem(QStringLiteral("pollcount"), QStringLiteral("0"));
    url.setQuery(query);
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(url);
    request.setTransferTimeout(timeoutMs);
    if (!token.empty())
        request.setRawHeader("Authorization", "Bearer " + QByteArray::fromStdString(token));
    QNetworkReply* reply = network.get(request);
    QObject::connect(reply, &QNetworkReply::sslErrors, reply,
                     [reply] { reply->ignoreSslErrors(); });
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    // The transfer time-out does not cover every stall; this does.
    QTimer::singleShot(timeoutMs + 500, &loop, [reply] { reply->abort(); });
    if (!reply->isFinished()) loop.exec();
    status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool ok = reply->error() == QNetworkReply::NoError && status == 200;
    if (!ok) why = status != 0 ? QStringLiteral("HTTP %1").arg(status) : reply->errorString();
    if (bearer != nullptr && status == 401)
        *bearer = reply->rawHeader("WWW-Authenticate").startsWith("Bearer");
    reply->deleteLater();
    return ok;
}

bool Check(const std::string& host, int port, bool ssl, QString& message, const std::string& token,
           int timeoutMs) {
    const QString chosen = BaseUrl(host, port, ssl);
    QString why;
    int status = 0;
    bool bearer = false;
    if (Ask(chosen, timeoutMs, why, status, token, &bearer)) return true;
    const QString where = QStringLiteral("%1:%2").arg(QString::fromStdString(host)).arg(port);
    if (bearer) {
        message =
            token.empty()
                ? QStringLiteral(
                      "the PollServer at %1 requires a bearer token: "
                      "use --token")
                      .arg(where)
                : QStringLiteral("the PollServer at %1 refused the token (%2)").arg(where, why);
        return false;
    }
    if (status != 0) {
        message = QStringLiteral(
                      "the server at %1 answered %2 to a PollServer request (%3): is "
                      "this the PollServer's address?")
                      .arg(where, why, chosen);
        return false;
    }
    QString otherWhy;
    int otherStatus = 0;
    const QString other = BaseUrl(host, port, !ssl);
    if (Ask(other, timeoutMs, otherWhy, otherStatus)) {
        message = QStringLiteral(
                      "the PollServer at %1 does not answer %2: this is an %3 server: "
                      "use --server %4")
                      .arg(where, ssl ? QStringLiteral("HTTPS") : QStringLiteral("HTTP"),
                           ssl ? QStringLiteral("HTTP") : QStringLiteral("HTTPS"), other);
        return false;
    }
    message = QStringLiteral("cannot reach the PollServer at %1 (%2)").arg(where, why);
    return false;
}

}  // namespace ServerProbe
