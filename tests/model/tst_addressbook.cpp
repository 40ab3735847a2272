// The address book's rules, without a window, and how the next start finishes a change a crash cut short; categories,
// names, details and dependants in the window: what each change writes, and what the window shows.

#include "support/testsupport.h"

#include "model/addressbook.h"
#include "model/findindex.h"
#include "store/paths.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QSignalSpy>
#include <QTimer>

#include <cstdio>

using Refusal = AddressBook::Refusal;

class TestAddressBook : public FixtureTest
{
    Q_OBJECT

    // The lists with their entries, and each contact's files counted.
    QStringList state() const
    {
        QMap<QString, int> counted;
        for (const QString &file : f->files().keys()) {
            QStringList entries;
            if (file == "RelationsList" || file.startsWith("NamesList")) {
                RecordFile::readList(f->dataDir() + file, entries);
                counted.insert(file + ": " + entries.join(','), 0);
                continue;
            }
            for (const QString &suffix : FileName::contactSuffixes)
                if (file.endsWith(suffix))
                    ++counted[file.chopped(suffix.size())];
        }
        QStringList lines;
        for (const auto &[line, files] : counted.asKeyValueRange())
            lines.append(files ? QString("%1: %2 files").arg(line).arg(files) : line);
        return lines;
    }

    // A small book to find in, read into an index.
    static Files findBook()
    {
        return {{"RelationsList", listBytes({"Family", "Work"})}, {"NamesListFamily", listBytes({"Ann Lee", "Zoë"})},
                {"NamesListWork", listBytes({"Émile Dupré"})},
                {"FamilyAnn LeeNumbers", "\"(330) 555-0142\",\"\",\"\",\"\",\"ann@mail.org\"\r\n"},
                {"FamilyAnn LeeDependantsList", listBytes({"Tim", "Sue"})}, {"FamilyZoëAddress", "\"12 Elm St\r\nLeeds\"\r\n"},
                {"WorkÉmile DupréRelation", "\"Boss\"\r\n"}};
    }
    static QString found(const FindIndex &index, const QString &query)
    {
        QStringList lines;
        for (const FindIndex::Match &match : index.search(query))
            lines.append(match.name + '/' + match.category + '/' + match.field);
        return lines.join(", ");
    }

private slots:
    // On the standard book, after noting the category/name pairs given, as an import of several cards does.
    void checkContact_data()
    {
        QTest::addColumn<QStringList>("noted"); QTest::addColumn<Files>("more");
        QTest::addColumn<QString>("category"); QTest::addColumn<QString>("name"); QTest::addColumn<int>("refusal");
        const auto row = [](const char *tag, const QString &category, const QString &name, Refusal refusal,
                            const QStringList &noted = {}, const Files &more = {}) {
            QTest::newRow(tag) << noted << more << category << name << int(refusal);
        };
        row("noted earlier in the same change", "work", "JO", Refusal::Repeated, {"work/Jo"});
        row("another category's contact, in other letters", "Fam", "ilyann", Refusal::Taken);
        row("another category's contact without files", "Fam", "ilyBo", Refusal::Taken);
        row("one added earlier in the same change", "Friends", "Dan", Refusal::Taken, {"Friend/sDan"});
        row("one added earlier to a new category", "Friends", "Dan", Refusal::Taken, {"Frie/", "Frie/ndsDan"});
        row("files named as a names list", "Names", "ListFamily", Refusal::Reserved, {"Names/"});
        row("a prefix's names cannot be read", "Friends", "Eve", Refusal::Taken, {}, {{"NamesListFriend/", ""}});
        row("names cannot be read", "work", "Eve", Refusal::Unreadable, {}, {{"NamesListwork/", ""}});
        for (const QChar c : QString("\\/:*?<>|\""))
            row(qPrintable(QString("forbidden character ") + c), "work", QString("Jo%1e").arg(c), Refusal::Forbidden);
    }
    void checkContact()
    {
        QFETCH(QStringList, noted); QFETCH(Files, more); QFETCH(QString, category); QFETCH(QString, name); QFETCH(int, refusal);
        QVERIFY(f->putStandardBook() && f->put(more));
        AddressBook book;
        QVERIFY(book.load());
        bool earlier = true;
        for (const QString &pair : noted) {
            if (pair.endsWith('/'))
                book.noteCategory(pair.chopped(1));
            else if (book.checkContact(pair.section('/', 0, 0), pair.section('/', 1), earlier) == Refusal::None)
                book.noteContact(pair.section('/', 0, 0), pair.section('/', 1));
        }
        earlier = true;
        QCOMPARE(int(book.checkContact(category, name, earlier)), refusal);
        QVERIFY(!earlier); // not even what an earlier check found
    }

