// What a sync decides from what each side did, and a card merged field by field, in small tables; passwords in the real
// Secret Service (GNOME Keyring, in the D-Bus session keyring.sh starts); the CardDAV client, and the book synced by the
// real program, with Radicale and with Xandikos, each started once and emptied for every test.

#include "model/addressbook.h"
#include "support/davservers.h"
#include "support/testsupport.h"
#include "app/onecopy.h"
#include "sync/carddav.h"
#include "sync/decisions.h"
#include "sync/passwords.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QNetworkAccessManager>
#include <QNetworkReply>

#include <QRandomGenerator>
#include <QSslCertificate>
#include <QTemporaryFile>

#include <sys/resource.h>

using CardDav::Client, CardDav::Entry, CardDav::Outcome;
using namespace Sync;

namespace {

const QString planned = "/b/"; // the address book the plans are for

// "a:1 b:2": UIDs (or cards' names) and ETags.
QHash<QString, QByteArray> pairs(const QString &text)
{
    QHash<QString, QByteArray> result;
    for (const QString &pair : text.split(' ', Qt::SkipEmptyParts))
        result.insert(pair.section(':', 0, 0), pair.section(':', 1).toUtf8());
    return result;
}

// The plan, hrefs by their cards' names.
QString describe(const Plan &plan)
{
    QStringList lines;
    const auto line = [&](const char *name, QStringList items) {
        if (!items.isEmpty())
            lines.append(name + (": " + items.replaceInStrings(planned, "").replaceInStrings(".vcf", "").join(' ')));
    };
    line("create", plan.create), line("update", plan.update), line("merge", plan.merge);
    line("remove there", plan.removeThere), line("remove here", plan.removeHere), line("forget", plan.forget);
    line("fetch", plan.fetch);
    QStringList conflicts;
    for (const Conflict &conflict : plan.conflicts)
        conflicts.append(conflict.uid + (conflict.kind == Conflict::RemovedHereChangedThere ? " removed here" : " removed there"));
    line("conflict", conflicts);
    return lines.join("; ");
}

QByteArray card(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + QByteArray(lines).replace("|", "\r\n") + "\r\nEND:VCARD\r\n";
}

// A card with properties no box shows, and one in two lines.
const QByteArray ann = card("UID:a|FN:Ann Lee|N:Lee;Ann;;;|ORG:Acme;Sales|item1.EMAIL;TYPE=INTERNET:ann@acme.test"
                            "|item1.X-ABLabel:_$!<Work>!$_|EMAIL;TYPE=HOME:ann@home.test|TEL;TYPE=CELL,VOICE:0700 1|"
                            "X-OTHER-APP;X-P=\"a,b\":kept|NOTE:long note fol\r\n ded|CATEGORIES:Family,Work");

QStringList kinfolio(const QStringList &arguments, const QByteArray &input = {})
{
    return runProgram(KINFOLIO_PROGRAM, arguments, {}, input);
}

// A run of the program that must end well; what it printed where it did not.
#define ENDED_WELL(run)                                                                                                \
    do {                                                                                                               \
        const QStringList ran = run;                                                                                   \
        QVERIFY2(ran.value(0) == "0", qPrintable(ran.join('\n')));                                                    \
    } while (false)
#define SYNCED() ENDED_WELL(kinfolio({"--sync"}))

// kinfolio --sync killed between `from` and `to` ms after it started; few files open, so cards are stored in groups of 16.
bool syncKilled(int from, int to)
{
    QProcess sync;
    sync.setChildProcessModifier([] {
        const rlimit files{300, 300};
        ::setrlimit(RLIMIT_NOFILE, &files);
    });
    sync.start(KINFOLIO_PROGRAM, {"--sync"});
    if (!sync.waitForStarted())
        return false;
    QTest::qWait(QRandomGenerator::global()->bounded(from, to));
    sync.kill();
    sync.waitForFinished(); // false where it had ended by itself already
    return true;
}

QByteArray card(const QString &uid, const QString &name, const QByteArray &more = {})
{
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" + uid.toUtf8() + "\r\nFN:" + name.toUtf8() + "\r\nN:" + name.toUtf8()
           + ";;;;\r\nCATEGORIES:Friends\r\n" + more + "END:VCARD\r\n";
}

} // namespace

class TestBookSync : public QObject
{
    Q_OBJECT

    // Starting a server costs more than most tests: one of each kind, with its fault proxy, serves them all.
    std::map<QString, std::pair<std::unique_ptr<Server>, std::unique_ptr<FaultProxy>>> servers;
    std::unique_ptr<Server> tls;
    Server *server = nullptr;
    FaultProxy *proxy = nullptr;
    Client client;
    QUrl book;

    // The row's server emptied and the client logged in; the program set up to sync with it (through the proxy) unless
    // left to the test. radicaleOnly: for a test one server proves, false on the other rows.
    enum class Start { Synced, Proxied, Unset, ProxiedUnset, Tls };
    bool setUp(Start how = Start::Synced, bool radicaleOnly = false)
    {
        QFETCH_GLOBAL(QString, kind);
        if (radicaleOnly && kind != "radicale")
            return false;
        QString why;
        auto &[shared, sharedProxy] = servers[kind];
        if (how == Start::Tls)
            tls = startServer(kind, true, why);
        else if (!shared)
            shared = startServer(kind, false, why);
        server = how == Start::Tls ? tls.get() : shared.get();
        const bool proxied = how == Start::Proxied || how == Start::ProxiedUnset;
        if (server && proxied && !sharedProxy)
            sharedProxy = startProxy(*server, why);
        proxy = proxied ? sharedProxy.get() : nullptr;
        if (!server || (proxied && !proxy)) {
            [&] { QVERIFY2(qEnvironmentVariable("CI") != "true", qPrintable(why)); }(); // on CI a failure, never a skip
            if (!QTest::currentTestFailed())
                QTest::qSkip(qPrintable(why), __FILE__, __LINE__);
            return false;
        }
        client.setCredentials(server->user, server->password);
        book = server->root.resolved(QUrl(server->book));
        if (how == Start::Tls)
            return true;
        for (const Entry &entry : listThere())
            wait<Outcome>([&](auto done) { client.remove(book, entry, done); });
        if (proxy)
            proxy->setRules({}); // those the last test left
        if (how == Start::Unset || how == Start::ProxiedUnset)
            return true;
        const QUrl root = proxy ? proxy->root : server->root;
        const QStringList set = kinfolio({"--sync-settings", root.toString(), "--user", server->user}, server->password.toUtf8() + '\n');
        [&] { QCOMPARE(set, QStringList({"0", "Syncing with " + QString(kind == "radicale" ? "Ann's book" : "addressbook") + " (" + root.resolved(QUrl(server->book)).toString() + ")", ""})); }();
        return !QTest::currentTestFailed();
    }

    // The server holds each contact here once, by name and category, and nothing else.
    void sameBothSides(const Fixture &fixture)
    {
        QStringList here, there;
        QSet<QString> uids;
        bookFaults(fixture.dataDir(), true, &here); // every contact listed, whatever files it has
        for (const QByteArray &bytes : cardsThere()) {
            const Vcard::Card card = Vcard::parse(bytes).value(0);
            there.append(card.first("CATEGORIES")->text().section(',', 0, 0) + '/' + card.first("FN")->text());
            uids.insert(card.first("UID")->text());
        }
        here.sort(), there.sort();
        QCOMPARE(there, here);
        QCOMPARE(uids.size(), there.size());
    }

