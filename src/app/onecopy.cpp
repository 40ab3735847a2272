#include "app/onecopy.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <unistd.h>

namespace {

const QByteArray raiseRequest = "raise\n";
const QByteArray raised = "raised\n";

// The copies of one user on one data directory meet at a socket named after
// it, in the user's own runtime directory.
QString serverName(const QString &dataDir)
{
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    const QByteArray id = QCryptographicHash::hash(QFile::encodeName(QDir(dataDir).canonicalPath()), QCryptographicHash::Sha256);
    return dir + QStringLiteral("/kinfolio-%1-").arg(::getuid()) + QString::fromLatin1(id.toHex().left(16));
}

} // namespace

OneCopy::OneCopy(const QString &dataDir)
    : m_lock(QDir(dataDir).filePath(QStringLiteral(".kinfolio.lock"))), m_serverName(serverName(dataDir))
{
    // Held for the whole run: only a copy that no longer runs leaves it stale.
    m_lock.setStaleLockTime(0);
    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                if (socket->readLine() == raiseRequest) {
                    emit raiseRequested();
                    socket->write(raised);
                    socket->flush();
                }
                socket->disconnectFromServer();
            });
        }
    });
}

bool OneCopy::lead()
{
    if (!m_lock.tryLock(0))
        return m_lock.error() != QLockFile::LockFailedError;
    // A socket left by a copy that crashed is in the way.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_serverName);
    return true;
}

bool OneCopy::raiseRunning(int milliseconds)
{
    // The running copy may be starting still and not listen yet.
    const QDeadlineTimer deadline(milliseconds);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(deadline.remainingTime()))) {
            socket.write(raiseRequest);
            return socket.waitForBytesWritten(int(deadline.remainingTime()))
                   && socket.waitForReadyRead(int(deadline.remainingTime())) && socket.readLine() == raised;
        }
        QThread::msleep(50);
    }
    return false;
}
