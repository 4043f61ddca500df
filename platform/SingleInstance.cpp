#include "platform/SingleInstance.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace platform {

namespace {

// The show request: a short line; anything else on the channel is ignored.
constexpr char kShowRequest[] = "show\n";
constexpr int kConnectTimeoutMs = 1000;

// Holds an exclusive lock on a file beside the channel while a start decides its role. The
// kernel drops the lock when the process dies, so a crash never leaves it held.
class StartLock {
public:
    explicit StartLock(const QString& path) {
        fd_ = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd_ >= 0) {
            while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    ~StartLock() {
        if (fd_ >= 0)
            ::close(fd_); // closing releases the lock
    }
    StartLock(const StartLock&) = delete;
    StartLock& operator=(const StartLock&) = delete;

private:
    int fd_ = -1;
};

} // namespace

QString MainWindowClassName() {
    return QStringLiteral("KestrineWithFFmpeg-MainWindow-%1").arg(::getuid());
}

InstanceChannel::InstanceChannel(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {}

InstanceChannel::~InstanceChannel() = default;

bool InstanceChannel::Claim() {
    StartLock lock(QDir(QDir::tempPath()).filePath(name_ + QStringLiteral(".lock")));

    if (SendShowRequest())
        return false;

    // Nobody answers: whatever socket file is there was left by an instance that died.
    QLocalServer::removeServer(name_);
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        // Without a channel the program still runs; it only cannot be found by a later start.
        qWarning("Kestrine: cannot listen on %s: %s", qPrintable(name_),
                 qPrintable(server_->errorString()));
        return true;
    }
    connect(server_, &QLocalServer::newConnection, this, &InstanceChannel::OnNewConnection);
    return true;
}

bool InstanceChannel::SendShowRequest() {
    QLocalSocket socket;
    socket.connectToServer(name_, QIODevice::WriteOnly);
    if (!socket.waitForConnected(kConnectTimeoutMs))
        return false;
    socket.write(kShowRequest, sizeof kShowRequest - 1);
    socket.waitForBytesWritten(kConnectTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kConnectTimeoutMs);
    return true;
}

void InstanceChannel::OnNewConnection() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        auto drain = [this, socket] {
            while (socket->canReadLine()) {
                if (socket->readLine(64) == kShowRequest)
                    emit ShowRequested();
            }
            // A show request is a few bytes; a peer that sends more is not one of ours.
            if (socket->bytesAvailable() > 64)
                socket->abort();
        };
        connect(socket, &QLocalSocket::readyRead, this, drain);
        connect(socket, &QLocalSocket::disconnected, this, [socket, drain] {
            drain();
            socket->deleteLater();
        });
        drain();
    }
}

} // namespace platform