    QHash<QString, QByteArray> cardsThere()
    {
        QStringList hrefs;
        for (const Entry &entry : listThere())
            hrefs.append(entry.href);
        QHash<QString, QByteArray> cards;
        wait<Outcome>([&](auto done) { client.fetch(book, hrefs, [&](const Entry &e, const QByteArray &b) { cards.insert(e.href, b); }, done); });
        return cards;
    }

    Entry put(const QString &uid, const QByteArray &bytes)
    {
        return std::get<1>(wait<Outcome, Entry>([&](auto done) { client.create(book, uid, bytes, done); }));
    }

    QList<Entry> listThere() { return std::get<1>(wait<Outcome, QList<Entry>>([&](auto done) { client.list(book, done); })); }

    // The card at an entry's address written over, whatever its ETag now.
    void updateThere(const Entry &entry, const QByteArray &bytes)
    {
        const QList<Entry> entries = listThere();
        const Entry now = *std::find_if(entries.begin(), entries.end(), [&](const Entry &e) { return e.href == entry.href; });
        wait<Outcome, Entry>([&](auto done) { client.update(book, now, bytes, done); });
    }

    // A field changed here as the window changes it, and stored.
    void setHere(const QString &category, const QString &name, const QString &field, int index, const QString &value)
    {
        AddressBook here;
        QVERIFY(here.load());
        here.openContact(category, name);
        here.setField(field, index, value);
        QVERIFY(RecordFile::flush());
    }

    // The cell number of each card there, sorted.
    QStringList numbersThere()
    {
        QStringList numbers;
        for (const QByteArray &card : cardsThere()) {
            const qsizetype at = card.indexOf("TEL;TYPE=cell:");
            numbers.append(at < 0 ? QString() : QString(card.mid(at + 14)).section('\n', 0, 0).trimmed());
        }
        numbers.sort();
        return numbers;
    }

    // The requests the server has answered, by its log.
    qsizetype requests()
    {
        QFile log(server->dir.filePath("log"));
        const QByteArray lines = log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
        return lines.count(" request for '") + lines.count(" HTTP/1.1\" ");
    }

