// The CardDAV client against Radicale and Xandikos on loopback.

#include "support/davservers.h"
#include "sync/carddav.h"

#include <QFile>
#include <QSslCertificate>
#include <QTest>
#include <QUuid>

#include <memory>

using namespace CardDav;

namespace {

QByteArray card(const QString &uid, const QString &name)
{
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid + "\r\nFN:" + name + "\r\nN:" + name + ";;;;\r\nEND:VCARD\r\n").toUtf8();
}

} // namespace

class TestCardDav : public QObject
{
    Q_OBJECT

    std::map<QString, std::unique_ptr<Server>> servers;

    Server *server(Client &client)
    {
        QFETCH(QString, kind);
        Server *server = servers[kind].get();
        if (server)
            client.setCredentials(server->user, server->password);
        return server;
    }

    QUrl bookOf(const Server *server) { return server->root.resolved(QUrl(server->book)); }

private slots:
    void initTestCase()
    {
        for (const QString kind : {"radicale", "xandikos"}) {
            QString why;
            servers[kind] = startServer(kind, false, why);
            if (!servers[kind]) {
                QVERIFY2(qEnvironmentVariable("CI") != "true", qPrintable(why)); // on CI a failure, never a skip
                QSKIP(qPrintable(why));
            }
        }
    }

    void cleanupTestCase() { servers.clear(); }

