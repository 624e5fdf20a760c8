#include "ConferenceChannel.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QXmlStreamReader>

#include "NodeText.h"

namespace {

bool IsPathByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
           c == '_';
}

}  // namespace

ConferenceChannel::ConferenceChannel(QObject* parent) : QObject(parent) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &ConferenceChannel::TryConnect);
}

ConferenceChannel::~ConferenceChannel() {
    // Sockets go first, quietly: nobody listens to their farewells any more.
    for (const auto& peer : m_peers)
        if (peer) peer->disconnect(this);
    if (m_presenter) m_presenter->disconnect(this);
}

QString ConferenceChannel::SocketName(const std::string& session) {
    return QStringLiteral("quibra-session-") + QString::fromUtf8(session);
}

QByteArray ConferenceChannel::Encode(const std::string& path, const std::string& xml) {
    QByteArray line;
    line.reserve(static_cast<qsizetype>(path.size() + xml.size() + 2));
    line.append(path.data(), static_cast<qsizetype>(path.size()));
    line.append(' ');
    // A payload never carries a raw line break: it would end the message early.
    for (char c : xml) {
        if (c == '\n')
            line.append("&#10;");
        else if (c == '\r')
            line.append("&#13;");
        else
            line.append(c);
    }
    line.append('\n');
    return line;
}

bool ConferenceChannel::Decode(const QByteArray& line, std::string& path, std::string& xml) {
    const qsizetype space = line.indexOf(' ');
    if (space < 2 || space > 200 || line.at(0) != '/') return false;
    for (qsizetype i = 0; i < space; ++i)
        if (!IsPathByte(line.at(i))) return false;
    const QByteArray payload = line.mid(space + 1);
    if (payload.isEmpty() || payload.at(0) != '<') return false;
    path.assign(line.constData(), static_cast<std::size_t>(space));
    xml.assign(payload.constData(), static_cast<std::size_t>(payload.size()));
    return true;
}

bool ConferenceChannel::Listen(const std::string& session, QString& error) {
    m_socketName = SocketName(session);
    // A socket that answers belongs to a live presenter of the same session;
    // one that does not was left behind by a presenter that did not end
    // cleanly, and is taken over.
    QLocalSocket probe;
    probe.connectToServer(m_socketName);
    if (probe.waitForConnected(2000)) {
        error =
            QStringLiteral("another presenter already holds session ") + QString::fromUtf8(session);
        return false;
    }
    QLocalServer::removeServer(m_socketName);
    m_server = new QLocalServer(this);
    // Only this user's processes may join the conference's signalling.
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ConferenceChannel::OnNewConnection);
    if (m_server->listen(m_socketName)) return true;
    error = QStringLiteral("cannot open the conference channel ") + m_socketName + ": " +
            m_server->errorString();
    delete m_server;
    m_server = nullptr;
    return false;
}

void ConferenceChannel::Join(const std::string& session, const std::string& userId,
                             const std::string& userName, int retryMs) {
    m_socketName = SocketName(session);
    m_hello = Encode(kHelloPath, "<Attendee userid=\"" + NodeText::Escape(userId) +
                                     "\" username=\"" + NodeText::Escape(userName) + "\"/>");
    m_retry.setInterval(retryMs);
    TryConnect();
}

void ConferenceChannel::TryConnect() {
    if (m_presenter) m_presenter->deleteLater();
    auto* socket = new QLocalSocket(this);
    m_presenter = socket;
    connect(socket, &QLocalSocket::connected, this, [this, socket] {
        m_waitingLogged = false;
        m_joined = socket;
        emit Log(QStringLiteral("joined the presenter's conference channel"));
        Write(socket, m_hello);
        emit PresenterConnected();
    });
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] { OnDisconnected(socket); });
    connect(socket, &QLocalSocket::errorOccurred, this,
            [this, socket](QLocalSocket::LocalSocketError) {
                // A connection that was up ends through `disconnected` instead.
                if (socket != m_presenter || socket == m_joined) return;
                if (!m_waitingLogged) {
                    emit Log(QStringLiteral("waiting for the presenter on ") + m_socketName);
                    m_waitingLogged = true;
                }
                m_retry.start();
            });
    socket->connectToServer(m_socketName);
}

