#pragma once
// One running instance per user. The first start takes the instance lock in the user's runtime
// folder and listens on a local socket beside it; a later start finds the lock held, connects
// to the socket, hands its URL over and ends. The connection itself asks the running instance
// to restore its window when it is minimised; the URL travels as data under the tag 1027
// (kCopyDataUrl), and the sender waits until the running instance has handled it.
//
// On the wire, one frame per hand-over: the tag and the data's size as two 32-bit
// little-endian numbers, then the data (at most kHandOverBufferBytes: the URL and a zero
// byte). The receiver answers every frame with one byte once it has handled it.
//
// The lock and the socket live in a folder of the user's own (see runtimeFolder), and either
// side talks only to a peer that runs as the same user: a URL may carry a token.

#include <QByteArray>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <memory>
#include <string>

#include "platform/instance_lock.h"
#include "platform/result.h"

class SingleInstance : public QObject {
    Q_OBJECT

public:
    enum class Role {
        First,      // this process is the running instance
        Second,     // another instance runs: hand the URL over and end
        Unguarded,  // the lock could not be taken or tested: run without the guard
    };

    // The name of the instance lock and socket.
    static constexpr const char* kInstanceName = "lumivox_comment_downloader";
    // How long a second start waits for a running instance that is still starting (not yet
    // listening), in milliseconds.
    static constexpr int kHandOverPatienceMs = 5000;
    // How long a second start waits for the running instance to handle its URL: it may be
    // busy stopping a job.
    static constexpr int kHandOverAnswerMs = 15000;

    // The socket path in `runtimeFolder` for the user `userKey`; the lock file is the same
    // path with ".lock" appended.
    static QString serverPathFor(const QString& runtimeFolder, const QString& userKey);
    // The socket path of this process's user and session; fails when the user has no private
    // runtime folder (the program then runs without the guard).
    static Result<QString> defaultServerPath();

    explicit SingleInstance(QString serverPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the instance lock, without waiting. Unguarded when there is no server path.
    Role claim();
    // The running instance (after claim() gave First or Unguarded): removes a socket that a
    // crashed instance left behind and listens. False when it cannot listen; hand-overs
    // then cannot reach this instance.
    bool listen();
    bool isListening() const { return server_ != nullptr && server_->isListening(); }

    // A second start: connects to the instance at `serverPath`, trying again for up to
    // `patienceMs` while it is not yet listening, and sends `url` cut to its first 1023 bytes
    // (an empty `url` sends nothing: the connection alone restores the window). Waits up to
    // `answerMs` for the instance to handle it. False when no instance could be reached, or
    // when the one listening runs as another user (it gets nothing).
    static bool handOver(const QString& serverPath, const std::string& url,
                         int patienceMs = kHandOverPatienceMs, int answerMs = kHandOverAnswerMs);

    // Sends one frame of `data` under `tag` over a connected socket and waits up to `answerMs`
    // for its answer. False when the frame could not be sent or was not answered.
    static bool sendFrame(QLocalSocket& socket, quint32 tag, const QByteArray& data, int answerMs);

signals:
    // A later start connected: the window restores itself when it is minimised.
    void activationRequested();
    // A frame arrived. The sender waits until the connected slots have returned.
    void dataReceived(quint32 tag, const QByteArray& data);

private:
    void acceptConnections();
    void readFrames(QLocalSocket* socket);

    QString serverPath_;
    InstanceLock lock_;
    QLocalServer* server_ = nullptr;
};