    // Each operation: what it refuses or does, what observers are told, the files written (+) or deleted (-).
    void operations_data()
    {
        QTest::addColumn<QString>("operation"); QTest::addColumn<Files>("more"); QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("changed");
        const auto row = [](const char *tag, const QString &operation, const QString &result, const QString &changed,
                            const Files &more = {}) { QTest::newRow(tag) << operation << more << result << changed; };
        row("categories unreadable", "add category/Aunts", "refused 8", "", {{"RelationsList/", ""}});
        row("category as a names list", "add category/NamesListX", "refused 6", "");
        row("contact", "add Family/Émile", "stored; nameAdded Family Émile 3", "+FamilyÉmile* +NamesListFamily");
        row("contact", "remove Family/Ann", "removed; nameRemoved Family Ann 0", "-FamilyAnn* -FamilyAnnPic +NamesListFamily");
        row("contact not listed", "remove Family/Eve", "not removed", "");
        row("category without names", "remove category/work", "removed; categoryRemoved work 4", "+RelationsList");
        row("contact renamed", "rename Family/Ann>Annie", "stored; nameRemoved Family Ann 0; nameAdded Family Annie 1",
            "-FamilyAnn* -FamilyAnnPic +FamilyAnnie* +FamilyAnniePic +NamesListFamily");
        row("contact renamed in letter case", "rename Family/Ann>ANN", "stored; nameRemoved Family Ann 0; nameAdded Family ANN 0",
            "+FamilyANN* +FamilyANNPic -FamilyAnn* -FamilyAnnPic +NamesListFamily");
        row("contact renamed over files an add left", "rename Friend/Bob>Eve", "stored; nameRemoved Friend Bob 0; nameAdded Friend Eve 0",
            "-FriendBob* -FriendBobPic +FriendEve* +FriendEvePic +NamesListFriend", {{"FriendEveBirthday", "\"1 May\"\r\n"}});
        row("category renamed", "rename category/Friend>Pals", "stored; categoryRemoved Friend 2; categoryAdded Pals 3",
            "-FriendBob* -FriendBobPic -NamesListFriend +NamesListPals +PalsBob* +PalsBobPic +RelationsList");
        row("category renamed in letter case", "rename category/Friend>FRIEND", "stored; categoryRemoved Friend 2; categoryAdded FRIEND 2",
            "+FRIENDBob* +FRIENDBobPic -FriendBob* -FriendBobPic +NamesListFRIEND -NamesListFriend +RelationsList");
        row("category renamed as one listed", "rename category/Friend>FAMILY", "refused 4", "");
        row("category renamed as a names list", "rename category/Friend>NamesList", "refused 6", "");
        row("category renamed, a contact as another's files", "rename category/Friend>workx", "refused 7", "",
            {{"NamesListwork", listBytes({"xBob"})}});
        row("category renamed, a contact's files too long", "rename category/Friend>" + QString(229, 'f'), "refused 3", "");
    }
    void operations()
    {
        QFETCH(QString, operation); QFETCH(Files, more); QFETCH(QString, result); QFETCH(QString, changed);
        QVERIFY(f->putStandardBook() && f->put(more));
        const Files before = f->files();
        AddressBook book;
        book.load();
        QStringList told;
        connect(&book, &AddressBook::categoryAdded, [&](const QString &c, int row) { told << QString("categoryAdded %1 %2").arg(c).arg(row); });
        connect(&book, &AddressBook::categoryRemoved, [&](const QString &c, int row) { told << QString("categoryRemoved %1 %2").arg(c).arg(row); });
        connect(&book, &AddressBook::nameAdded, [&](const QString &c, const QString &n, int row) { told << QString("nameAdded %1 %2 %3").arg(c, n).arg(row); });
        connect(&book, &AddressBook::nameRemoved, [&](const QString &c, const QString &n, int row) { told << QString("nameRemoved %1 %2 %3").arg(c, n).arg(row); });
        const QString verb = operation.section(' ', 0, 0), category = operation.section(' ', 1).section('/', 0, 0),
                      name = operation.section('/', 1);
        const QString from = name.section('>', 0, 0), to = name.section('>', 1);
        QString did;
        if (verb == "remove") {
            const AddressBook::Removal removal = category == "category" ? book.removeCategory(name) : book.removeContact(category, name);
            did = removal == AddressBook::Removal::Removed ? "removed" : removal == AddressBook::Removal::NotRemoved ? "not removed" : "files left";
        } else {
            const AddressBook::Added added =
                verb == "add" ? (category == "category" ? book.addCategory(name) : book.addContact({category, name, {}, {}, {}}))
                : category == "category" ? book.renameCategory(from, to) : book.renameContact(category, from, to);
            did = added.refusal != Refusal::None ? QString("refused %1").arg(int(added.refusal)) : added.stored ? "stored" : "not stored";
        }
        QCOMPARE((QStringList{did} + told).join("; "), result);
        if (verb == "add" && result.startsWith("stored;") && category != "category") // a new contact: every number there, empty
            QCOMPARE(f->file(category + name + "Numbers"), "\"\",\"\",\"\",\"\",\"\"\r\n");
        QCOMPARE(changedFiles(before, f->files()).join(' '), changed);
    }