    // A password stored or read through the real Secret Service (the keyring keyring.sh starts).
    std::pair<QString, QString> readSecret(const QUrl &server, const QString &user)
    {
        std::optional<std::pair<QString, QString>> result;
        Sync::readPassword(this, server, user, [&](const QString &password, const QString &error) { result.emplace(password, error); });
        return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : std::pair{QString(), QString("no answer")};
    }
    QString storeSecret(const QUrl &server, const QString &user, const QString &password)
    {
        std::optional<QString> result;
        Sync::storePassword(this, server, user, password, [&](const QString &error) { result = error; });
        return QTest::qWaitFor([&] { return result.has_value(); }, 20000) ? *result : QString("no answer");
    }

private slots:
    void initTestCase_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : qEnvironmentVariable("KINFOLIO_SYNC_SERVERS", "radicale xandikos").split(' ', Qt::SkipEmptyParts))
            QTest::newRow(qPrintable(kind)) << kind;
    }

    // Before any window is made: it reads the wait once.
    void initTestCase() { qputenv("KINFOLIO_SYNC_RETRY_MS", "300"); }

    void cleanup() { tls.reset(); }
    void cleanupTestCase() { servers.clear(); }

    // Per contact: the last sync's ETag, here Changed, Unchanged or Removed (+ the user keeps it, - takes the server's),
    // the server's ETag now.
    void decide_data()
    {
        QTest::addColumn<QString>("last"); QTest::addColumn<QString>("here");
        QTest::addColumn<QString>("there"); QTest::addColumn<QString>("plan");
        QTest::newRow("nothing changed") << "a:1" << "a:U" << "a:1" << "";
        QTest::newRow("changed here") << "a:1" << "a:C" << "a:1" << "update: a";
        QTest::newRow("changed there") << "a:1" << "a:U" << "a:2" << "fetch: a";
        QTest::newRow("changed on both") << "a:1" << "a:C" << "a:2" << "merge: a; fetch: a";
        QTest::newRow("removed here") << "a:1 b:1" << "a:R" << "a:1 b:1" << "remove there: a b";
        QTest::newRow("removed there") << "a:1" << "a:U" << "" << "remove here: a";
        QTest::newRow("removed on both") << "a:1" << "a:R" << "" << "forget: a";
        QTest::newRow("removed here, changed there") << "a:1" << "a:R" << "a:2" << "conflict: a removed here";
        QTest::newRow("changed here, removed there") << "a:1" << "a:C" << "" << "conflict: a removed there";
        QTest::newRow("new here") << "" << "d:C" << "" << "create: d";
        QTest::newRow("here before the first sync") << "" << "d:U" << "" << "create: d";
        QTest::newRow("new here, stored there by a create cut short") << "" << "d:C" << "d:1" << "merge: d; fetch: d";
        QTest::newRow("new there") << "a:1" << "a:U" << "a:1 x:1 c:1" << "fetch: c x";
        QTest::newRow("new here, removed before a sync") << "" << "d:R" << "" << "";
        QTest::newRow("removed there, changed here: kept") << "a:1" << "a:C+" << "" << "create: a; forget: a";
        QTest::newRow("removed there, changed here: server's") << "a:1" << "a:C-" << "" << "remove here: a";
        QTest::newRow("removed here, changed there: kept") << "a:1" << "a:R+" << "a:2" << "remove there: a";
        QTest::newRow("removed here, changed there: server's") << "a:1" << "a:R-" << "a:2" << "forget: a; fetch: a";
        QTest::newRow("chosen, no longer a conflict") << "a:1" << "a:U+" << "a:1" << "";
    }

    void decide()
    {
        QFETCH(QString, last); QFETCH(QString, here); QFETCH(QString, there); QFETCH(QString, plan);
        QHash<QString, Synced> synced;
        for (const auto &[uid, etag] : pairs(last).asKeyValueRange())
            synced.insert(uid, {planned + uid + ".vcf", etag, {}});
        QHash<QString, Here> states;
        QHash<QString, bool> keepMine;
        for (const auto &[uid, state] : pairs(here).asKeyValueRange()) {
            states.insert(uid, state[0] == 'C' ? Here::Changed : state[0] == 'U' ? Here::Unchanged : Here::Removed);
            if (state.size() > 1)
                keepMine.insert(uid, state[1] == '+');
        }
        QHash<QString, QByteArray> listing;
        for (const auto &[uid, etag] : pairs(there).asKeyValueRange())
            listing.insert(planned + uid + ".vcf", etag);
        QCOMPARE(describe(Sync::plan(synced, states, listing, planned, keepMine)), plan);
        // An incremental listing comes to the same.
        QHash<QString, QByteArray> changed;
        QStringList removed;
        for (const Synced &s : synced)
            if (!listing.contains(s.href))
                removed.append(s.href);
        for (const auto &[href, etag] : listing.asKeyValueRange())
            if (synced.value(href.mid(planned.size()).chopped(4)).etag != etag)
                changed.insert(href, etag);
        QCOMPARE(listingAfter(synced, changed, removed), listing);
    }

    // Each side's edits of the last synced card: what is written back (the rest of the server's byte for byte), and the
    // fields both changed differently.
    void merge_data()
    {
        QTest::addColumn<QByteArray>("last"); QTest::addColumn<QByteArray>("here"); QTest::addColumn<QByteArray>("there");
        QTest::addColumn<QByteArray>("merged"); // empty: the server's card as it is
        QTest::addColumn<QString>("conflicts");
        QTest::addColumn<QString>("chosen"); // for the cell number: "mine <the server's value seen>" or "theirs"
        const auto edit = [](QByteArray card, const char *from, const char *to) { return card.replace(from, to); };
        QTest::newRow("nothing changed") << ann << ann << ann << QByteArray() << "" << "";
        QTest::newRow("changed there only") << ann << ann << edit(ann, "FN:Ann Lee", "FN:Ann Leigh") << QByteArray() << "" << "";
        QTest::newRow("a number changed here: that line only")
            << ann << edit(ann, "0700 1", "0700 2") << edit(ann, "ORG:Acme;Sales", "ORG:Acme;Sales;East")
            << edit(edit(ann, "ORG:Acme;Sales", "ORG:Acme;Sales;East"), "0700 1", "0700 2") << "" << "";
        QTest::newRow("a field added here goes last")
            << ann << edit(ann, "TEL;", "TEL;TYPE=FAX:0700 9\r\nTEL;") << ann
            << edit(ann, "END:VCARD", "TEL;TYPE=FAX:0700 9\r\nEND:VCARD") << "" << "";
        const QByteArray leigh = edit(edit(ann, "FN:Ann Lee", "FN:Ann Leigh"), "N:Lee;Ann", "N:Leigh;Ann");
        QTest::newRow("the name changed here: its two fields") << ann << leigh << ann << leigh << "" << "";
        QTest::newRow("a field removed here")
            << ann << edit(ann, "TEL;TYPE=CELL,VOICE:0700 1\r\n", "") << ann << edit(ann, "TEL;TYPE=CELL,VOICE:0700 1\r\n", "") << "" << "";
        // The line changed is the one the field was read from.
        const QByteArray mobile = edit(ann, "TEL;TYPE=CELL,VOICE", "TEL;TYPE=mobile");
        QTest::newRow("a cell number typed mobile") << mobile << edit(mobile, "0700 1", "0700 2") << mobile
                                                   << edit(mobile, "0700 1", "0700 2") << "" << "";
        const QByteArray two = edit(ann, "TEL;TYPE=CELL,VOICE:0700 1", "TEL;TYPE=CELL:0700 1\r\nTEL;TYPE=CELL,PREF:0700 8");
        QTest::newRow("the preferred of two cell numbers") << two << edit(two, "0700 8", "0700 9") << two
                                                          << edit(two, "0700 8", "0700 9") << "" << "";
        QTest::newRow("notes changed, a number they hold not written twice")
            << two << edit(two, "long note fol\r\n ded", "new note") << two << edit(two, "long note fol\r\n ded", "new note") << "" << "";
        // A number with no box is a line of the notes: taken out here, it goes there too.
        const QByteArray noHome = edit(ann, "EMAIL;TYPE=HOME:ann@home.test\r\n", ""), east = edit(ann, "Sales", "Sales;East");
        QTest::newRow("an extra line taken out of the notes") << ann << noHome << east << edit(noHome, "Sales", "Sales;East") << "" << "";
        QTest::newRow("an extra line taken out here, its address changed there") << ann << noHome << edit(ann, "@home", "@cottage") << QByteArray() << "" << "";
        QTest::newRow("an extra line taken out here, its kind changed there") << ann << noHome << edit(ann, "HOME:ann", "WORK:ann") << QByteArray()
                                                                              << "X-KINFOLIO-NOTES;X-LINE=E-Mail: ann@home.test:  / ann@home.test" << "";
        const QByteArray twice = edit(two, "TEL;TYPE=CELL:0700 1", "TEL;TYPE=CELL:0700 1\r\nTEL;TYPE=CELL:0700 1");
        QTest::newRow("an extra line held twice, taken out once") << twice << two << twice << two << "" << "";
        const QByteArray kin = edit(ann, "END:VCARD", "RELATED;TYPE=spouse:Bo\r\nRELATED;TYPE=child:Cy\r\nEND:VCARD");
        const QByteArray more = edit(kin, "child:Cy", "child:Cy\r\nRELATED;TYPE=child:Di");
        QTest::newRow("a child added, the spouse kept") << kin << more << kin << more << "" << "";
        QTest::newRow("the same field changed alike") << ann << edit(ann, "Ann Lee", "Ann Leigh") << edit(ann, "Ann Lee", "Ann Leigh")
                                                      << QByteArray() << "" << "";
        QTest::newRow("the same field changed differently, another here only")
            << ann << edit(edit(ann, "0700 1", "0700 2"), "ann@acme", "ann@example") << edit(ann, "0700 1", "0700 3")
            << edit(edit(ann, "0700 1", "0700 3"), "ann@acme", "ann@example")
            << "TEL;TYPE=cell: 0700 2 / 0700 3" << "";
        const QByteArray both = edit(ann, "0700 1", "0700 3"), merged = edit(ann, "0700 1", "0700 2");
        QTest::newRow("chosen: mine") << ann << edit(ann, "0700 1", "0700 2") << both << merged << "" << "mine 0700 3";
        QTest::newRow("chosen: mine, changed there again")
            << ann << edit(ann, "0700 1", "0700 2") << both << QByteArray() << "TEL;TYPE=cell: 0700 2 / 0700 3" << "mine 0700 4";
        QTest::newRow("chosen: the server's") << ann << edit(ann, "0700 1", "0700 2") << both << QByteArray() << "" << "theirs";
        QTest::newRow("no last card: a create stored before, the same card")
            << QByteArray() << edit(ann, "ORG:Acme;Sales\r\n", "") << ann << QByteArray() << "" << "";
    }

    void merge()
    {
        QFETCH(QByteArray, last); QFETCH(QByteArray, here); QFETCH(QByteArray, there); QFETCH(QByteArray, merged);
        QFETCH(QString, conflicts); QFETCH(QString, chosen);
        QHash<QByteArray, Choice> choices;
        if (!chosen.isEmpty())
            choices.insert("TEL;TYPE=cell", {chosen.startsWith("mine"), chosen.section(' ', 1)});
        const Merged result = Sync::merge(last, here, there, choices);
        QCOMPARE(result.card, merged.isEmpty() ? there : merged);
        QCOMPARE(result.send, !merged.isEmpty());
        QStringList described;
        for (const FieldConflict &conflict : result.conflicts)
            described.append(conflict.field + ": " + conflict.here + " / " + conflict.there);
        QCOMPARE(described.join("; "), conflicts);
    }

    // Passwords stored, replaced and read back per user and server (its path aside); another server or user has none.
    void passwords()
    {
        const QUrl server("https://dav.example.test:8443/remote.php/dav/");
        QCOMPARE(storeSecret(server, "ann", "first"), QString());
        QCOMPARE(storeSecret(QUrl("https://dav.example.test:8443/other/"), "ann", "s3cr\xC3\xA9t"), QString());
        QCOMPARE(readSecret(server, "ann"), (std::pair<QString, QString>{"s3cr\xC3\xA9t", {}}));
        QCOMPARE(storeSecret(server, "bo", "bo's"), QString());
        QCOMPARE(readSecret(server, "bo").first, "bo's");
        for (const auto &[url, user] : {std::pair{QUrl("https://dav.example.test/"), "ann"}, {server, "cy"}}) {
            const auto [password, error] = readSecret(url, user);
            QVERIFY(password.isEmpty() && !error.isEmpty());
        }
    }

    // The address book is found from the root, the well-known address, the principal and its own address.
    void discovery_data()
    {
        QTest::addColumn<QString>("start");
        for (const char *start : {"/", "/.well-known/carddav", "<principal>", "<book>"})
            QTest::newRow(start) << start;
    }

    void discovery()
    {
        QFETCH(QString, start);
        if (!setUp(Start::Unset))
            return;
        const QString principal = server->book.section('/', 0, 1) + '/';
        const QUrl url = server->root.resolved(QUrl(start.replace("<principal>", principal).replace("<book>", server->book)));
        auto [outcome, books] = wait<Outcome, QList<CardDav::AddressBook>>([&](auto done) { client.findAddressBooks(url, done); });
        QVERIFY2(outcome.ok(), qPrintable(outcome.error));
        QCOMPARE(books.size(), 1);
        QCOMPARE(books[0].url, book);
        QCOMPARE(books[0].versions, QStringList{"3.0"});
        QVERIFY(books[0].syncCollection);
        QCOMPARE(books[0].displayName, server->user.isEmpty() ? "addressbook" : "Ann's book");
    }

    // No create makes a second card, no write touches a card changed since its ETag; listings and changes say what happened.
    void writes()
    {
        if (!setUp(Start::Unset))
            return;
        const QString uid = "ann", other = "bo"; // the book emptied first
        auto [created, entry] = wait<Outcome, Entry>([&](auto done) { client.create(book, uid, card(uid, "Ann"), done); });
        QVERIFY2(created.ok(), qPrintable(created.error));
        QCOMPARE(entry.href, server->book + uid + ".vcf");
        auto [again, same] = wait<Outcome, Entry>([&](auto done) { client.create(book, uid, card(uid, "Ann again"), done); });
        QCOMPARE(again.kind, Outcome::Precondition);
        auto [second, otherEntry] = wait<Outcome, Entry>([&](auto done) { client.create(book, other, card(other, "Bo"), done); });
        QVERIFY(second.ok());
        // Servers may leave out a card made and removed since a token: both are made before it.
        auto [before, token] = wait<Outcome, CardDav::Changes>([&](auto done) { client.changes(book, {}, done); });
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
            hrefs.append(server->book + QString("missing-%1.vcf").arg(i));
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

        auto [since, changes] = wait<Outcome, CardDav::Changes>([&](auto done) { client.changes(book, token.token, done); });
        QVERIFY2(since.ok(), qPrintable(since.error));
        QCOMPARE(changes.changed, QList<Entry>{newer});
        QCOMPARE(changes.removed, QStringList{otherEntry.href});
        auto [unknown, none] = wait<Outcome, CardDav::Changes>([&](auto done) { client.changes(book, token.token + "x", done); });
        QCOMPARE(unknown.kind, Outcome::Precondition);
    }

    void bothWays()
    {
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann"})}}));
        if (!setUp())
            return;
        const QByteArray kept = "ORG:Acme;Sales\r\nitem1.EMAIL;TYPE=INTERNET:b1@acme.test\r\nitem1.X-ABLabel:Desk\r\nEMAIL;TYPE=HOME:b2@home.test\r\n"
                                "EMAIL:b3@other.test\r\nX-PHONE-APP;X-P=\"a,b\":kept\r\nTEL;TYPE=CELL;X-SIM=2:555\r\n";
        const Entry bea = put("bea", card("bea", "Bea Lee", kept));
        const Entry cy = put("cy", card("cy", "Cy"));
        const Entry dee = put("dee", card("dee", "Dee"));
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 1, received 3, removed 0, 0 conflicts", ""}));
        QHash<QString, QByteArray> there = cardsThere();
        QCOMPARE(there.size(), 4);
        for (const QByteArray &bytes : there) // the one made here too, in the version the server takes
            QVERIFY2(bytes.contains("\nVERSION:3.0"), bytes.constData());
        QCOMPARE(fixture.file("NamesListFriends"), listBytes({"Bea Lee", "Cy", "Dee"}));

        // Removed each way, renamed and moved there; an edit here keeps what no box shows, though the kept cards are lost.
        wait<Outcome, Entry>([&](auto done) { client.update(book, cy, card("cy", "Cy Young").replace("Friends", "Work"), done); });
        wait<Outcome>([&](auto done) { client.remove(book, dee, done); });
        QVERIFY(QDir(fixture.dataDir() + "../Cards").removeRecursively());
        setHere("Friends", "Bea Lee", "Numbers", 1, "556");
        AddressBook here;
        QVERIFY(here.load() && here.removeContact("Family", "Ann") == AddressBook::Removal::Removed);
        QVERIFY(RecordFile::flush());
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 1, received 1, removed 2, 0 conflicts", ""}));
        QCOMPARE(fixture.file("NamesListFriends"), listBytes({"Bea Lee"}));
        QCOMPARE(fixture.file("NamesListWork"), listBytes({"Cy Young"}));
        QVERIFY(fixture.files().contains("WorkCy YoungNumbers") && !fixture.files().contains("FriendsCyNumbers"));
        const QByteArray beaBefore = there.value(bea.href);
        there = cardsThere();
        QCOMPARE(there.size(), 2);
        QCOMPARE(there.value(bea.href), QByteArray(beaBefore).replace("X-SIM=2:555", "X-SIM=2:556")); // the rest byte for byte

        // Both changed the cell number: each side keeps its own, the conflict told; the kept cards lost before an export.
        setHere("Friends", "Bea Lee", "Numbers", 1, "557");
        QVERIFY(QDir(fixture.dataDir() + "../Cards").removeRecursively());
        ENDED_WELL(kinfolio({"--export", fixture.home.filePath("out.vcf")}));
        updateThere(bea, QByteArray(there.value(bea.href)).replace(":556", ":558"));
        const QString open = "\nConflict in Bea Lee (Friends): Cell Phone #\nTo choose, open Kinfolio and click \"Conflicts...\" at the foot of its window.";
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 0, received 0, removed 0, 1 conflict" + open, ""}));
        QVERIFY(cardsThere().value(bea.href).contains("X-SIM=2:558"));
        QVERIFY(fixture.file("FriendsBea LeeNumbers").contains("557"));

        // Renamed here, and its category too: the same card there, changed.
        AddressBook now;
        QVERIFY(now.load() && now.renameCategory("Work", "Jobs").stored && now.renameContact("Jobs", "Cy Young", "Cy Yung").stored);
        QVERIFY(RecordFile::flush());
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 1, received 0, removed 0, 1 conflict" + open, ""}));
        there = cardsThere();
        QCOMPARE(there.size(), 2);
        for (const char *line : {"UID:cy", "FN:Cy Yung"})
            QVERIFY2(there.value(cy.href).contains(line), there.value(cy.href).constData());
        QCOMPARE(Vcard::parse(there.value(cy.href)).value(0).first("CATEGORIES")->value, "Jobs"); // no longer in Work

        // A file that cannot be read is no field emptied: that contact is not sent, and told.
        const Entry eve = put("eve", card("eve", "Eve", "TEL;TYPE=CELL:1\r\n"));
        SYNCED();
        QVERIFY(QFile::remove(fixture.dataDir() + "FriendsEveNumbers") && QDir().mkdir(fixture.dataDir() + "FriendsEveNumbers"));
        QVERIFY(kinfolio({"--sync"}).value(1).contains("\nNot sent Eve (Friends): its Numbers cannot be read"));
        QVERIFY(cardsThere().value(eve.href).contains("CELL:1"));

        // Nor is a picture that cannot be read one removed: an edit goes out with the server's; a change there brings it back.
        const Entry fox = put("fox", card("fox", "Fox", "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgo=\r\n"));
        SYNCED();
        QVERIFY(QFile::remove(QString::fromUtf8(fixture.file("FriendsFoxPic")).trimmed()));
        setHere("Friends", "Fox", "Numbers", 1, "559");
        QVERIFY(kinfolio({"--sync"}).value(1).contains("\nThe picture of Fox (Friends) cannot be read here: the server's is left as it is"));
        const QByteArray foxThere = cardsThere().value(fox.href);
        QVERIFY2(foxThere.contains("PHOTO") && foxThere.contains(":559"), foxThere.constData());
        updateThere(fox, QByteArray(foxThere).replace("END:VCARD", "NOTE:there\r\nEND:VCARD"));
        SYNCED();
        QCOMPARE(fixture.file("FriendsFoxNumbNotes"), "\"there\"\r\n");
        QVERIFY(QFile::exists(QString::fromUtf8(fixture.file("FriendsFoxPic")).trimmed()));
        // Fox removed and another added under that name before a sync: a card of its own, nothing of the other's.
        AddressBook later;
        QVERIFY(later.load() && later.removeContact("Friends", "Fox") == AddressBook::Removal::Removed
                && later.addContact({"Friends", "Fox", {}, {}, {}}).stored && RecordFile::flush());
        SYNCED();
        QVERIFY(!cardsThere().contains(fox.href));
        // The kept cards lost before an import makes their folder anew: restored first, nothing sent twice.
        const qsizetype cards = listThere().size();
        QVERIFY(QDir(fixture.dataDir() + "../Cards").removeRecursively()
                && putFiles(fixture.home.path() + '/', {{"gus.vcf", card("gus", "Gus")}}));
        ENDED_WELL(kinfolio({"--import", fixture.home.filePath("gus.vcf")}));
        SYNCED();
        QCOMPARE(listThere().size(), cards + 1);
    }

    // A card whose name is taken here comes numbered, one with no place here is left out and told; nothing changed is
    // one request; a change before a killed sync goes with the next; neither side emptied, nor a list unread, empties the other.
    void unchanged()
    {
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}}));
        if (!setUp())
            return;
        const Entry otherAnn = put("other-ann", card("other-ann", "Ann").replace("Friends", "Family"));
        put("no-place", card("no-place", "Cy").replace("Friends", "NamesList"));
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 2, received 1, removed 0, 0 conflicts; 1 card left out\n"
                                                 "Left out Cy: the category NamesList cannot be used");
        setHere("Family", "Ann (2)", "Numbers", 1, "556");
        SYNCED();
        QCOMPARE(Vcard::parse(cardsThere().value(otherAnn.href)).value(0).first("FN")->text(), "Ann");
        updateThere(otherAnn, card("other-ann", "Ann", "TEL;TYPE=CELL:557\r\n").replace("Friends", "Family"));
        SYNCED();
        QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Ann (2)", "Bo"}));
        QVERIFY(fixture.file("FamilyAnn (2)Numbers").contains("557"));
        // Records without the contact's place (the first version's) are read and written anew.
        const QString records = fixture.dataDir() + "../Synced/";
        const auto placed = [&] {
            QStringList places;
            for (const QByteArray &bytes : filesIn(records))
                places.append(bytes.split('\n').value(4));
            return places;
        };
        QCOMPARE(placed(), QStringList({"Family", "Family", "Family"}));
        Files first = filesIn(records);
        for (QByteArray &bytes : first) {
            QList<QByteArray> lines = bytes.split('\n');
            lines.remove(4, 3);
            bytes = lines.join('\n');
        }
        QVERIFY(putFiles(records, first));
        // Listed whole (no token): the card left out, unchanged, is not fetched again.
        QVERIFY(QFile::remove(fixture.dataDir() + "../Sync/Token"));
        const qsizetype before = requests();
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 0, received 0, removed 0, 0 conflicts");
        QCOMPARE(requests() - before, 1);
        QCOMPARE(placed(), QStringList({"Family", "Family", "Family"}));

        setHere("Family", "Ann", "Numbers", 1, "555");
        QVERIFY(syncKilled(0, 300));
        SYNCED();
        QCOMPARE(numbersThere(), QStringList({"", "", "", "555"}));

        // Every card there gone (a server restored from nothing): all go there again.
        for (const Entry &entry : listThere())
            wait<Outcome>([&](auto done) { client.remove(book, entry, done); });
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 3, received 0, removed 0, 0 conflicts\nNone of the cards synced before is in "
                                                 "the address book now: nothing was removed here, and the contacts were sent there again.");
        QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Ann (2)", "Bo"}));
        QCOMPARE(numbersThere(), QStringList({"", "", "555"}));
        // Every contact here gone, first by the category list alone emptied: all come back, each in its own place.
        for (const bool wholeFolder : {false, true}) {
            QVERIFY((!wholeFolder || QDir(fixture.dataDir()).removeRecursively()) && fixture.put({{"RelationsList", ""}}));
            QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 0, received 3, removed 0, 0 conflicts\nNone of the contacts synced before "
                                                     "is here now: nothing was removed there, and the cards came back here.");
            QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Ann (2)", "Bo"}));
            QCOMPARE(numbersThere(), QStringList({"", "", "555"}));
        }

        // A names list that cannot be read removes none of its contacts; a card for it waits until it can be read.
        put("fay", card("fay", "Fay").replace("Friends", "Family"));
        QVERIFY(QFile::remove(fixture.dataDir() + "NamesListFamily") && QDir().mkdir(fixture.dataDir() + "NamesListFamily"));
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 0, received 0, removed 0, 0 conflicts; 1 card left out\n"
                                                 "Left out Fay: the names of Family cannot be read");
        QCOMPARE(cardsThere().size(), 4);
        QVERIFY(QDir().rmdir(fixture.dataDir() + "NamesListFamily") && fixture.put({{"NamesListFamily", listBytes({"Ann", "Ann (2)", "Bo"})}}));
        SYNCED();
        QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Ann (2)", "Bo", "Fay"}));
    }

    // Another address book chosen: the contacts go there too, none taken for one removed there.
    void anotherBook()
    {
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}}));
        if (!setUp())
            return;
        put("bea", card("bea", "Bea Lee"));
        // A sync that fails before it reads the open conflicts keeps them, a tab in a value too.
        const Files open{{"Conflicts", "x\tFamily\tAnn\tNOTE\tone\\ttab\tthere\n"}};
        const QString sync = fixture.dataDir() + "../Sync/";
        QVERIFY(putFiles(sync, open) && putFiles(fixture.dataDir() + "../", {{"Cards", ""}}));
        QCOMPARE(kinfolio({"--sync"}).value(0), "1");
        QCOMPARE(filesIn(sync).value("Conflicts"), open["Conflicts"]);
        QVERIFY(QFile::remove(sync + "Conflicts") && QFile::remove(fixture.dataDir() + "../Cards"));
        SYNCED();
        // Made as a client makes one, removed after.
        const QUrl other = book.resolved(QUrl("../other/"));
        QNetworkAccessManager manager;
        const auto ask = [&](const QByteArray &verb, const QByteArray &body) {
            QNetworkRequest request(other);
            request.setRawHeader("Authorization", "Basic " + (server->user + ':' + server->password).toUtf8().toBase64());
            QNetworkReply *reply = manager.sendCustomRequest(request, verb, body);
            while (!reply->isFinished())
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            return reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        };
        QCOMPARE(ask("MKCOL", R"(<?xml version="1.0" encoding="utf-8"?><d:mkcol xmlns:d="DAV:"
            xmlns:c="urn:ietf:params:xml:ns:carddav"><d:set><d:prop><d:resourcetype><d:collection/><c:addressbook/>
            </d:resourcetype></d:prop></d:set></d:mkcol>)"), 201);
        const auto removed = qScopeGuard([&] { ask("DELETE", {}); });
        const QUrl first = std::exchange(book, other);
        put("cy", card("cy", "Cy"));
        ENDED_WELL(kinfolio({"--sync-settings", server->root.toString(), "--user", server->user, "--addressbook", other.toString()},
                            server->password.toUtf8() + '\n'));
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 3, received 1, removed 0, 0 conflicts");
        sameBothSides(fixture);
        QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Bo"}));
        book = first;
        QCOMPARE(cardsThere().size(), 3);
    }

    // Two contacts of one UID here, in a file imported, and there: each has a UID and a card of its own.
    void sharedUid()
    {
        Fixture fixture;
        const QByteArray twin = "BEGIN:VCARD\r\nUID:twin\r\nEND:VCARD\r\n";
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}})
                && putFiles(fixture.dataDir() + "../Cards/", {{"FamilyAnn", twin}, {"FamilyBo", twin}})
                && putFiles(fixture.home.path() + '/', {{"in.vcf", card("pair", "Cy") + card("pair", "Di")}}));
        ENDED_WELL(kinfolio({"--import", fixture.home.filePath("in.vcf")}));
        const Files kept = filesIn(fixture.dataDir() + "../Cards/");
        QVERIFY(kept["FriendsCy"].contains("UID:pair") != kept["FriendsDi"].contains("UID:pair"));
        if (!setUp())
            return;
        SYNCED();
        sameBothSides(fixture);
        // One imported later with a UID synced already: the contact synced keeps it.
        const QByteArray paired = kept["FriendsCy"].contains("UID:pair") ? "FN:Cy" : "FN:Di";
        QVERIFY(putFiles(fixture.home.path() + '/', {{"in.vcf", card("pair", "Ed")}}));
        ENDED_WELL(kinfolio({"--import", fixture.home.filePath("in.vcf")}));
        SYNCED();
        sameBothSides(fixture);
        QVERIFY(cardsThere().value(book.path() + "pair.vcf").contains(paired));
        // Another client's copy there of a synced card (Radicale refuses it): a contact of its own here.
        if (std::get<0>(wait<Outcome, Entry>([&](auto done) { client.create(book, "copy", card("pair", "Fay"), done); })).ok()) {
            QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 0, received 1, removed 0, 0 conflicts");
            setHere("Friends", paired.mid(3), "Numbers", 1, "555");
            SYNCED();
            QVERIFY(cardsThere().value(book.path() + "pair.vcf").contains("TEL;TYPE=cell:555"));
        }
    }

    // A certificate no one vouches for, or trusted for another server, is refused, naming its fingerprint, until
    // trusted; a wrong password says so.
    void certificate()
    {
        Fixture fixture;
        if (!setUp(Start::Tls, true)) // Xandikos serves no TLS of its own
            return;
        const QByteArray digest = QSslCertificate::fromPath(server->dir.filePath("cert.pem")).value(0).digest(QCryptographicHash::Sha256);
        client.trustCertificate(QUrl("https://127.0.0.1:1/"), digest); // another port: another server
        auto [untrusted, no] = wait<Outcome, QList<CardDav::AddressBook>>([&](auto done) { client.findAddressBooks(server->root, done); });
        QCOMPARE(untrusted.certificate, digest);
        client.trustCertificate(server->root, digest);
        client.setCredentials("ann", "wrong");
        auto [wrong, none] = wait<Outcome, QList<CardDav::AddressBook>>([&](auto done) { client.findAddressBooks(server->root, done); });
        QCOMPARE(wrong.status, 401);
        QVERIFY(wrong.error.startsWith("The server refused the user name or password"));
        const QString fingerprint = digest.toHex(':').toUpper();
        const QStringList set{"--sync-settings", server->root.toString(), "--user", "ann"};
        const QStringList refused = kinfolio(set, "secret\n");
        QCOMPARE(refused.value(0), "1");
        QVERIFY2(refused.value(2).contains(fingerprint), qPrintable(refused.value(2)));
        ENDED_WELL(kinfolio(set + QStringList{"--trust-certificate", fingerprint}, "secret\n"));
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 0, received 0, removed 0, 0 conflicts", ""}));
    }

    // Set up in the window's dialog; the status line says what a sync did; kinfolio --sync has the open window sync.
    // An edit here or by another program goes out by itself; a failing sync is told and tried again, each wait
    // twice the last, and after one that worked, the first wait again.
    void window()
    {
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}}));
        if (!setUp(Start::ProxiedUnset, true)) // the client's meeting with each server is proven above
            return;
        put("bea", card("bea", "Bea Lee"));
        FrmMain &w = fixture.start();
        OneCopy oneCopy(fixture.dataDir(), OneCopy::Role::Window);
        QVERIFY(oneCopy.lead());
        connect(&oneCopy, &OneCopy::syncRequested, &w, [&w](const OneCopy::SyncAnswer &answer) { w.windowSync.syncNow(answer); });

        w.mnuSyncSettings->trigger();
        QPointer<FrmSyncSettings> dialog = w.findChild<FrmSyncSettings *>();
        QVERIFY(dialog && dialog->txtPassword->echoMode() == QLineEdit::Password);
        dialog->txtServer->setText(proxy->root.toString());
        dialog->txtUser->setText(server->user);
        dialog->txtPassword->setText(server->password);
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(!dialog, 20000);
        QTRY_VERIFY_WITH_TIMEOUT(w.windowSync.lblSync && w.windowSync.lblSync->text().startsWith("Synced"), 20000);
        QVERIFY2(QRegularExpression("^Synced at \\d\\d:\\d\\d: sent 2, received 1, removed 0, 0 conflicts$").match(w.windowSync.lblSync->text()).hasMatch(),
                 qPrintable(w.windowSync.lblSync->text()));
        QVERIFY(fixture.pickCategory("Friends") && w.lstNames->findItems("Bea Lee", Qt::MatchExactly).size() == 1);

        put("cy", card("cy", "Cy"));
        put("nameless", "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:nameless\r\nFN: \r\nEND:VCARD\r\n");
        QProcess asking;
        asking.start(KINFOLIO_PROGRAM, {"--sync"});
        QTRY_VERIFY_WITH_TIMEOUT(asking.state() == QProcess::NotRunning, 20000);
        QCOMPARE(asking.readAllStandardOutput(), "Sent 0, received 1, removed 0, 0 conflicts; 1 card left out\n"
                                                 "Left out nameless.vcf: no name, organisation or e-mail address\n");
        QCOMPARE(asking.exitCode(), 0);
        QVERIFY(w.windowSync.lblSync->text().endsWith(": sent 0, received 1, removed 0, 0 conflicts; 1 card left out"));
        QCOMPARE(w.lstNames->count(), 2);
        // The files that sync wrote start no other.
        const qsizetype before = requests();
        QTest::qWait(5000);
        QCOMPARE(requests(), before);

        const auto synced = [&](const QString &what) { return w.windowSync.lblSync->text().endsWith(": " + what); };
        // The kept cards lost, then an import from the File menu: restored first, Cy stays Cy there.
        QVERIFY(QDir(fixture.dataDir() + "../Cards").removeRecursively()
                && putFiles(fixture.home.path() + '/', {{"gus.vcf", card("gus", "Gus")}}));
        fixture.platform.files << fixture.home.filePath("gus.vcf");
        w.mnuImportCards->trigger();
        w.addressBook.openContact("Friends", "Cy");
        w.addressBook.setField("Numbers", 1, "555");
        QTRY_VERIFY_WITH_TIMEOUT(synced("sent 2, received 0, removed 0, 0 conflicts"), 10000);
        QVERIFY(cardsThere().value(book.path() + "cy.vcf").contains("TEL;TYPE=cell:555"));
        QVERIFY(putFiles(fixture.dataDir(), {{"FamilyBoNumbers", RecordFile::encodeRecord({"", "555"})}}));
        QTRY_COMPARE_WITH_TIMEOUT(numbersThere(), QStringList({"", "", "", "", "555", "555"}), 20000);

        // The syncs that met dropped connections, by the proxy's log; within 0.1 s is the network stack's own retry.
        const auto tries = [&](qsizetype from) {
            QList<double> at;
            const QList<QByteArray> lines = proxy->log().mid(from);
            for (const QByteArray &line : lines) {
                const double time = line.left(line.indexOf(' ')).toDouble();
                if (line.contains(" drop") && (at.isEmpty() || time - at.last() > 0.1))
                    at.append(time);
            }
            return at;
        };
        qsizetype logged = proxy->log().size() - 1;
        QVERIFY(proxy->setRules("REPORT * drop"));
        QVERIFY(putFiles(fixture.dataDir(), {{"FamilyAnnNumbers", RecordFile::encodeRecord({"", "556"})}}));
        QTRY_VERIFY_WITH_TIMEOUT(tries(logged).size() >= 4, 30000);
        QVERIFY2(w.windowSync.lblSync->text().startsWith("Sync failed: Could not reach "), qPrintable(w.windowSync.lblSync->text()));
        QList<double> at = tries(logged);
        for (int i = 1; i < 4; ++i)
            QVERIFY2(at[i] - at[i - 1] >= 0.29 * (1 << (i - 1)), qPrintable(QString::number(at[i] - at[i - 1])));
        QVERIFY(proxy->setRules({}));
        QTRY_VERIFY_WITH_TIMEOUT(synced("sent 1, received 0, removed 0, 0 conflicts"), 20000);
        QCOMPARE(numbersThere(), QStringList({"", "", "", "555", "555", "556"}));

        logged = proxy->log().size() - 1;
        QVERIFY(proxy->setRules("REPORT * drop"));
        w.windowSync.syncNow();
        QTRY_VERIFY_WITH_TIMEOUT(tries(logged).size() >= 2, 20000);
        at = tries(logged);
        QVERIFY2(at[1] - at[0] < 2, qPrintable(QString::number(at[1] - at[0]))); // 4.8 s had the waits gone on doubling
    }

    // A conflict settled in the window each way: the choice goes out at once, and the conflict is gone.
    void settle_data()
    {
        QTest::addColumn<bool>("mine");
        QTest::newRow("keep mine") << true;
        QTest::newRow("take the server's") << false;
    }

    void settle()
    {
        QFETCH(bool, mine);
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Friends"})}}));
        if (!setUp(Start::Synced, true)) // the window's part; the sync's are proven against both above
            return;
        const Entry bea = put("bea", card("bea", "Bea Lee", "ORG:Acme\r\nTEL;TYPE=CELL:555\r\nNOTE:first\r\n"));
        SYNCED();
        setHere("Friends", "Bea Lee", "Numbers", 1, "557");
        setHere("Friends", "Bea Lee", "NumbNotes", 0, "mine\r\nof two lines");
        const QByteArray theirs = card("bea", "Bea Lee", "ORG:Acme\r\nTEL;TYPE=CELL:558\r\nNOTE:theirs\\nalso two\r\n");
        wait<Outcome, Entry>([&](auto done) { client.update(book, bea, theirs, done); });
        QCOMPARE(kinfolio({"--sync"}).value(1), "Sent 0, received 0, removed 0, 1 conflict\nConflict in Bea Lee (Friends): Notes for phone numbers\nConflict in "
                                                 "Bea Lee (Friends): Cell Phone #\nTo choose, open Kinfolio and click \"Conflicts...\" at the foot of its window.");

        FrmMain &w = fixture.start();
        QTRY_VERIFY_WITH_TIMEOUT(w.windowSync.cmdSyncConflicts && !w.windowSync.cmdSyncConflicts->isHidden(), 20000);
        w.windowSync.cmdSyncConflicts->click();
        QPointer<FrmSyncConflicts> dialog = w.findChild<FrmSyncConflicts *>();
        QVERIFY(dialog);
        QStringList shown;
        for (const FrmSyncConflicts::Row &row : dialog->rows) {
            shown.append(row.fields.join(',') + ": " + row.conflict.here + " / " + row.conflict.there);
            (mine ? row.optMine : row.optTheirs)->setChecked(true);
        }
        QCOMPARE(shown, QStringList({"NOTE: mine\nof two lines / theirs\nalso two", "TEL;TYPE=cell: 557 / 558"}));
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
        QTRY_VERIFY_WITH_TIMEOUT(w.windowSync.lblSync->text().endsWith(", 0 conflicts"), 20000);
        QVERIFY(w.windowSync.cmdSyncConflicts->isHidden());
        const QByteArray there = cardsThere().value(bea.href);
        for (const char *line : {"ORG:Acme", mine ? "TEL;TYPE=CELL:557" : "TEL;TYPE=CELL:558", mine ? "NOTE:mine\\nof two lines" : "NOTE:theirs\\nalso two"})
            QVERIFY2(there.contains(line), there.constData());
        QVERIFY(fixture.file("FriendsBea LeeNumbers").contains(mine ? "557" : "558"));
        QFile conflicts(fixture.dataDir() + "../Sync/Conflicts");
        QVERIFY(conflicts.open(QIODevice::ReadOnly) && conflicts.size() == 0);
    }

    // A sync that meets a failing network or server says why, and the next leaves both sides equal: no second card,
    // nothing lost or back. The faulted sync receives Dee, creates Cy, updates Ann and removes Bob, in that order.
    void faults_data()
    {
        QTest::addColumn<QByteArray>("rules"); QTest::addColumn<QString>("failure"); // its error; empty: ends well
        QTest::addColumn<QString>("told"); // a pattern of what it tells of a card left for the next sync
        QTest::newRow("listing refused") << QByteArray("REPORT 1 500\nPROPFIND 1 500") << "500 Internal Server Error to" << "";
        QTest::newRow("network gone") << QByteArray("REPORT * drop") << "Could not reach" << "";
        QTest::newRow("cards slow to come") << QByteArray("REPORT 2 delay 1") << "" << "";
        QTest::newRow("changes cut short") << QByteArray("REPORT 1 truncate") << "" << "";
        QTest::newRow("busy, wait a second") << QByteArray("REPORT 2 503 1") << "" << "";
        QTest::newRow("asked too often, wait a second") << QByteArray("PUT 1 429 1") << "" << "";
        QTest::newRow("create stored, answered 500") << QByteArray("PUT 1 500-after") << "500 Internal Server Error to PUT" << "";
        // The network stack asks again by itself, and the second create finds the first.
        QTest::newRow("create stored, answer lost") << QByteArray("PUT 1 drop-after") << "" << "";
        QTest::newRow("create stored, no answer ever") << QByteArray("PUT * drop-after") << "Could not reach" << "";
        QTest::newRow("server full") << QByteArray("PUT 1 507") << "507 Insufficient Storage to PUT" << "";
        QTest::newRow("create stored under another name") << QByteArray("PUT 1 rename") << "" << "";
        QTest::newRow("update stored, answered 500") << QByteArray("PUT 2 500-after") << "500 Internal Server Error to PUT" << "";
        QTest::newRow("removal stored, no answer ever") << QByteArray("DELETE * drop-after") << "Could not reach" << "";
        QTest::newRow("removal put off") << QByteArray("DELETE 1 503 600") << "503 Service Unavailable to DELETE" << "";
        // A card refused (Nextcloud refuses one invalid to it) holds up no other.
        QTest::newRow("a card refused") << QByteArray("PUT 1 415") << ""
            << "; 1 change not sent\nNot sent Cy \\(Family\\): The server answered 415 Unsupported Media Type to PUT \\S+: Refused by the proxy\n";
        // 412 in every round (ETags that never match): told.
        QTest::newRow("changed there at every try") << QByteArray("PUT 1 412\nPUT 3 412\nPUT 4 412\nDELETE * 412") << ""
            << "; 2 changes not sent\nNot sent Cy \\(Family\\): \\S+ changed on the server\nNot removed there Bob: \\S+ changed on the server\n";
        QTest::newRow("a removal refused") << QByteArray("DELETE 1 403") << "" << "; 1 change not sent\nNot removed there Bob: The server answered 403 Forbidden";
    }

    void faults()
    {
        QFETCH(QByteArray, rules); QFETCH(QString, failure); QFETCH(QString, told);
        Fixture fixture;
        QVERIFY(fixture.put({{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bob"})}}));
        if (!setUp(Start::Proxied))
            return;
        SYNCED();
        put("dee", card("dee", "Dee"));
        setHere("Family", "Ann", "Numbers", 1, "555");
        {
            AddressBook here;
            QVERIFY(here.load() && here.removeContact("Family", "Bob") == AddressBook::Removal::Removed);
            QVERIFY(here.addContact({"Family", "Cy", {}, {}, {}}).stored);
            QVERIFY(RecordFile::flush());
        }
        QVERIFY(proxy->setRules(rules));
        const QStringList faulted = kinfolio({"--sync"});
        QCOMPARE(faulted.value(0), failure.isEmpty() ? "0" : "1");
        QVERIFY2(faulted.value(2).contains(failure), qPrintable(faulted.value(2)));
        QVERIFY2(QRegularExpression(told).match(faulted.value(1) + '\n').hasMatch(), qPrintable(faulted.value(1)));
        QVERIFY(told.isEmpty() || numbersThere().contains("555"));
        QVERIFY(proxy->setRules({}));
        const QStringList next = kinfolio({"--sync"});
        QVERIFY2(next.value(0) == "0", qPrintable(next.join('\n')));
        if (failure.isEmpty() && told.isEmpty())
            QCOMPARE(next.value(1), "Sent 0, received 0, removed 0, 0 conflicts");
        sameBothSides(fixture);
        QCOMPARE(fixture.file("NamesListFamily"), listBytes({"Ann", "Cy"}));
        QCOMPARE(numbersThere(), QStringList({"", "", "555"})); // Ann's, with Cy's and Dee's
    }

    // Kills during a first sync both ways: after each, whole contacts only; one sync more leaves both sides equal.
    void killed()
    {
        const int kills = qEnvironmentVariableIsSet("KINFOLIO_SYNC_KILLS") ? qEnvironmentVariableIntValue("KINFOLIO_SYNC_KILLS") : 50;
        const int contacts = qEnvironmentVariableIsSet("KINFOLIO_SYNC_CONTACTS") ? qEnvironmentVariableIntValue("KINFOLIO_SYNC_CONTACTS") : 1000;
        Fixture fixture;
        QTemporaryFile cards;
        QVERIFY(cards.open() && cards.write(generatedCards(contacts / 2)) && cards.flush());
        ENDED_WELL(kinfolio({"--import", cards.fileName()}));
        if (!setUp())
            return;
        for (int i = 0; i < contacts - contacts / 2; ++i)
            put(QString("other-%1").arg(i), card(QString("other-%1").arg(i), QString("Other %1").arg(i)));
        for (int kill = 0; kill < kills; ++kill) {
            QVERIFY(syncKilled(100, 1500));
            QCOMPARE(bookFaults(fixture.dataDir(), true), QStringList());
        }
        SYNCED();
        QCOMPARE(kinfolio({"--sync"}), QStringList({"0", "Sent 0, received 0, removed 0, 0 conflicts", ""}));
        QStringList listed;
        QCOMPARE(bookFaults(fixture.dataDir(), false, &listed), QStringList());
        QCOMPARE(listed.size(), contacts);
        sameBothSides(fixture);
    }
};

QTEST_MAIN(TestBookSync)
#include "tst_booksync.moc"
