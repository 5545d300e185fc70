#include "gui/single_instance.h"

#include <QDeadlineTimer>
#include <QThread>
#include <QtEndian>
#include <utility>

#include "app/url_hand_over.h"
#include "platform/peer_credentials.h"
#include "platform/user_session.h"

namespace {

constexpr int kFrameHeaderBytes = 8;
// The answer to a handled frame.
constexpr char kHandled = 1;
// How long one connection attempt may take, and the pause before the next.
constexpr int kConnectAttemptMs = 500;
constexpr int kConnectPauseMs = 100;

QByteArray frameHeader(quint32 tag, quint32 size) {
    QByteArray header(kFrameHeaderBytes, '\0');
    qToLittleEndian<quint32>(tag, header.data());
    qToLittleEndian<quint32>(size, header.data() + 4);
    return header;
}

bool connectWithPatience(QLocalSocket& socket, const QString& serverPath, int patienceMs) {
    const QDeadlineTimer deadline(patienceMs);
    for (;;) {
        socket.connectToServer(serverPath);
        if (socket.waitForConnected(kConnectAttemptMs)) {
            return true;
        }
        socket.abort();
        if (deadline.hasExpired()) {
            return false;
        }
        // The instance holds the lock but does not listen yet: it is still starting.
        QThread::msleep(kConnectPauseMs);
    }
}

}  // namespace

QString SingleInstance::serverPathFor(const QString& runtimeFolder, const QString& userKey) {
    return runtimeFolder + QLatin1Char('/') + QLatin1String(kInstanceName) + QLatin1Char('-') +
           userKey;
}

Result<QString> SingleInstance::defaultServerPath() {
    const Result<std::string> folder = runtimeFolder();
    if (!folder) {
        return folder.failure();
    }
    return serverPathFor(QString::fromStdString(*folder), QString::fromStdString(userKey()));
}

SingleInstance::SingleInstance(QString serverPath, QObject* parent)
    : QObject(parent),
      serverPath_(std::move(serverPath)),
      lock_((serverPath_ + QStringLiteral(".lock")).toStdString()) {}

SingleInstance::~SingleInstance() {
    if (server_ != nullptr) {
        server_->close();  // removes the socket file
    }
}

SingleInstance::Role SingleInstance::claim() {
    if (serverPath_.isEmpty()) {
        return Role::Unguarded;
    }
    switch (lock_.acquire()) {
        case InstanceLock::State::Held:
            return Role::First;
        case InstanceLock::State::HeldElsewhere:
            return Role::Second;
        case InstanceLock::State::Unavailable:
            break;
    }
    return Role::Unguarded;
}

bool SingleInstance::listen() {
    if (isListening()) {
        return true;
    }
    if (serverPath_.isEmpty()) {
        return false;
    }
    // Only the lock holder gets here (or an unguarded instance), so a socket file that is
    // there belongs to an instance that has ended without removing it.
    QLocalServer::removeServer(serverPath_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(serverPath_)) {
        delete server_;
        server_ = nullptr;
        return false;
    }
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::acceptConnections);
    return true;
}

void SingleInstance::acceptConnections() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        if (!peerIsThisUser(static_cast<int>(socket->socketDescriptor()))) {
            // Another user's process: it neither restores the window nor hands anything over.
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readFrames(socket); });
        emit activationRequested();
        readFrames(socket);  // data may have arrived with the connection
    }
}

void SingleInstance::readFrames(QLocalSocket* socket) {
    while (socket->bytesAvailable() >= kFrameHeaderBytes) {
        const QByteArray header = socket->peek(kFrameHeaderBytes);
        const quint32 tag = qFromLittleEndian<quint32>(header.constData());
        const quint32 size = qFromLittleEndian<quint32>(header.constData() + 4);
        if (size > kHandOverBufferBytes) {
            socket->abort();  // not a sender of ours
            return;
        }
        if (socket->bytesAvailable() < kFrameHeaderBytes + static_cast<qint64>(size)) {
            return;  // the rest follows
        }
        socket->read(kFrameHeaderBytes);
        const QByteArray data = socket->read(size);
        emit dataReceived(tag, data);
        socket->write(&kHandled, 1);
        socket->flush();
    }
}

bool SingleInstance::sendFrame(QLocalSocket& socket, quint32 tag, const QByteArray& data,
                               int answerMs) {
    socket.write(frameHeader(tag, static_cast<quint32>(data.size())) + data);
    if (!socket.waitForBytesWritten(answerMs)) {
        return false;
    }
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(answerMs)) {
            return false;
        }
    }
    return socket.read(1) == QByteArray(1, kHandled);
}

bool SingleInstance::handOver(const QString& serverPath, const std::string& url, int patienceMs,
                              int answerMs) {
    QLocalSocket socket;
    if (!connectWithPatience(socket, serverPath, patienceMs) ||
        !peerIsThisUser(static_cast<int>(socket.socketDescriptor()))) {
        return false;
    }
    if (!url.empty()) {
        // The URL as the 1024-byte buffer of the hand-over holds it: with its terminator.
        QByteArray data = QByteArray::fromStdString(handOverText(url));
        data.append('\0');
        sendFrame(socket, kCopyDataUrl, data, answerMs);
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) {
        socket.waitForDisconnected(answerMs);
    }
    return true;
}