void ConferenceChannel::OnNewConnection() {
    while (QLocalSocket* socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_peers.append(socket);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
        connect(socket, &QLocalSocket::disconnected, this,
                [this, socket] { OnDisconnected(socket); });
    }
}

void ConferenceChannel::OnReadable(QLocalSocket* socket) {
    auto tooLong = [this, socket] {
        emit Log(
            QStringLiteral("a line longer than %1 bytes; closing that connection").arg(kMaxLine));
        socket->abort();
    };
    while (socket->canReadLine()) {
        QByteArray line = socket->readLine(kMaxLine + 1);
        if (!line.endsWith('\n')) return tooLong();
        line.chop(1);
        HandleLine(socket, line);
        if (socket->state() != QLocalSocket::ConnectedState) return;
    }
    if (socket->bytesAvailable() > kMaxLine) tooLong();
}

void ConferenceChannel::HandleLine(QLocalSocket* socket, const QByteArray& line) {
    const bool fromPresenter = socket == m_presenter;
    const QString from = fromPresenter ? QStringLiteral("presenter")
                                       : m_peerIds.value(socket, QStringLiteral("(unknown)"));
    std::string path;
    std::string xml;
    if (!Decode(line, path, xml)) {
        emit Log(QStringLiteral("dropped a malformed line from ") + from + ": " +
                 QString::fromUtf8(line.left(80)));
        return;
    }
    if (!fromPresenter && path == kHelloPath) {
        QXmlStreamReader reader(QByteArray::fromStdString(xml));
        if (reader.readNextStartElement() && reader.name() == QLatin1String("Attendee")) {
            const QString userId = reader.attributes().value("userid").toString();
            const QString userName = reader.attributes().value("username").toString();
            if (!userId.isEmpty()) {
                m_peerIds.insert(socket, userId);
                m_peerNames.insert(socket, userName);
                emit AttendeeJoined(userId, userName);
                return;
            }
        }
        emit Log(QStringLiteral("dropped a hello without a user id"));
        return;
    }
    if (!fromPresenter && !m_peerIds.contains(socket)) {
        emit Log(QStringLiteral("dropped a message from an attendee that has not said hello"));
        return;
    }
    emit Received(from, QString::fromStdString(path), QByteArray::fromStdString(xml));
}

void ConferenceChannel::OnDisconnected(QLocalSocket* socket) {
    if (socket == m_presenter) {
        if (socket == m_joined) {
            emit Log(QStringLiteral("the presenter has left; waiting for the next one"));
            emit PresenterLeft();
        }
        m_waitingLogged = true;
        m_retry.start();
        return;
    }
    m_peers.removeAll(socket);
    const QString userId = m_peerIds.take(socket);
    m_peerNames.remove(socket);
    if (!userId.isEmpty()) emit AttendeeLeft(userId);
    socket->deleteLater();
}

void ConferenceChannel::Write(QLocalSocket* socket, const QByteArray& line) {
    if (socket != nullptr && socket->state() == QLocalSocket::ConnectedState) socket->write(line);
}

void ConferenceChannel::Broadcast(const std::string& path, const std::string& xml) {
    const QByteArray line = Encode(path, xml);
    for (const auto& peer : m_peers)
        if (peer && m_peerIds.contains(peer.data())) Write(peer.data(), line);
}

void ConferenceChannel::SendTo(const QString& userId, const std::string& path,
                               const std::string& xml) {
    const QByteArray line = Encode(path, xml);
    for (const auto& peer : m_peers)
        if (peer && m_peerIds.value(peer.data()) == userId) Write(peer.data(), line);
}

bool ConferenceChannel::SendToPresenter(const std::string& path, const std::string& xml) {
    if (!Connected()) {
        emit Log(QStringLiteral("no presenter to send ") + QString::fromStdString(path) + " to");
        return false;
    }
    Write(m_presenter.data(), Encode(path, xml));
    return true;
}

bool ConferenceChannel::Connected() const {
    if (m_server != nullptr) return true;
    return m_presenter && m_presenter->state() == QLocalSocket::ConnectedState;
}

QStringList ConferenceChannel::Attendees() const {
    QStringList ids;
    for (auto it = m_peerIds.begin(); it != m_peerIds.end(); ++it) ids.append(it.value());
    ids.sort();
    return ids;
}