    // A rename takes the kept card and the program's copy of the picture along; a removal deletes them; the user's own
    // picture stays.
    void keptFilesFollow()
    {
        const QString kept = f->home.filePath("Kinfolio/");
        QVERIFY(f->putStandardBook() && putFiles(kept + "Pictures/", {{"FriendBob.jpg", "jpeg"}, {"FriendsCarl.jpg", "jpeg"}})
                && putFiles(kept + "Cards/", {{"FriendBob", "card"}}));
        QVERIFY(f->put({{"FriendBobPic", RecordFile::encodeValue(kept + "Pictures/FriendBob.jpg")},
                        {"FriendsCarlPic", RecordFile::encodeValue(kept + "Pictures/FriendsCarl.jpg")},
                        {"FamilyAnnPic", RecordFile::encodeValue(kept + "FamilyAnn.jpg")}}));
        AddressBook book;
        QVERIFY(book.load() && book.renameCategory("Friend", "Pals").stored && book.renameContact("Family", "Ann", "Annie").stored);
        QCOMPARE(filesIn(kept + "Pictures").keys(), QStringList({"FriendsCarl.jpg", "PalsBob.jpg"}));
        QCOMPARE(filesIn(kept + "Cards").keys(), QStringList{"PalsBob"});
        // A card received again without a photo takes the kept one with it.
        QVERIFY(book.replaceContact("Friends", "Carl", {"Friends", "Carl", {}, {}, {}}).stored);
        QCOMPARE(filesIn(kept + "Pictures").keys(), QStringList{"PalsBob.jpg"});
        QCOMPARE(f->file("PalsBobPic"), RecordFile::encodeValue(kept + "Pictures/PalsBob.jpg"));
        QCOMPARE(f->file("FamilyAnniePic"), RecordFile::encodeValue(kept + "FamilyAnn.jpg"));
        QVERIFY(putFiles(kept, {{"FamilyAnn.jpg", "jpeg"}}) && book.replaceContact("Family", "Annie", {"Family", "Annie", {}, {}, {}}).stored);
        QVERIFY(book.removeContact("Pals", "Bob") == AddressBook::Removal::Removed
                && book.removeContact("Family", "Annie") == AddressBook::Removal::Removed);
        QVERIFY(filesIn(kept + "Pictures").isEmpty() && QFile::exists(kept + "FamilyAnn.jpg"));
    }

    // Another program changes the files while the window shows Family/Ann: within a second the window shows them, but
    // the box being typed in keeps its text, stored, the user told once; a number typed later keeps the others' values.
    void outsideChanges()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann") && f->showActive());
        FrmMain &w = f->window();
        QStringList seen{"Family/Ann | names on | details on | filled | Ann", "Fam,Family,Friend,Friends,work", "Ann,Anna,Bo,Zoë",
                         "Ann's sister|1 May, 1970|12 Elm St, Flat 2\nLeeds|M1 north\n\nthen left|111|222|333|444|Ann@mail.org|mornings only"};
        const auto shown = [&] {
            return QStringList{f->state(), Controls::entries(w.cboRelationship).join(','), Controls::entries(w.lstNames).join(','),
                               f->texts().join('|')};
        };
        // Written in place, or renamed over the file (name ending in '~').
        const auto written = [&](const QString &name, const QByteArray &bytes) {
            const QString path = f->dataDir() + name;
            return RecordFile::flush() && putFiles(f->dataDir(), {{name, bytes}})
                   && (!name.endsWith('~') || std::rename(qPrintable(path), qPrintable(path.chopped(1))) == 0);
        };
        QVERIFY(written("FamilyAnnNumbers~", "\"111\",\"999\",\"333\",\"444\",\"ann@new.org\"\r\n"));
        seen[3].replace("222", "999").replace("Ann@mail", "ann@new");
        QTRY_COMPARE_WITH_TIMEOUT(shown(), seen, 1000);
        typeAtEnd(w.txtHome, "5");
        QCOMPARE(f->file("FamilyAnnNumbers"), "\"1115\",\"999\",\"333\",\"444\",\"ann@new.org\"\r\n");
        seen[3].replace("111", "1115");

