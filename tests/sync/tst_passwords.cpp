// Passwords through the real Secret Service: GNOME Keyring in a D-Bus session of the test's own (keyring.sh).

#include "sync/passwords.h"

#include <QTest>

#include <optional>

using namespace Sync;

class TestPasswords : public QObject
{
    Q_OBJECT

    std::pair<QString, QString> read(const QUrl &server, const QString &user)
    {
        std::optional<std::pair<QString, QString>> result;
        readPassword(this, server, user, [&](const QString &password, const QString &error) { result.emplace(password, error); });
        return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : std::pair{QString(), QString("no answer")};
    }

    QString store(const QUrl &server, const QString &user, const QString &password)
    {
        std::optional<QString> result;
        storePassword(this, server, user, password, [&](const QString &error) { result = error; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : QString("no answer");
    }

private slots:
    // Stored, replaced and read back per user and server (its path aside); another server or user has none.
    void roundTrip()
    {
        const QUrl server("https://dav.example.test:8443/remote.php/dav/");
        QCOMPARE(store(server, "ann", "first"), QString());
        QCOMPARE(store(QUrl("https://dav.example.test:8443/other/"), "ann", "s3cr\xC3\xA9t"), QString());
        QCOMPARE(read(server, "ann"), (std::pair<QString, QString>{"s3cr\xC3\xA9t", {}}));
        QCOMPARE(store(server, "bo", "bo's"), QString());
        QCOMPARE(read(server, "bo").first, "bo's");
        for (const auto &[url, user] : {std::pair{QUrl("https://dav.example.test/"), "ann"}, {server, "cy"}}) {
            const auto [password, error] = read(url, user);
            QVERIFY(password.isEmpty() && !error.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestPasswords)
#include "tst_passwords.moc"
