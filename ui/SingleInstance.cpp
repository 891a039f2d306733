#include "ui/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QWidget>
#include <QtNetwork/QLocalSocket>

namespace {

constexpr int SendTimeoutMs = 2000;
constexpr qsizetype MaxMessageSize = 64;

QString InstanceName(const QString& baseName) {
    return QStringLiteral("%1-%2").arg(baseName).arg(static_cast<qulonglong>(::getuid()));
}

} // namespace

TSingleInstance::TSingleInstance(const QString& baseName, QObject* parent)
    : QObject(parent), Name(InstanceName(baseName)),
      Lock(QDir(QDir::tempPath()).filePath(Name + QStringLiteral(".lock"))) {
    // Only a lock whose process is gone counts as stale, never an old one of a live process.
    Lock.setStaleLockTime(0);
}

TSingleInstance::~TSingleInstance() {
    if (Server)
        Server->close();
    if (Lock.isLocked())
        Lock.unlock();
}

QString TSingleInstance::LockPath() const {
    return QDir(QDir::tempPath()).filePath(Name + QStringLiteral(".lock"));
}

bool TSingleInstance::Claim() {
    if (!Lock.tryLock(0)) {
        // The lock is taken, or cannot be made at all; in both cases hand over and end
        // rather than run two instances over one settings file.
        SendActivate(Name);
        return false;
    }
    // We hold the lock, so a socket file left by a crashed instance is ours to remove.
    QLocalServer::removeServer(Name);
    Server = std::make_unique<QLocalServer>();
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(Server.get(), &QLocalServer::newConnection, this, &TSingleInstance::AcceptConnections);
    if (!Server->listen(Name))
        qWarning("Single instance: cannot listen on %s: %s", qPrintable(Name),
                 qPrintable(Server->errorString()));
    return true;
}

void TSingleInstance::AcceptConnections() {
    while (QLocalSocket* socket = Server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(MaxMessageSize).trimmed();
                if (line == ActivateMessage)
                    emit ActivateRequested();
            }
            // A peer that sends no line end within the limit is not one of ours.
            if (socket->bytesAvailable() > MaxMessageSize)
                socket->abort();
        });
    }
}

bool TSingleInstance::SendActivate(const QString& serverName) {
    QLocalSocket socket;
    socket.connectToServer(serverName);
    // A first instance that is not listening yet has no window to raise; we simply end.
    if (!socket.waitForConnected(SendTimeoutMs))
        return false;
    socket.write(QByteArray(ActivateMessage) + '\n');
    const bool sent = socket.waitForBytesWritten(SendTimeoutMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(SendTimeoutMs);
    return sent;
}

void TSingleInstance::BringToFront(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}
