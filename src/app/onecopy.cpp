#include "app/onecopy.h"

#include "store/paths.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QPointer>
#include <QStandardPaths>
#include <QSysInfo>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const QByteArray raiseRequest = "raise\n";
const QByteArray raised = "raised\n";
const QByteArray syncRequest = "sync\n";

QString reason(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// Whether dir is a directory of this user's alone; why not in problem.
bool isPrivateDir(const QString &dir, QString &problem)
{
    struct stat status{};
    if (::lstat(QFile::encodeName(dir).constData(), &status) != 0)
        problem = dir + QStringLiteral(": ") + reason(errno);
    else if (!S_ISDIR(status.st_mode))
        problem = dir + QStringLiteral(" is not a folder");
    else if (status.st_uid != ::geteuid())
        problem = dir + QStringLiteral(" belongs to another user");
    else if ((status.st_mode & 077) != 0)
        problem = QStringLiteral("other users can reach ") + dir + QStringLiteral(" (make it yours alone: chmod 700 ") + dir
                  + u')';
    else
        return true;
    return false;
}

// Where this user's copies on this machine meet: the session's runtime
// directory, or else one in the user's own cache named after the machine,
// which no other user can have made first (a name in /tmp anyone can take).
QString runtimeDir(QString &problem)
{
    const QString session = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString ignored;
    if (QDir::isAbsolutePath(session) && isPrivateDir(session, ignored))
        return session;
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (cache.isEmpty()) {
        problem = QStringLiteral("there is no runtime folder (XDG_RUNTIME_DIR) and no home");
        return {};
    }
    const QString dir = cache + QStringLiteral("/kinfolio/runtime-") + QSysInfo::machineHostName();
    Store::makePrivateDirs(dir);
    return isPrivateDir(dir, problem) ? dir : QString();
}

} // namespace

OneCopy::OneCopy(const QString &dataDir, Role role) : m_dataDir(dataDir), m_role(role), m_dir(runtimeDir(m_problem))
{
    // Named after the data directory, so copies on other data never meet.
    QString key = QDir(dataDir).canonicalPath();
    if (key.isEmpty())
        key = QDir::cleanPath(QDir(dataDir).absolutePath());
    const QByteArray id = QCryptographicHash::hash(QFile::encodeName(key), QCryptographicHash::Sha256).toHex().left(16);
    m_serverName = m_dir + QStringLiteral("/kinfolio-") + QString::fromLatin1(id);
    m_lockPath = m_serverName + QStringLiteral(".lock");

    connect(&m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine())
                    return;
                const QByteArray request = socket->readLine();
                if (request == raiseRequest) {
                    emit raiseRequested();
                    socket->write(raised);
                    socket->flush();
                } else if (request == syncRequest) {
                    // The answer waits for the sync; the asker may be gone by then.
                    emit syncRequested([socket = QPointer<QLocalSocket>(socket)](const QString &line, const QString &error) {
                        if (!socket)
                            return;
                        // A line each: the report's own line breaks escaped.
                        QString report = line;
                        report.replace(u'\\', QStringLiteral("\\\\")).replace(u'\n', QStringLiteral("\\n"));
                        socket->write(QString(report + u'\n' + QString(error).replace(u'\n', u' ') + u'\n').toUtf8());
                        socket->disconnectFromServer();
                    });
                    return;
                }
                socket->disconnectFromServer();
            });
        }
    });
}

OneCopy::~OneCopy()
{
    if (m_fd < 0)
        return;
    m_server.close();
    // Deleted while still held: a copy that opened it meanwhile sees that it
    // no longer has the name and tries again.
    ::unlink(QFile::encodeName(m_lockPath).constData());
    ::close(m_fd);
}

bool OneCopy::lead(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    for (;;) {
        if (tryLead())
            break;
        // A window holds it for as long as the user works in it: not worth waiting for.
        if (m_holder == Holder::Nobody || m_holder == Holder::Window || deadline.hasExpired())
            return false;
        QThread::msleep(50);
    }
    if (m_role == Role::Window) {
        // A socket left by a copy that crashed is in the way.
        QLocalServer::removeServer(m_serverName);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        m_server.listen(m_serverName);
    }
    return true;
}

