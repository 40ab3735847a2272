#include "support/davservers.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

std::unique_ptr<Server> startServer(const QString &kind, bool tls, QString &why)
{
    auto server = std::make_unique<Server>();
    const QString program = QStandardPaths::findExecutable(kind);
    QTcpServer probe; // a free port, given back for the server to take
    if (program.isEmpty() || !probe.listen(QHostAddress::LocalHost)) {
        why = kind + " is not installed (scripts/test.sh installs it)";
        return {};
    }
    const QString port = QString::number(probe.serverPort());
    probe.close();
    const QString dir = server->dir.path();
    QStringList arguments;
    if (kind == "radicale") {
        // An address book made as Radicale keeps one; a password file in the plain form.
        QDir().mkpath(dir + "/collection-root/ann/book");
        QFile props(dir + "/collection-root/ann/book/.Radicale.props"), users(dir + "/users");
        if (!props.open(QIODevice::WriteOnly) || !props.write(R"({"tag": "VADDRESSBOOK", "D:displayname": "Ann's book"})")
            || !users.open(QIODevice::WriteOnly) || !users.write("ann:secret\n"))
            return why = "cannot write in " + dir, nullptr;
        props.close(), users.close();
        arguments = {"--config", "", "--server-hosts", "127.0.0.1:" + port, "--storage-filesystem-folder", dir,
                     "--auth-type", "htpasswd", "--auth-htpasswd-filename", dir + "/users", "--auth-htpasswd-encryption", "plain"};
        if (tls) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                                      "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem"});
            if (!openssl.waitForFinished() || openssl.exitCode() != 0)
                return why = "openssl could not make a certificate", nullptr;
            arguments << "--ssl" << "--certificate" << dir + "/cert.pem" << "--key" << dir + "/key.pem";
        }
        server->user = "ann", server->password = "secret", server->book = "/ann/book/";
    } else {
        arguments = {"--defaults", "-d", dir, "-l", "127.0.0.1", "-p", port};
        server->book = "/user/contacts/addressbook/";
    }
    server->process.setStandardOutputFile(dir + "/log");
    server->process.setStandardErrorFile(dir + "/log");
    server->process.start(program, arguments);
    server->root = QUrl((tls ? "https://127.0.0.1:" : "http://127.0.0.1:") + port + "/");
    for (int tries = 0; tries < 100; ++tries) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port.toUShort());
        if (socket.waitForConnected(100))
            return server;
        if (server->process.state() == QProcess::NotRunning)
            break;
        QTest::qWait(100);
    }
    QFile log(dir + "/log");
    why = kind + " did not start: " + (log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray());
    return {};
}


std::unique_ptr<FaultProxy> startProxy(const Server &server, QString &why)
{
    auto proxy = std::make_unique<FaultProxy>();
    proxy->process.start("python3", {KINFOLIO_FAULTPROXY, QString::number(server.root.port()), proxy->dir.filePath("rules"),
                                     proxy->dir.filePath("log")});
    if (!proxy->process.waitForReadyRead(10000))
        return why = "the fault proxy did not start: " + proxy->process.readAllStandardError(), nullptr;
    proxy->root = server.root;
    proxy->root.setPort(proxy->process.readLine().trimmed().toInt());
    return proxy;
}

bool FaultProxy::setRules(const QByteArray &rules)
{
    QFile file(dir.filePath("rules"));
    return file.open(QIODevice::WriteOnly) && file.write(rules) == rules.size();
}

QList<QByteArray> FaultProxy::log() const
{
    QFile file(dir.filePath("log"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
}
