#pragma once

// CardDAV servers for the sync tests on loopback, ended with the object.

#include <QProcess>
#include <QTemporaryDir>
#include <QUrl>

#include <QTest>

#include <functional>
#include <memory>
#include <optional>

// Killed with the object: a server holding a client's connection takes seconds to end when asked.
struct Started
{
    QTemporaryDir dir;
    QProcess process;
    QUrl root;

    ~Started()
    {
        process.kill();
        process.waitForFinished();
    }
};

struct Server : Started
{
    QString user, password;
    QString book; // the path of the address book the server holds
};

// "radicale" with a password (over TLS if asked) or "xandikos" with no login; null and why, where it cannot start.
std::unique_ptr<Server> startServer(const QString &kind, bool tls, QString &why);

// Fails the requests its rules name (see faultproxy.py).
struct FaultProxy : Started // root: the server's root, reached through the proxy
{
    // Lines of "METHOD N ACTION [SECONDS]", counted from now.
    bool setRules(const QByteArray &rules);
    // A line per request: "time METHOD path status-or-action".
    QList<QByteArray> log() const;
};

std::unique_ptr<FaultProxy> startProxy(const Server &server, QString &why);

// Waits for a call's callback and gives back what it was handed.
template<typename... R>
std::tuple<R...> wait(const std::type_identity_t<std::function<void(std::function<void(const R &...)>)>> &call)
{
    std::optional<std::tuple<R...>> result;
    call([&](const R &...r) { result.emplace(r...); });
    if (!QTest::qWaitFor([&] { return result.has_value(); }, 180000))
        return {};
    return *result;
}