bool OneCopy::tryLead()
{
    m_holder = Holder::Nobody;
    if (m_fd >= 0 || m_dir.isEmpty())
        return m_fd >= 0;
    const QByteArray path = QFile::encodeName(m_lockPath);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = ::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
        if (fd < 0) {
            m_problem = m_lockPath + QStringLiteral(": ") + reason(errno);
            return false;
        }
        struct stat opened{};
        if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid()) {
            m_problem = m_lockPath + QStringLiteral(" is not a file of your own");
            ::close(fd);
            return false;
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK) {
                // "<process id> <role>", written by the holder just after it took the lock.
                char text[64] = {};
                const QList<QByteArray> said = QByteArray(text, qMax(::pread(fd, text, sizeof text - 1, 0), ssize_t(0))).split(' ');
                m_holderPid = said.value(0).toLongLong();
                const QByteArray role = said.value(1).trimmed();
                m_holder = role == "window" ? Holder::Window : role == "import" ? Holder::Import : Holder::Other;
            } else {
                m_problem = m_lockPath + QStringLiteral(": ") + reason(errno);
            }
            ::close(fd);
            return false;
        }
        struct stat named{};
        if (::stat(path.constData(), &named) == 0 && named.st_dev == opened.st_dev && named.st_ino == opened.st_ino) {
            const char *const role = m_role == Role::Window ? " window\n" : m_role == Role::Import ? " import\n" : " export\n";
            const QByteArray holder = QByteArray::number(::getpid()) + role;
            // A lock whose note cannot be written is held all the same; only who holds it goes untold.
            const bool noted = ::ftruncate(fd, 0) == 0 && ::pwrite(fd, holder.constData(), size_t(holder.size()), 0) == holder.size();
            Q_UNUSED(noted);
            m_fd = fd;
            return true;
        }
        ::close(fd); // the lock of a copy that has just ended
    }
    m_problem = m_lockPath + QStringLiteral(" keeps changing");
    return false;
}

QString OneCopy::refusal() const
{
    const QString data = QStringLiteral("the data in ") + m_dataDir;
    const QString process = m_holderPid > 0 ? QStringLiteral(" (process %1)").arg(m_holderPid) : QString();
    const bool window = m_role == Role::Window;
    switch (m_holder) {
    case Holder::Window:
        return window ? QStringLiteral("Kinfolio is already open with ") + data
                            + QStringLiteral(" but does not answer. Please close it, then start Kinfolio again.")
                      : QStringLiteral("Kinfolio is open with ") + data
                            + QStringLiteral("; import from its File menu, or close it first");
    case Holder::Import:
        return window ? QStringLiteral("Contacts are being imported into ") + data + QStringLiteral(" from the command line")
                            + process + QStringLiteral(". Please start Kinfolio again once the import has ended.")
                      : QStringLiteral("another import") + process + QStringLiteral(" is adding contacts to ") + data
                            + QStringLiteral("; try again once it has ended");
    case Holder::Other:
        return (window ? QStringLiteral("Another copy of Kinfolio") : QStringLiteral("another copy of Kinfolio")) + process
               + QStringLiteral(" is working on ") + data
               + (window ? QStringLiteral(". Please start Kinfolio again once it has ended.") : QStringLiteral("; try again once it has ended"));
    case Holder::Nobody:
        break;
    }
    return window ? QStringLiteral("Kinfolio cannot make sure it is the only copy working on ") + data
                        + QStringLiteral(", so it does not open: ") + m_problem + u'.'
                  : QStringLiteral("cannot make sure no other copy of Kinfolio works on ") + data
                        + QStringLiteral(", so nothing was imported: ") + m_problem;
}

bool OneCopy::connectToWindow(QLocalSocket &socket, const QDeadlineTimer &deadline)
{
    const QByteArray socketPath = QFile::encodeName(m_serverName);
    // The running copy may be starting still and not listen yet.
    while (!deadline.hasExpired()) {
        // Only a window of this user's own is asked.
        struct stat status{};
        if (::lstat(socketPath.constData(), &status) == 0 && (!S_ISSOCK(status.st_mode) || status.st_uid != ::geteuid()))
            return false;
        socket.connectToServer(m_serverName);
        if (socket.waitForConnected(int(deadline.remainingTime())))
            return true;
        QThread::msleep(50);
    }
    return false;
}

bool OneCopy::raiseRunning(int milliseconds)
{
    const QDeadlineTimer deadline(milliseconds);
    QLocalSocket socket;
    if (!connectToWindow(socket, deadline))
        return false;
    socket.write(raiseRequest);
    return socket.waitForBytesWritten(int(deadline.remainingTime())) && socket.waitForReadyRead(int(deadline.remainingTime()))
           && socket.readLine() == raised;
}

bool OneCopy::askToSync(QString &line, QString &error)
{
    QLocalSocket socket;
    if (!connectToWindow(socket, QDeadlineTimer(5000)))
        return false;
    socket.write(syncRequest);
    // However long the sync takes: a window that ends closes the connection.
    QByteArray answer;
    while (answer.count('\n') < 2 && (socket.bytesAvailable() > 0 || socket.waitForReadyRead(-1)))
        answer += socket.readAll();
    const QList<QByteArray> lines = answer.split('\n');
    if (lines.size() < 3)
        return false;
    line.clear();
    const QString report = QString::fromUtf8(lines[0]);
    for (qsizetype i = 0; i < report.size(); ++i) {
        if (report[i] == u'\\' && i + 1 < report.size())
            line += report[++i] == u'n' ? u'\n' : report[i];
        else
            line += report[i];
    }
    error = QString::fromUtf8(lines[1]);
    return true;
}