        w.txtBirthday->setFocus();
        typeAtEnd(w.txtBirthday, "!");
        QVERIFY(written("FamilyAnnBirthday", "\"2 June\"\r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(f->platform.messages(),
                                  QStringList{"Another program changed Birthday of Ann while you were typing it; what you typed is kept."}, 1000);
        QCOMPARE(f->file("FamilyAnnBirthday"), "\"1 May, 1970!\"\r\n");
        seen[3].replace("1970", "1970!");
        QCOMPARE(shown(), seen);

        QVERIFY(written("FormBackColor", " 255 \r\n"));
        QTRY_COMPARE_WITH_TIMEOUT(w.client->palette().color(QPalette::Window), Qt::red, 1000);
        QVERIFY(written("NamesListFamily", listBytes({"Ann", "Abe", "Anna"})));
        seen[2] = "Abe,Ann,Anna";
        QTRY_COMPARE_WITH_TIMEOUT(shown(), seen, 1000);
        QVERIFY(written("RelationsList", listBytes({"Zed", "Family"})));
        seen[1] = "Family,Zed";
        QTRY_COMPARE_WITH_TIMEOUT(shown(), seen, 1000);
        QVERIFY(QFile::remove(f->dataDir() + "FamilyAnnNumbers"));
        QVERIFY(written("NamesListFamily", listBytes({"Anna"})));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{"Family/ | names on | details off | empty | No Contact Name Selected",
                                                        "Family,Zed", "Anna", "|||||||||"}), 1000);
        QVERIFY(written("RelationsList", listBytes({"work"})));
        QTRY_COMPARE_WITH_TIMEOUT(shown(), (QStringList{"/ | names off | details off | empty | No Contact Name Selected", "work", "",
                                                        "|||||||||"}), 1000);
        QCOMPARE(w.client->palette().color(QPalette::Window), Qt::red);
        QCOMPARE(f->platform.messages().size(), 1);
    }

    // A sync tool writes 10,000 files and then the names list: the window reads the list once.
    void outsideBurst()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann"));
        QSignalSpy reread(&f->window().addressBook, &AddressBook::namesReset);
        Files burst;
        QStringList names{"Ann"};
        for (int i = 0; i < 10000; ++i) {
            names.append(QString("P%1").arg(i, 5, 10, QChar('0')));
            burst.insert("Family" + names.last() + "Birthday", "\"\"\r\n");
        }
        QVERIFY(putFiles(f->dataDir(), burst) && putFiles(f->dataDir(), {{"NamesListFamily", listBytes(names)}}));
        QTRY_COMPARE_WITH_TIMEOUT(f->window().lstNames->count(), 10001, 2000);
        QCOMPARE(f->window().currentName(), "Ann");
        QCOMPARE(reread.size(), 1);
    }

    // What the next start makes of a change a crash cut short, by its record.
    void finishInterrupted_data()
    {
        QTest::addColumn<QStringList>("record"); QTest::addColumn<Files>("files"); QTest::addColumn<QStringList>("after");
        Files book{{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})}};
        book.insert(contactFiles("Family", "Ann"));
        book.insert(contactFiles("Family", "Bo"));
        Files cutShort = book;
        cutShort.insert(contactFiles("Work", "Cy"));
        cutShort.insert(contactFiles("Family", "Di"));
        cutShort.remove("FamilyDiPic"); // made last, with its picture
        cutShort.insert({{"FamilyEdBirthday", "\"\"\r\n"}, {"FamilyEdPic", "x\r\n"}});
        const QStringList imported{"add", "Work", "Cy", "", "Family", "Di", "", "Family", "Ed", "FamilyEd.jpg", "Family", "Fay", ""};
        QStringList whole{"FamilyAnn: 8 files", "FamilyBo: 8 files", "FamilyDi: 7 files", "NamesListFamily: Ann,Bo,Di",
                          "NamesListWork: Cy", "RelationsList: Family,Work", "WorkCy: 8 files"};
        QTest::newRow("import: whole contacts listed, the rest deleted") << imported << cutShort << whole;
        Files listed = cutShort;
        listed["NamesListWork"] = listBytes({"Cy"});
        listed["RelationsList"] = listBytes({"family", "Work"});
        QTest::newRow("import: listed already, in other letters") << imported << listed << whole.replaceInStrings(": F", ": f");
        // Files made in place past the contacts counted as synced may be cut, however whole they look.
        QStringList inPlace = imported;
        inPlace.replace(0, "add, in place"), inPlace.insert(1, "1");
        QTest::newRow("import in place: those past the count deleted") << inPlace << cutShort << QStringList{"FamilyAnn: 8 files",
            "FamilyBo: 8 files", "NamesListFamily: Ann,Bo", "NamesListWork: Cy", "RelationsList: Family,Work", "WorkCy: 8 files"};
        const QStringList category{"remove category", "Family", "Ann", "Bo"};
        QTest::newRow("category removal before its list") << category << book << QStringList{"RelationsList: "};
        Files unlisted = book;
        unlisted["RelationsList"] = "";
        unlisted.remove("FamilyAnnBirthday");
        QTest::newRow("category removal on the way") << category << unlisted << QStringList{"RelationsList: "};
        const QStringList untouched{"FamilyAnn: 8 files", "FamilyBo: 8 files", "NamesListFamily: Ann,Bo", "RelationsList: Family"};
        QTest::newRow("name removal") << QStringList{"remove", "Family", "Bo"} << book
                                      << QStringList{"FamilyAnn: 8 files", "NamesListFamily: Ann", "RelationsList: Family"};
        // A rename is undone until its new name is listed, and finished after.
        const auto renamedPart = [&](const QString &list, const QStringList &entries, const QString &from, const QString &to) {
            Files part = book;
            part[list] = listBytes(entries);
            for (const char *suffix : {"Address", "Numbers"})
                part.insert(to + suffix, part.take(from + suffix));
            return part;
        };
        const QStringList annie{"rename", "Family", "Family", "Ann", "Annie", "", ""};
        QTest::newRow("contact rename before its new name was listed")
            << annie << renamedPart("NamesListFamily", {"Bo"}, "FamilyAnn", "FamilyAnnie") << untouched;
        QTest::newRow("contact rename once listed") << annie << renamedPart("NamesListFamily", {"Annie", "Bo"}, "FamilyAnn", "FamilyAnnie")
            << QStringList{"FamilyAnnie: 8 files", "FamilyBo: 8 files", "NamesListFamily: Annie,Bo", "RelationsList: Family"};
        const QStringList kin{"rename", "Family", "Kin", "Ann", "Ann", "", "", "Bo", "Bo", "", ""};
        Files kinPart = renamedPart("RelationsList", {"Family"}, "FamilyBo", "KinBo");
        kinPart.insert("NamesListKin", kinPart.take("NamesListFamily"));
        QTest::newRow("category rename before its new name was listed") << kin << kinPart << untouched;
        kinPart["RelationsList"] = listBytes({"Kin"});
        QTest::newRow("category rename once listed") << kin << kinPart
            << QStringList{"KinAnn: 8 files", "KinBo: 8 files", "NamesListKin: Ann,Bo", "RelationsList: Kin"};
        const QStringList move{"move", "Family", "Bo", "Work", "Cy", ""};
        Files moved = book;
        moved.insert(contactFiles("Work", "Cy"));
        QTest::newRow("move: listed under its new name, gone from the old")
            << move << moved << QStringList{"FamilyAnn: 8 files", "NamesListFamily: Ann", "NamesListWork: Cy",
                                            "RelationsList: Family,Work", "WorkCy: 8 files"};
        moved = book;
        moved.insert("WorkCyBirthday", "\"\"\r\n");
        QTest::newRow("move: cut short before its files, left where it was") << move << moved << untouched;
        Files left = book;
        left.insert(contactFiles("Family", "Eve"));
        QTest::newRow("no record: an add's files stay for it") << QStringList() << left
            << QStringList{"FamilyAnn: 8 files", "FamilyBo: 8 files", "FamilyEve: 8 files", "NamesListFamily: Ann,Bo",
                           "RelationsList: Family"};
    }
    void finishInterrupted()
    {
        QFETCH(QStringList, record); QFETCH(Files, files); QFETCH(QStringList, after);
        Files kept; // a card for each contact with files
        for (const QString &file : files.keys())
            if (file.endsWith("Birthday"))
                kept.insert(file.chopped(8), "BEGIN:VCARD\r\nEND:VCARD\r\n");
        QVERIFY(f->put(files) && putFiles(f->home.filePath("Kinfolio/Cards/"), kept));
        const QString picture = f->home.filePath("Kinfolio/Pictures/FamilyEd.jpg"); // a cut-short contact's
        QVERIFY(!record.contains("FamilyEd.jpg") || putFiles(f->home.filePath("Kinfolio/Pictures/"), {{"FamilyEd.jpg", "jpeg"}}));
        const QString unfinished = f->home.filePath("Kinfolio/Unfinished");
        QVERIFY(record.isEmpty() || RecordFile::rewriteList(unfinished, record));
        AddressBook::finishInterrupted();
        QCOMPARE(state(), after);
        QVERIFY(!QFile::exists(unfinished) && !QFile::exists(picture));
        // The contacts left keep their cards, and only they.
        QStringList left;
        for (const QString &line : after)
            if (line.endsWith(" files"))
                left.append(line.section(':', 0, 0));
        QCOMPARE(filesIn(f->home.filePath("Kinfolio/Cards")).keys(), left);
    }

    // Find matches any part of a name, category or field, ignoring case and accents, a number by its digits alone.
    void find_data()
    {
        QTest::addColumn<QString>("query"); QTest::addColumn<QString>("matches");
        QTest::newRow("case and accent") << "ZOE" << "Zoë/Family/Name";
        QTest::newRow("accents both sides") << "émile dupre" << "Émile Dupré/Work/Name";
        QTest::newRow("number spaced") << "555 0142" << "Ann Lee/Family/Home Phone #";
        QTest::newRow("e-mail") << "Ann@M" << "Ann Lee/Family/E-Mail";
        QTest::newRow("empty") << "" << "";
    }
    void find()
    {
        QFETCH(QString, query); QFETCH(QString, matches);
        QVERIFY(f->put(findBook()));
        AddressBook book;
        book.load();
        FindIndex index(book);
        QTRY_VERIFY(!index.filling());
        QCOMPARE(index.contacts(), 3);
        QCOMPARE(found(index, query), matches);
    }

    // The index follows the book, whatever changed it.
    void findFollows()
    {
        QVERIFY(f->put(findBook()));
        AddressBook book;
        book.load();
        book.watch();
        FindIndex index(book);
        QTRY_VERIFY(!index.filling());
        QVERIFY(book.addContact({"Work", "Bo Hart", {}, {}, {}}).stored);
        QTRY_COMPARE(found(index, "hart"), "Bo Hart/Work/Name");
        book.openContact("Work", "Bo Hart");
        book.setField(FileName::Birthday, 0, "2 May");
        QTRY_COMPARE(found(index, "2 may"), "Bo Hart/Work/Birthday");
        QVERIFY(book.renameContact("Family", "Zoë", "Zoe Ray").stored);
        QTRY_COMPARE(found(index, "leeds"), "Zoe Ray/Family/Address");
        QVERIFY(book.renameCategory("Work", "Office").stored);
        QTRY_COMPARE(found(index, "boss"), "Émile Dupré/Office/Relation");
        QVERIFY(book.removeContact("Family", "Ann Lee") == AddressBook::Removal::Removed);
        QTRY_COMPARE(found(index, "0142"), "");
        // A sync's new version, and another program's add and edit.
        QVERIFY(book.replaceContact("Office", "Bo Hart", {"Office", "Bo Hart", {{FileName::Relation, "\"cousin\"\r\n"}}, {}, {}}).stored);
        QTRY_COMPARE(found(index, "cousin"), "Bo Hart/Office/Relation");
        QVERIFY(putFiles(f->dataDir(), {{"OfficeCy NashAddress", "\"Oak Rd\"\r\n"},
                                        {"OfficeÉmile DupréBirthday", "\"7 July\"\r\n"}}));
        QVERIFY(putFiles(f->dataDir(), {{"NamesListOffice", listBytes({"Bo Hart", "Cy Nash", "Émile Dupré"})}}));
        QTRY_COMPARE_WITH_TIMEOUT(found(index, "oak"), "Cy Nash/Office/Address", 3000);
        QTRY_COMPARE_WITH_TIMEOUT(found(index, "july"), "Émile Dupré/Office/Birthday", 3000);
        QCOMPARE(found(index, "o"), "Bo Hart/Office/Name, Cy Nash/Office/Category, Émile Dupré/Office/Category, Zoe Ray/Family/Name");
    }

    // The selection moves only when the user picks another name; moving into the list by keyboard picks one.
    void selectingByHand()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Friend") && f->showActive());
        FrmMain &w = f->window();
        QListWidget *list = w.lstNames;
        const QPoint bob = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, bob);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(4, list->viewport()->height() - 4));
        QCOMPARE(w.currentName(), "Bob");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, bob);
        QCOMPARE(w.currentName(), "Bob");
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(f->state(), "Friend/Bob | names on | details on | filled | Bob");
        for (const auto &[key, name] : {std::pair{Qt::Key_End, "Zoë"}, {Qt::Key_PageDown, "Zoë"}, {Qt::Key_Down, "Ann"}}) {
            QVERIFY(f->pickCategory("Friend") && f->pickCategory("Family"));
            w.cmdRemoveRelationship->setFocus();
            QTest::keyClick(w.cmdRemoveRelationship, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), list);
            QTest::keyClick(list, key);
            QCOMPARE(w.currentName(), name);
        }
        QCOMPARE(f->state(), "Family/Ann | names on | details on | filled | Ann");
    }

    // F2 renames the name or category chosen; the names list's right-click menu offers Rename and Remove.
    void renameAndRightClick()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann") && f->showActive());
        FrmMain &w = f->window();
        f->platform.inputs << " Annie " << "anna" << "Kin";
        w.lstNames->setFocus();
        QTest::keyClick(w.lstNames, Qt::Key_F2);
        QCOMPARE(f->state(), "Family/Annie | names on | details on | filled | Annie");
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file("FamilyAnnieBirthday"), QByteArray("\"1 May, 1970!\"\r\n"));
        QTest::keyClick(w.lstNames, Qt::Key_F2);
        QCOMPARE(f->platform.messages(), QStringList{"Sorry, anna is already listed under Family. Please type a different name."});
        w.cboRelationship->setFocus();
        QTest::keyClick(w.cboRelationship, Qt::Key_F2);
        QCOMPARE(f->platform.filledIn, (QStringList{"Ann", "Annie", "Family"}));
        QCOMPARE(f->state(), "Kin/ | names on | details off | empty | No Contact Name Selected");

        f->platform.answers << true;
        const QPoint bo = w.lstNames->visualItemRect(w.lstNames->item(2)).center();
        QTest::mouseClick(w.lstNames->viewport(), Qt::RightButton, {}, bo);
        QStringList offered;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                offered << action->text();
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
                QTest::keyClick(menu, key);
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, bo, w.lstNames->viewport()->mapToGlobal(bo));
        QApplication::sendEvent(w.lstNames->viewport(), &click);
        QCOMPARE(offered, (QStringList{"Rename...", "Remove"}));
        QCOMPARE(f->platform.shown.last().prompt, "This will delete all information you have on Bo. Are you sure?");
        QCOMPARE(Controls::entries(w.lstNames).join(','), "Anna,Annie,Zoë");
    }

    // Each Add and Remove button: what it asks and says, what it changes of the window and the files; a list written is
    // what the window shows, sorted ignoring case and accents. Dependants as a hand edit leaves them, too.
    void addAndRemove_data()
    {
        QTest::addColumn<QString>("chosen"); QTest::addColumn<Files>("more"); // category/name/dependant chosen, files added to standardBook()
        QTest::addColumn<QString>("button"); QTest::addColumn<QString>("typed"); QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("seen");
        const auto row = [](const char *tag, const char *chosen, const char *button, const QString &typed, const QStringList &seen,
                            bool yes = true, const Files &more = {}) {
            QTest::newRow(tag) << QString(chosen) << more << QString(button) << typed << yes << seen;
        };
        const auto said = [](const QString &message) { return "message: " + message + " [Kinfolio]"; };
        const QString name = "input: Please type in a name to add to the database [Add Name]",
                      category = "input: Please type in a new relationship category [Add relationship category]",
                      none = "/ | names off | details off | empty | No Contact Name Selected";
        const QString forbidden = " cannot include the following:  /  \\  :  *  ?  <  >  |  '' ";
        row("name refused: \\", "Family", "cmdAddName", "Jo\\e", {name, said("Sorry, Names" + forbidden)});
        row("name cancelled", "Family", "cmdAddName", "", {name});
        row("name sorted, as typed", "Family", "cmdAddName", "mary O'Neil", {name, "Family/mary O'Neil | names on | details on | empty | mary O'Neil",
            "names: Ann, Anna, Bo, [mary O'Neil], Zoë", "files: +Familymary O'Neil* +NamesListFamily"});
        row("name listed, any case, trimmed", "Family", "cmdAddName", " bo ", {name, said("Sorry, bo is already listed under Family. Please type a different name.")});
        row("another category's contact", "Fam", "cmdAddName", "ilyAnn",
            {name, said("Sorry, ilyAnn cannot be added: information is already stored under that name. Please type a different name.")});
        row("name too long", "Family", "cmdAddName", QString(226, 'n'), {name, said("Sorry, that name is too long. Please type a shorter one.")});
        row("name with files an add cut short left", "Friend", "cmdAddName", "Eve",
            {name, said("Information stored earlier under Eve was found and has been brought back."), "Friend/Eve | names on | details on | filled | Eve",
             "names: Bob, [Eve]", "dependants: Anna, tim, Zoe", "files: +NamesListFriend"}, true, contactFiles("Friend", "Eve"));
        row("category refused", "Family/Ann", "cmdAddRelationship", "Mum?s", {category, said("Sorry, Category names" + forbidden)});
        row("category cancelled", "Family/Ann", "cmdAddRelationship", "", {category});
        row("category sorted, trimmed", "Family/Ann", "cmdAddRelationship", " aunt's side ", {category, "aunt's side/ | names on | details off | empty | No Contact Name Selected",
            "categories: [aunt's side], Fam, Family, Friend, Friends, work", "names:", "dependants:", "files: +RelationsList"});
        row("category listed, any case", "Family/Ann", "cmdAddRelationship", "FAMILY",
            {category, said("Sorry, there is already a category called FAMILY. Please type a different name.")});
        row("category too long", "Family/Ann", "cmdAddRelationship", QString(231, 'a'),
            {category, said("Sorry, that category name is too long. Please type a shorter one.")});
        row("dependant cancelled", "Family/Ann", "cmdAddChildren", "", {name});
        row("dependant sorted, comma kept", "Family/Ann", "cmdAddChildren", "lee, Tom",
            {name, "dependants: Anna, [lee, Tom], tim, Zoe", "files: +FamilyAnnDependantsList"});
        row("dependant equal added, first chosen", "Family/Ann", "cmdAddChildren", "Anna",
            {name, "dependants: [Anna], Anna, tim, Zoe", "files: +FamilyAnnDependantsList"});
        row("dependant with a double quote", "Family/Ann", "cmdAddChildren", "Tom \"Tiny\"",
            {name, said("Sorry, a dependant's name cannot include a double quote ( \" ).")});
        const QString family = "question: This will delete all the names and information under the category, Family. Are you sure? [Delete Category]";
        row("remove category: No", "Family", "cmdRemoveRelationship", "", {family}, false);
        row("remove category with names", "Family", "cmdRemoveRelationship", "", {family, none, "categories: Fam, Friend, Friends, work", "names:",
            "files: -FamilyAnn* -FamilyAnnPic -FamilyAnna* -FamilyAnnaPic -FamilyZoë* -FamilyZoëPic -NamesListFamily +RelationsList"});
        row("remove category, none chosen", "", "cmdRemoveRelationship", "", {said("Please select a category to remove.")});
        row("remove name: No", "Family/Ann", "cmdRemoveName", "",
            {"question: This will delete all information you have on Ann. Are you sure? [Delete Category]"}, false);
        row("remove name, none chosen", "Family", "cmdRemoveName", "", {said("Please select a name to remove.")});
        const auto dependant = [](const char *who) {
            return QString("question: You have chosen to delete %1's dependants list. Are you sure? [Delete Category]").arg(who);
        };
        row("remove dependant: No", "Family/Ann/tim", "cmdRemoveChildren", "", {dependant("tim from Ann")}, false);
        row("remove dependant, two on one line", "Family/Bo/Tim", "cmdRemoveChildren", "",
            {dependant("Tim from Bo"), "dependants: Tom", "files: +FamilyBoDependantsList"}, true, {{"FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"}});
        row("remove the last dependant", "Family/Bo/Tom", "cmdRemoveChildren", "",
            {dependant("Tom from Bo"), "Family/Bo | names on | details on | empty | Bo", "dependants:", "files: +FamilyBoDependantsList"}, true,
            {{"FamilyBoDependantsList", "\"Tom\"\r\n"}});
        row("remove dependant, an empty entry", "Family/Anna/", "cmdRemoveChildren", "", {said("Please select a dependant to remove.")}, true,
            {{"FamilyAnnaDependantsList", "\"\"\r\n\"Tom\"\r\n"}});
        // A list that cannot be read is never rewritten from the part shown.
        const QString categories = said("Sorry, the list of categories in <dir> cannot be read, so nothing can be added to it or removed from it until it can."),
                      names = said("Sorry, the list of names of Family in <dir> cannot be read, so nothing can be added to it or removed from it until it can.");
        row("categories cannot be read: Add", "", "cmdAddRelationship", "Aunts", {categories}, true, {{"RelationsList/", ""}});
        row("categories cannot be read: Remove", "", "cmdRemoveRelationship", "", {categories}, true, {{"RelationsList/", ""}});
        row("names cannot be read: Add", "Family", "cmdAddName", "Ed", {names}, true, {{"NamesListFamily/", ""}});
        row("names cannot be read: Remove", "Family", "cmdRemoveName", "", {names}, true, {{"NamesListFamily/", ""}});
    }
    void addAndRemove()
    {
        QFETCH(QString, chosen); QFETCH(Files, more); QFETCH(QString, button); QFETCH(QString, typed); QFETCH(bool, yes);
        QFETCH(QStringList, seen);
        QVERIFY(f->putStandardBook() && f->put(more));
        QVERIFY(f->startOn(chosen.section('/', 0, 0), chosen.section('/', 1, 1)));
        FrmMain &w = f->window();
        for (QListWidgetItem *item : w.lstChildren->findItems(chosen.section('/', 2), Qt::MatchExactly))
            w.lstChildren->setCurrentItem(item);
        f->platform.inputs.enqueue(typed);
        f->platform.answers.enqueue(yes);
        const QStringList lines = f->after([&] { w.findChild<QPushButton *>(button)->click(); });
        QCOMPARE(lines, seen);
        const QMap<QString, QStringList> shown{{"RelationsList", Controls::entries(w.cboRelationship)},
                                               {"NamesList" + w.currentCategory(), Controls::entries(w.lstNames)},
                                               {w.currentCategory() + w.currentName() + "DependantsList", Controls::entries(w.lstChildren)}};
        for (const auto &[file, entries] : shown.asKeyValueRange())
            if (lines.last().split(' ').contains('+' + file))
                QCOMPARE(f->file(file), listBytes(entries));
    }

    // Loading writes nothing; a missing field shows empty, so a keystroke never stores the contact shown before; damaged
    // and huge files show whole.
    void nothingWritten()
    {
        Files stored = standardBook();
        QStringList names{"Anna", "Zoë", "Bo", "Ann", "a\\b"};
        for (int i = 0; i < 100000; ++i)
            names.append(QString::number(i));
        stored["NamesListFamily"] = listBytes(names);
        stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"6\"\r\n";
        stored["FamilyZoëAddress"] = RecordFile::encodeRecord({QString(10 << 20, 'x')});
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QCOMPARE(f->texts(), (QStringList{"Ann's sister", "1 May, 1970", "12 Elm St, Flat 2\nLeeds", "M1 north\n\nthen left",
                                          "111", "222", "333", "444", "Ann@mail.org", "mornings only"}));
        QCOMPARE(w.txtRelation->cursorPosition(), 0); // a loaded value shows its start
        QVERIFY(f->pickName("Bo"));
        QCOMPARE(f->texts(), (QStringList{"", "", "", "", "9", "8", "7", "6", "", ""}));
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->files(), stored);
        typeAtEnd(w.txtFax, "5");
        QVERIFY(f->pickName("a\\b"));
        typeAtEnd(w.txtBirthday, "!");
        QVERIFY(w.lstNames->count() == names.size() && f->pickName("Zoë") && w.txtAddress->toPlainText().size() == 10 << 20);
        stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"65\",\"\"\r\n";
        QCOMPARE(f->files(), stored);
    }

    // An edit rewrites that box's file and no other.
    void editing_data()
    {
        QTest::addColumn<QString>("box"); QTest::addColumn<bool>("paste"); // or type
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("file"); QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *tag, const char *box, bool paste, const QString &text, const char *file, const QByteArray &bytes) {
            QTest::newRow(tag) << box << paste << text << file << bytes;
        };
        row("quotes dropped, any length", "txtRelation", true, "a\"b\"c" + QString(40000, 'r'), "Relation", "\"Ann's sisterabc" + QByteArray(40000, 'r') + "\"\r\n");
        row("one-line: pasted line breaks as spaces", "txtFax", true, "-9\r\n0\n", "Numbers", "\"111\",\"222\",\"333\",\"444-9 0 \",\"Ann@mail.org\"\r\n");
        row("multi-line: typed quote refused, Enter as CR LF", "txtAddress", false, "\"\rLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds\r\nLS1\"\r\n");
        row("multi-line: pasted quotes dropped", "txtAddress", true, " \"The Elms\"\nLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds The Elms\r\nLS1\"\r\n");
        // "\b" is Backspace: after one is deleted there is room for one more.
        row("notes typed stop at 150", "txtNumNotes", false, QString(160, 'x') + "\byz", "NumbNotes", "\"mornings only" + QByteArray(136, 'x') + "y\"\r\n");
        row("notes never cut inside a character", "txtNumNotes", true, QString(136, 'n') + "\U0001F600", "NumbNotes", "\"mornings only" + QByteArray(136, 'n') + "\"\r\n");
    }
    void editing()
    {
        QFETCH(QString, box); QFETCH(bool, paste); QFETCH(QString, text); QFETCH(QString, file); QFETCH(QByteArray, bytes);
        Files expected = standardBook();
        QVERIFY(f->put(expected) && f->startOn("Family", "Ann"));
        QWidget *widget = f->window().findChild<QWidget *>(box);
        QApplication::clipboard()->setText(text); // pasted with the box's own paste key
        typeAtEnd(widget, paste ? QString() : text);
        if (paste)
            QTest::keySequence(widget, QKeySequence::Paste);
        expected["FamilyAnn" + file] = bytes;
        QCOMPARE(f->files(), expected);
    }
};

QTEST_MAIN(TestAddressBook)
#include "tst_addressbook.moc"