    // The address book is found from the root, the well-known address, the principal and its own address.
    void discovery_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("start");
        for (const char *kind : {"radicale", "xandikos"}) {
            QTest::addRow("%s root", kind) << kind << "/";
            QTest::addRow("%s well-known", kind) << kind << "/.well-known/carddav";
            QTest::addRow("%s principal", kind) << kind << "<principal>";
            QTest::addRow("%s address book", kind) << kind << "<book>";
        }
    }

    void discovery()
    {
        QFETCH(QString, start);
        Client client;
        Server *s = server(client);
        const QString principal = s->book.section('/', 0, 1) + '/';
        const QUrl url = s->root.resolved(QUrl(start.replace("<principal>", principal).replace("<book>", s->book)));
        auto [outcome, books] = wait<Outcome, QList<AddressBook>>([&](auto done) { client.findAddressBooks(url, done); });
        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(books.size(), 1);
        QCOMPARE(books[0].url, bookOf(s));
        QCOMPARE(books[0].versions, QStringList{"3.0"});
        QVERIFY(books[0].syncCollection);
        QCOMPARE(books[0].displayName, s->user.isEmpty() ? "addressbook" : "Ann's book");
    }

    // No create makes a second card, no write touches a card changed since its ETag; listings and changes say what happened.
    void writes_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("radicale") << "radicale";
        QTest::newRow("xandikos") << "xandikos";
    }

    void writes()
    {
        Client client;
        Server *s = server(client);
        const QUrl book = bookOf(s);
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces), other = QUuid::createUuid().toString(QUuid::WithoutBraces);

        auto [created, entry] = wait<Outcome, Entry>([&](auto done) { client.create(book, uid, card(uid, "Ann"), done); });
        QVERIFY2(created.ok(), qPrintable(created.error));
        QCOMPARE(entry.href, s->book + uid + ".vcf");
        auto [again, same] = wait<Outcome, Entry>([&](auto done) { client.create(book, uid, card(uid, "Ann again"), done); });
        QCOMPARE(again.kind, Outcome::Precondition);
        auto [second, otherEntry] = wait<Outcome, Entry>([&](auto done) { client.create(book, other, card(other, "Bo"), done); });
        QVERIFY(second.ok());
        // Servers may leave out a card made and removed since a token: both are made before it.
        auto [before, token] = wait<Outcome, Changes>([&](auto done) { client.changes(book, {}, done); });
        QVERIFY2(before.ok(), qPrintable(before.error));
        QVERIFY(token.changed.contains(entry) && token.changed.contains(otherEntry));

        auto [updated, newer] = wait<Outcome, Entry>([&](auto done) { client.update(book, entry, card(uid, "Ann Lee"), done); });
        QVERIFY2(updated.ok(), qPrintable(updated.error));
        QVERIFY(newer.etag != entry.etag);
        auto [stale, staleEntry] = wait<Outcome, Entry>([&](auto done) { client.update(book, entry, card(uid, "Ann Old"), done); });
        QCOMPARE(stale.kind, Outcome::Precondition);
        auto [staleRemove] = wait<Outcome>([&](auto done) { client.remove(book, entry, done); });
        QCOMPARE(staleRemove.kind, Outcome::Precondition);

        auto [listed, entries] = wait<Outcome, QList<Entry>>([&](auto done) { client.list(book, done); });
        QVERIFY2(listed.ok(), qPrintable(listed.error));
        QVERIFY(entries.contains(newer) && !entries.contains(entry) && entries.contains(otherEntry));
        // Among many gone, across more than one request.
        QStringList hrefs;
        for (int i = 0; i < 450; ++i)
            hrefs.append(s->book + QString("missing-%1.vcf").arg(i));
        hrefs[200] = newer.href, hrefs[399] = otherEntry.href;
        QHash<QString, std::pair<Entry, QByteArray>> fetched; // by href: a server answers in an order of its own
        auto [got] = wait<Outcome>([&](auto done) {
            client.fetch(book, hrefs, [&](const Entry &e, const QByteArray &b) { fetched.insert(e.href, {e, b}); }, done);
        });
        QVERIFY2(got.ok(), qPrintable(got.error));
        QCOMPARE(fetched.size(), 2);
        QCOMPARE(fetched.value(newer.href).first, newer);
        QVERIFY(fetched.value(newer.href).second.contains("FN:Ann Lee"));
        QCOMPARE(fetched.value(otherEntry.href).first, otherEntry);

        auto [removed] = wait<Outcome>([&](auto done) { client.remove(book, otherEntry, done); });
        QVERIFY2(removed.ok(), qPrintable(removed.error));
        auto [gone] = wait<Outcome>([&](auto done) { client.remove(book, otherEntry, done); });
        QVERIFY(gone.ok());

        auto [since, changes] = wait<Outcome, Changes>([&](auto done) { client.changes(book, token.token, done); });
        QVERIFY2(since.ok(), qPrintable(since.error));
        QCOMPARE(changes.changed, QList<Entry>{newer});
        QCOMPARE(changes.removed, QStringList{otherEntry.href});
        auto [unknown, none] = wait<Outcome, Changes>([&](auto done) { client.changes(book, token.token + "x", done); });
        QCOMPARE(unknown.kind, Outcome::Precondition);
    }

    // A wrong password says so; a certificate trusted for another server is refused.
    void refusals()
    {
        Client client;
        const Server *s = servers["radicale"].get(); // Xandikos has neither a login nor TLS
        client.setCredentials("ann", "wrong");
        auto [refused, none] = wait<Outcome, QList<AddressBook>>([&](auto done) { client.findAddressBooks(s->root, done); });
        QCOMPARE(refused.status, 401);
        QVERIFY(refused.error.startsWith("The server refused the user name or password"));

        QString why;
        auto tls = startServer("radicale", true, why);
        QVERIFY2(tls, qPrintable(why));
        client.setCredentials(tls->user, tls->password);
        const QByteArray digest = QSslCertificate::fromPath(tls->dir.filePath("cert.pem")).value(0).digest(QCryptographicHash::Sha256);
        client.trustCertificate(QUrl("https://127.0.0.1:1/"), digest); // another port: another server
        auto [untrusted, no] = wait<Outcome, QList<AddressBook>>([&](auto done) { client.findAddressBooks(tls->root, done); });
        QCOMPARE(untrusted.certificate, digest);
    }
};

QTEST_GUILESS_MAIN(TestCardDav)
#include "tst_carddav.moc"
