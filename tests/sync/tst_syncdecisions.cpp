// What a sync decides from what each side did, and a card merged field by field, in small tables.

#include "sync/decisions.h"

#include <QTest>

using namespace Sync;

namespace {

const QString book = "/b/";

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
            lines.append(name + (": " + items.replaceInStrings(book, "").replaceInStrings(".vcf", "").join(' ')));
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

} // namespace

class TestSyncDecisions : public QObject
{
    Q_OBJECT

private slots:
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
            synced.insert(uid, {book + uid + ".vcf", etag, {}});
        QHash<QString, Here> states;
        QHash<QString, bool> keepMine;
        for (const auto &[uid, state] : pairs(here).asKeyValueRange()) {
            states.insert(uid, state[0] == 'C' ? Here::Changed : state[0] == 'U' ? Here::Unchanged : Here::Removed);
            if (state.size() > 1)
                keepMine.insert(uid, state[1] == '+');
        }
        QHash<QString, QByteArray> listing;
        for (const auto &[uid, etag] : pairs(there).asKeyValueRange())
            listing.insert(book + uid + ".vcf", etag);
        QCOMPARE(describe(Sync::plan(synced, states, listing, book, keepMine)), plan);
        // An incremental listing comes to the same.
        QHash<QString, QByteArray> changed;
        QStringList removed;
        for (const Synced &s : synced)
            if (!listing.contains(s.href))
                removed.append(s.href);
        for (const auto &[href, etag] : listing.asKeyValueRange())
            if (synced.value(href.mid(book.size()).chopped(4)).etag != etag)
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
};

QTEST_GUILESS_MAIN(TestSyncDecisions)
#include "tst_syncdecisions.moc"
