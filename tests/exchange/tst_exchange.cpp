// Contacts in and out as vCards: each address book's samples, the forms they lack and the cards written; through the
// real program and the File menu; one copy of it on a data directory.

#include "support/testsupport.h"

#include "app/onecopy.h"
#include "model/vcardcontact.h"
#include "store/paths.h"
#include "store/vcard.h"

#include <QProcess>
#include <QStringEncoder>
#include <QSysInfo>
#include <QUuid>

#include <sys/stat.h>
#include <unistd.h>

using namespace Vcard;

namespace {

QByteArray sample(const QString &name)
{
    QFile file(QFINDTESTDATA("../data/vcard/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What an import stores, a contact a line, or why the card was skipped.
QString importedAs(const QList<Imported> &contacts)
{
    QStringList lines;
    for (const Imported &contact : contacts) {
        QStringList parts{contact.skipped.isEmpty() ? contact.name + " in " + contact.category
                                                    : contact.cardName + " skipped: " + contact.skipped};
        for (const QString &suffix : FileName::contactSuffixes) {
            RecordFile::Reader reader(contact.files.value(suffix));
            QStringList values;
            for (QString value; reader.readField(value);)
                values.append(value);
            if (!values.join(QString()).isEmpty())
                parts.append(suffix + ": " + values.join(", "));
        }
        if (!contact.picture.isEmpty())
            parts.append(contact.pictureSuffix + ' ' + QString::number(contact.picture.size()));
        lines.append(parts.join(" | "));
    }
    return lines.join('\n');
}

} // namespace

class TestExchange : public FixtureTest
{
    Q_OBJECT

    // The real program on the data of home, with no display.
    static QStringList kinfolio(const QString &home, const QStringList &arguments, QMap<QString, QString> variables = {})
    {
        variables.insert({{"XDG_DATA_HOME", home}, {"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
        return runProgram(KINFOLIO_PROGRAM, arguments, variables);
    }

    // Whether path is the user's, with this mode.
    static bool owned(const QString &path, mode_t mode)
    {
        struct stat status{};
        return ::stat(QFile::encodeName(path), &status) == 0 && status.st_uid == ::geteuid() && (status.st_mode & 0777) == mode;
    }

    // What the lock of process pid (the user's alone) says holds the data directory.
    static QString holder(qint64 pid)
    {
        const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const Files files = filesIn(runtime, false);
        for (const auto &[name, bytes] : files.asKeyValueRange()) {
            const QList<QByteArray> note = bytes.trimmed().split(' ');
            if (name.endsWith(".lock") && note[0].toLongLong() == pid && owned(runtime + '/' + name, 0600))
                return note.value(1);
        }
        return {};
    }

private slots:
    // Each address book's form fills the fields, the rest in the notes; a damaged card is named, those after it come in.
    void import_data()
    {
        QTest::addColumn<QByteArray>("cards"); QTest::addColumn<QString>("stored"); // importedAs()
        for (const char *name : {"android-2.1", "apple-3.0", "google-3.0", "thunderbird-4.0", "outlook-2.1", "rare-forms"})
            QTest::newRow(name) << sample(name + QString(".vcf")) << QString(sample(name + QString(".txt")));
        const QByteArray b = "BEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\n";
        const QString damaged = "card 1, A skipped: damaged: no END:VCARD\nB in Imported";
        QTest::newRow("no END") << "BEGIN:VCARD\r\nFN:A\r\n" + b << damaged;
        QTest::newRow("END:VCRAD") << "BEGIN:VCARD\r\nFN:A\r\nEND:VCRAD\r\n" + b << damaged;
        QTest::newRow("groups, not contacts") << "BEGIN:VCARD\r\nKIND:group\r\nFN:Club\r\nEND:VCARD\r\nBEGIN:VCARD\r\n"
            "X-ADDRESSBOOKSERVER-KIND:group\r\nFN:Choir\r\nEND:VCARD\r\n" + b << "Club skipped: a group of contacts, not a contact\n"
            "Choir skipped: a group of contacts, not a contact\nB in Imported";
        QTest::newRow("stray BEGIN") << "BEGIN:VCARD\r\n" + b << "card 1 skipped: damaged: no END:VCARD\nB in Imported";
        QTest::newRow("soft break before END")
            << "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nNOTE;QUOTED-PRINTABLE:x=\r\nEND:VCARD\r\n" + b
            << "A in Imported | NumbNotes: x\nB in Imported";
        QTest::newRow("value folded before BEGIN:VCARD")
            << "BEGIN:VCARD\r\nFN:A\r\nNOTE:x\r\n BEGIN:VCARD\r\nEND:VCARD\r\n" + b
            << "A in Imported | NumbNotes: xBEGIN:VCARD\nB in Imported";
        QTest::newRow("CHARSET=UTF-8, one bad byte") << QByteArray("BEGIN:VCARD\r\nFN;CHARSET=UTF-8:M\xC3\xBCller\xFC\r\nEND:VCARD")
                                                     << "M\u00FCller\uFFFD in Imported";
        QTest::newRow("2.1: a backslash is the user's, but before ';'")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nNOTE:C:\\new folder\\,x\\;y\\\\z\r\nEND:VCARD\r\n")
            << "A in Imported | NumbNotes: C:\\new folder\\,x;y\\\\z";
        QTest::newRow("2.1: Samsung's labels, in quoted-printable where not ASCII")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nFN:A\r\nTEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,Boat):555\r\n"
                          "TEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,=C3=84rztin):556\r\nEND:VCARD\r\n")
            << "A in Imported | NumbNotes: Phone # (Boat): 555\nPhone # (\u00C4rztin): 556";
        QTest::newRow("CR CR LF") << QByteArray("BEGIN:VCARD\r\r\nFN:A\r\r\n b\r\r\nEND:VCARD\r\r\n") << "Ab in Imported";
        QTest::newRow("photo over 20 MB") << "BEGIN:VCARD\r\nFN:A\r\nPHOTO;ENCODING=b:/9j/" + QByteArray(28 << 20, 'A') + "\r\nEND:VCARD"
                                          << "A in Imported";
        const QString zoe = "BEGIN:VCARD\r\nFN:Zo\u00EB\r\nEND:VCARD\r\n";
        QTest::newRow("UTF-16LE") << "\xFF\xFE" + QStringEncoder(QStringEncoder::Utf16LE).encode(zoe) << "Zo\u00EB in Imported";
        QTest::newRow("UTF-16BE") << "\xFE\xFF" + QStringEncoder(QStringEncoder::Utf16BE).encode(zoe) << "Zo\u00EB in Imported";
        QTest::newRow("numbers of several types")
            << QByteArray("BEGIN:VCARD\r\nFN:A\r\nTEL;TYPE=work,cell:1\r\nTEL;TYPE=cell,fax:2\r\nTEL;TYPE=home,work:3\r\nEND:VCARD\r\n")
            << "A in Imported | Numbers: , 1, 3, 2, ";
        QTest::newRow("two addresses of a type, each with its label")
            << QByteArray("BEGIN:VCARD\r\nFN:A\r\nADR;TYPE=home:;;1 Elm St;;;;\r\nLABEL;TYPE=home:1 Elm St\\nLeeds\r\n"
                          "ADR;TYPE=home:;;2 Oak St;;;;\r\nLABEL;TYPE=home:2 Oak St\\nYork\r\nEND:VCARD\r\n")
            << "A in Imported | Address: 1 Elm St\nLeeds | NumbNotes: Address (home): 2 Oak St, York";
        QTest::newRow("our own card: a dependant is text, a link to a card is none")
            << QByteArray("BEGIN:VCARD\r\nPRODID:-//Kinfolio//Kinfolio//EN\r\nFN:A\r\nRELATED:urn:uuid:1\r\n"
                          "RELATED;VALUE=text:Tom\r\nEND:VCARD\r\n")
            << "A in Imported | DependantsList: Tom";
        QTest::newRow("our own card, its NOTE changed by another program")
            << QByteArray("BEGIN:VCARD\r\nPRODID:-//Kinfolio//Kinfolio//EN\r\nFN:A\r\nNOTE:new\\n\\nRelation: Aunt\r\n"
                          "X-KINFOLIO-RELATION:Aunt\r\nX-KINFOLIO-NOTES:old\r\nX-KINFOLIO-FILE;X-NAME=NumbNotes;VALUE=uri:"
                          "data:application/octet-stream;base64,Im9sZCINCg==\r\nEND:VCARD\r\n")
            << "A in Imported | Relation: Aunt | NumbNotes: new";
        QTest::newRow("the preferred number and e-mail address fill the boxes")
            << QByteArray("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\r\nTEL;TYPE=home:1\r\nTEL;TYPE=home;PREF=1:2\r\nEMAIL:a@x\r\nEMAIL;TYPE=pref:b@x\r\nEND:VCARD\r\n")
            << "A in Imported | Numbers: 2, , , , b@x | NumbNotes: Home Phone #: 1\nE-Mail: a@x";
    }

    void import()
    {
        QFETCH(QByteArray, cards); QFETCH(QString, stored);
        QCOMPARE(importedAs(importCards(cards)), stored);
        for (const Card &card : parse(cards))
            QCOMPARE(parse(Vcard::write(card)).value(0).properties, card.properties);
    }

    // A contact that came from a card goes out as that card, with what was changed here in place of what it came from.
    void exported_data()
    {
        QTest::addColumn<QByteArray>("card"); QTest::addColumn<QString>("file"); // the file changed, to bytes
        QTest::addColumn<QByteArray>("bytes"); QTest::addColumn<QByteArray>("out"); // the properties exported
        QTest::newRow("named from N: its parts stay") << QByteArray("N:Lee;Ann;Marie;Dr.;PhD\r\n") << "" << QByteArray()
                                                      << QByteArray("N:Lee;Ann;Marie;Dr.;PhD\r\nFN:Dr. Ann Marie Lee PhD\r\n");
        QTest::newRow("address changed: its label property too, its type kept")
            << QByteArray("FN:A\r\nitem1.ADR;TYPE=work:;;2 Old Rd;Leeds;;;\r\nitem1.LABEL:2 Old Rd\\nLeeds\r\nitem1.X-ABLABEL:Office\r\n")
            << "Address" << QByteArray("\"1 New Rd\"\r\n")
            << QByteArray("FN:A\r\nitem1.ADR;TYPE=work;LABEL=1 New Rd:;;1 New Rd;;;;\r\nitem1.X-ABLABEL:Office\r\n");
        QTest::newRow("an address taken out of the notes: its label property too")
            << QByteArray("FN:A\r\nADR;TYPE=home:;;1 Elm St;;;;\r\nADR;TYPE=work:;;2 Old Rd;;;;\r\nLABEL;TYPE=work:2 Old Rd\r\n")
            << "NumbNotes" << QByteArray("\"\"\r\n") << QByteArray("FN:A\r\nADR;TYPE=home:;;1 Elm St;;;;\r\n");
        QTest::newRow("a dependant added: those there keep their type")
            << QByteArray("FN:A\r\nRELATED;TYPE=child;VALUE=text:Tom\r\n") << "DependantsList" << QByteArray("\"Tom\"\r\n\"Kit\"\r\n")
            << QByteArray("FN:A\r\nRELATED;TYPE=child;VALUE=text:Tom\r\nRELATED;VALUE=text:Kit\r\n");
        QTest::newRow("unchanged, in 4.0's forms") << QByteArray("FN:A\r\nTEL;TYPE=cell,pref:1\r\nBDAY;X-APPLE-OMIT-YEAR=1604:1604-03-15\r\n")
            << "" << QByteArray() << QByteArray("FN:A\r\nTEL;TYPE=cell;PREF=1:1\r\nBDAY:--0315\r\n");
        QTest::newRow("a number and an e-mail address changed: Samsung's labels stay")
            << QByteArray("FN:A\r\nTEL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,Boat):555\r\nTEL;TYPE=cell:1\r\n"
                          "EMAIL;X-CUSTOM(CHARSET=UTF-8,ENCODING=QUOTED-PRINTABLE,Club):a@x\r\n")
            << "Numbers" << QByteArray("\"\",\"2\",\"\",\"\",\"b@x\"\r\n")
            << QByteArray("FN:A\r\nTEL;X-CUSTOM=Boat:555\r\nTEL;TYPE=cell:2\r\nEMAIL;X-CUSTOM=Club:b@x\r\n");
    }

    void exported()
    {
        QFETCH(QByteArray, card); QFETCH(QString, file); QFETCH(QByteArray, bytes); QFETCH(QByteArray, out);
        Imported in = importCard(parse("BEGIN:VCARD\r\nVERSION:3.0\r\n" + card + "END:VCARD\r\n").value(0));
        if (!file.isEmpty())
            in.files[file] = bytes;
        QCOMPARE(exportContact({in.category, in.name, in.files, in.picture, in.kept}),
                 "BEGIN:VCARD\r\nVERSION:4.0\r\nPRODID:-//Kinfolio//Kinfolio//EN\r\n" + out + "END:VCARD\r\n");
    }

    // A contact moved goes out in its category, not the one it was in; the card's other groups stay.
    void categories_data()
    {
        QTest::addColumn<QString>("categories"); QTest::addColumn<QString>("into"); // the card's; the import's, if given
        QTest::addColumn<QString>("now"); QTest::addColumn<QString>("out"); // the contact's; the card's exported
        QTest::newRow("moved from one a file name cannot hold") << "A/B,Climbing" << "" << "Work" << "Work,Climbing";
        QTest::newRow("moved from beside Google's group") << "myContacts,Pals" << "" << "Work" << "Work,myContacts";
        QTest::newRow("imported into one category, then moved") << "Family,Climbing" << "Work" << "Job" << "Job,Family,Climbing";
    }

    void categories()
    {
        QFETCH(QString, categories); QFETCH(QString, into); QFETCH(QString, now); QFETCH(QString, out);
        const Imported in = importCard(parse("BEGIN:VCARD\r\nFN:A\r\nCATEGORIES:" + categories.toUtf8() + "\r\nEND:VCARD\r\n").value(0), into);
        QCOMPARE(parse(exportContact({now, in.name, in.files, in.picture, in.kept})).value(0).first("CATEGORIES")->value, out);
    }

    // vCard 4.0's forms as 3.0 writes them, and back; lines folded at 75 octets, never inside a character.
    void versions_data()
    {
        QTest::addColumn<QString>("line"); QTest::addColumn<QString>("version3");
        QTest::addColumn<QString>("ways"); // "3": 4.0 to 3.0 only, "4": 3.0 to 4.0 only
        const auto row = [](const char *tag, const QString &line, const QString &version3, const char *ways = "both") {
            QTest::newRow(tag) << line << version3 << QString(ways);
        };
        row("picture", "PHOTO:data:image/png;base64,QUJD", "PHOTO;ENCODING=b;TYPE=PNG:QUJD");
        row("logo", "LOGO:data:image/gif;base64,QUJD", "LOGO;ENCODING=b;TYPE=GIF:QUJD");
        row("key", "KEY:data:application/pgp-keys;base64,QUJD", "KEY;ENCODING=b;TYPE=PGP:QUJD");
        row("file", "X-KINFOLIO-FILE;X-NAME=Numbers;VALUE=uri:data:application/octet-stream;base64,QUJD",
            "X-KINFOLIO-FILE;X-NAME=Numbers;ENCODING=b:QUJD", "3");
        row("tel: URI, preferred", "TEL;VALUE=uri;PREF=1;TYPE=cell:tel:+44 1", "TEL;TYPE=cell;TYPE=pref:+44 1", "3");
        row("preferred", "TEL;TYPE=cell;PREF=1:1", "TEL;TYPE=cell,pref:1", "4");
        row("preferred, among the types", "EMAIL;TYPE=home;PREF=1:a@b.test", "EMAIL;TYPE=home;TYPE=pref:a@b.test");
        row("second preference", "EMAIL;PREF=2:a@b.test", "EMAIL:a@b.test", "3");
        row("birthday without a year", "BDAY:--0315", "BDAY;X-APPLE-OMIT-YEAR=1604:1604-03-15");
        row("birthday without a year, 3.0's form", "BDAY:--0315", "BDAY:--03-15", "4");
        row("birthday", "BDAY:19800315", "BDAY:19800315");
        row("birthday, 3.0's form", "BDAY;VALUE=date:19800315", "BDAY;VALUE=date:1980-03-15", "4");
        row("anniversary", "ANNIVERSARY:--0203", "X-ANNIVERSARY;X-APPLE-OMIT-YEAR=1604:1604-02-03");
        row("position", "GEO:geo:37.33,-122.03", "GEO:37.33;-122.03");
        row("position, its separator escaped", "GEO:geo:37.33,-122.03", "GEO:37.33\\;-122.03", "4");
        row("web address, its colon escaped", "URL:http://example.com/m", "URL:http\\://example.com/m", "4");
        row("kind", "KIND:individual", "", "3");
        row("a note that reads as a data: URI", "NOTE:Data: 5 GB\\, then slow", "NOTE:Data: 5 GB\\, then slow");
        row("an e-mail address marked as a URI", "EMAIL;VALUE=uri:data:,a@b.test", "EMAIL;VALUE=uri:data:,a@b.test");
        row("label the parts say", "ADR;TYPE=home;LABEL=\"12 Elm St\\nLeeds\":;;12 Elm St\\nLeeds;;;;", "ADR;TYPE=home:;;12 Elm St\\nLeeds;;;;", "3");
        const QString label = "item1.ADR;X-SAID=\"a:^'b^'^n^^c\":" + QString(42, 'a');
        row("escaped, folded", label + "é" + QString(80, 'b'), label + "\r\n é" + QString(72, 'b') + "\r\n " + QString(8, 'b'), "3");
        row("label saying more: 3.0's own", "item1.ADR;TYPE=home;LABEL=\"Flat 2, 12 Elm St\":;;12 Elm St;;;;",
            "item1.ADR;TYPE=home:;;12 Elm St;;;;\r\nitem1.LABEL;TYPE=home:Flat 2\\, 12 Elm St");
    }

    void versions()
    {
        QFETCH(QString, line); QFETCH(QString, version3); QFETCH(QString, ways);
        const auto converted = [](const QString &from, QList<Property> (*convert)(QList<Property>)) {
            Card card = parse("BEGIN:VCARD\r\nVERSION:4.0\r\n" + from.toUtf8() + "\r\nEND:VCARD\r\n").value(0);
            card.properties = convert(card.properties);
            const QByteArray written = Vcard::write(card);
            return QString(written.mid(written.indexOf("VERSION:4.0\r\n") + 13).chopped(11));
        };
        if (ways != "4")
            QCOMPARE(converted(line, inVersion3), version3.isEmpty() ? "" : version3 + "\r\n");
        if (ways != "3")
            QCOMPARE(converted(version3, inVersion4), line + "\r\n");
    }

    // The sample data directory exports as the sample cards, which import into an empty one as every data file byte
    // for byte, hand edits included; the picture comes back as its own bytes, in the program's folder.
    void roundTrip()
    {
        Files book = filesIn(QFINDTESTDATA("../data/kinfolio-4.0"), false);
        QFile picture(QFINDTESTDATA("../data/ann.png"));
        book["myContactsAnn LeePic"] = picture.fileName().toUtf8() + "\r\n";
        Files uids; // as the first export left them
        for (const QString name : {"Ann Lee", "Carl", "Oma", "x", "Zoë"})
            uids["myContacts" + name] = "BEGIN:VCARD\r\nUID:urn:uuid:" + QUuid::createUuidV5(QUuid(), name).toByteArray(QUuid::WithoutBraces) + "\r\nEND:VCARD\r\n";
        QVERIFY(f->put(book) && putFiles(f->home.filePath("Kinfolio/Cards/"), uids) && picture.open(QIODevice::ReadOnly));
        const QString cards = f->home.filePath("all.vcf");
        QCOMPARE(kinfolio(f->home.path(), {"--export", cards}), (QStringList{"0", "Exported 5 contacts from 1 category.", ""}));
        const QByteArray sample = filesIn(QFINDTESTDATA("../data/vcard"), false).value("kinfolio-4.0.vcf");
        QCOMPARE(filesIn(f->home.path()).value("all.vcf"), sample);

        QTemporaryDir other;
        QCOMPARE(kinfolio(other.path(), {"--import", cards}), (QStringList{"0", "Imported 5 contacts into 1 category", ""}));
        Files back = filesIn(other.path() + "/Kinfolio/Data");
        QFile kept(QString::fromUtf8(back.take("myContactsAnn LeePic")).trimmed());
        QVERIFY(kept.fileName().startsWith(other.path() + "/Kinfolio/Pictures/") && kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), picture.readAll());
        book.remove("myContactsAnn LeePic");
        QCOMPARE(back, book);

        // Copied whole into another home, as a backup is: it goes out again as it came in.
        QTemporaryDir restored;
        QVERIFY(QDir().rename(other.filePath("Kinfolio"), restored.filePath("Kinfolio")));
        QCOMPARE(kinfolio(restored.path(), {"--export", restored.filePath("again.vcf")}).value(0), "0");
        QCOMPARE(filesIn(restored.path()).value("again.vcf"), sample);
    }

    // How a run ends, what it prints and says on standard error; a run that fails changes nothing, on a full disk too.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); QTest::addColumn<QStringList>("run");
        const QString changed = "; they go out again on export; changed 3: \"A/B\" as \"A-B\", A-B: double quotes as '', A-B: "
                                "photo at an address left out; skipped ", noName = "card 5 (no name, organisation or e-mail address)";
        const auto failed = [](const QString &error) { return QStringList{"1", "", "kinfolio: " + error}; };
        QTest::newRow("names made acceptable, listed names skipped in any case") << QStringList{"--import", "<dir>/family.vcf"}
            << QStringList{"0", "Imported 3 contacts into 3 categories; kept CATEGORIES, PHOTO of 2 contacts" + changed
                                    + "2: ANN (already listed in Family), " + noName, ""};
        QTest::newRow("every card into one category") << QStringList{"--import", "<dir>/family.vcf", "--category", "work"}
            << QStringList{"0", "Imported 4 contacts into 1 category; kept CATEGORIES, PHOTO of 4 contacts" + changed + "1: " + noName, ""};
        QTest::newRow("unreadable file") << QStringList{"--import", "<dir>/none.vcf"}
                                         << failed("cannot read <dir>/none.vcf: No such file or directory");
        QTest::newRow("no card") << QStringList{"--import", "<dir>/rare-forms.txt"} << failed("<dir>/rare-forms.txt: No vCard was found.");
        QTest::newRow("no such category") << QStringList{"--export", "-", "--category", "Work"}
                                          << failed("There is no category called Work.");
        QTest::newRow("unwritable file") << QStringList{"--export", "<dir>/no/dir.vcf"}
                                         << failed("cannot write <dir>/no/dir.vcf: No such file or directory");
        QTest::newRow("neither") << QStringList{"--category", "work"} << failed("give one of --export, --import, --sync or --sync-settings; see --help");
        QTest::newRow("--version") << QStringList{"--version"} << QStringList{"0", "kinfolio 1.0.0", ""};
        for (const QString address : {"http://[::1", "file:///tmp/dav"})
            QTest::newRow(qPrintable("no server's address: " + address)) << QStringList{"--sync-settings", address, "--user", "ann"}
                << failed(address + " is no server's address: give one starting http:// or https://, or its name");
        QTest::newRow("full disk: export") << QStringList{"--export", "<home>/out/all.vcf"}
                                           << failed("cannot write <home>/out/all.vcf: No space left on device");
        const auto unstored = [&](const QString &error) {
            return QStringList{"1", "Imported 0 contacts into 0 categories; skipped 5: ANN (already listed in Family), Dora (could not "
                                    "be stored), Eve (could not be stored), A/B (could not be stored), " + noName,
                               "kinfolio: <dir>/family.vcf: 3 cards could not be stored: " + error};
        };
        QTest::newRow("full disk: import") << QStringList{"--import", "<dir>/family.vcf"} << unstored("No space left on device");
        QTest::newRow("no folder for the cards kept") << QStringList{"--import", "<dir>/family.vcf"} << unstored("File exists");
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments); QFETCH(QStringList, run);
        const QString home = f->home.path(), dir = QFINDTESTDATA("../data/vcard");
        QVERIFY(f->putStandardBook() && putFiles(home + "/out/", {{"all.vcf", "old"}}));
        if (QByteArray(QTest::currentDataTag()) == "no folder for the cards kept")
            QVERIFY(putFiles(f->dataDir() + "../", {{"Cards", ""}}));
        QMap<QString, QString> fault;
        if (QByteArray(QTest::currentDataTag()).startsWith("full disk"))
            fault = {{"LD_PRELOAD", KINFOLIO_FAULTSHIM}, {"KINFOLIO_FAULT", "write:ENOSPC"},
                     {"ASAN_OPTIONS", "verify_asan_link_order=0"}, {"KINFOLIO_FAULT_PATH", home}};
        QCOMPARE(kinfolio(home, arguments.replaceInStrings("<dir>", dir).replaceInStrings("<home>", home), fault),
                 run.replaceInStrings("<dir>", dir).replaceInStrings("<home>", home));
        QVERIFY(run[0] == "0" || f->files() == standardBook());
        QCOMPARE(filesIn(home + "/out"), (Files{{"all.vcf", "old"}}));
    }

    // The kept cards on another disk, through a link: that disk is synced too.
    void keptCardsOnAnotherDisk()
    {
        QTemporaryDir other("/dev/shm/kinfolio-XXXXXX");
        QVERIFY(QDir().mkpath(f->dataDir()) && QFile::link(other.path(), f->dataDir() + "../Cards"));
        QVERIFY(putFiles(f->home.path() + '/', {{"in.vcf", generatedCards(8)}}));
        const QStringList run = kinfolio(f->home.path(), {"--import", f->home.filePath("in.vcf")},
                                         {{"LD_PRELOAD", KINFOLIO_FAULTSHIM}, {"KINFOLIO_FAULT", "sync:EIO"},
                                          {"ASAN_OPTIONS", "verify_asan_link_order=0"}, {"KINFOLIO_FAULT_PATH", other.path()}});
        QVERIFY2(run.value(0) == "1" && run.value(2).endsWith("could not be stored: Input/output error"), qPrintable(run.join('\n')));
    }

    // Two contacts of one UID go out with a UID each, the same on the next export.
    void sharedUid()
    {
        const QByteArray twin = "BEGIN:VCARD\r\nUID:urn:uuid:twin\r\nEND:VCARD\r\n";
        QVERIFY(f->putStandardBook() && putFiles(f->home.filePath("Kinfolio/Cards/"), {{"FamilyAnn", twin}, {"FamilyAnna", twin}}));
        const QStringList run = kinfolio(f->home.path(), {"--export", "-", "--category", "Family"});
        QVERIFY2(run[1].count("UID:urn:uuid:twin") == 1 && run[1].count("\nUID:") == 4, qPrintable(run.join('\n')));
        QCOMPARE(kinfolio(f->home.path(), {"--export", "-", "--category", "Family"}), run);
    }

    // Cards from elsewhere imported into an empty data directory: what the import says and stores.
    void otherPrograms_data()
    {
        QTest::addColumn<QByteArray>("cards"); QTest::addColumn<QString>("summary");
        QTest::addColumn<Files>("stored"); // files of the contact "A"; empty: not there
        const QByteArray png = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAAAAAA6fptVAAAACklEQVR4nGNgAAAAAgABSK+kcQAAAABJRU5ErkJggg==");
        const auto card = [](const QByteArray &lines) { return "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:A\r\n" + lines + "END:VCARD\r\n"; };
        QTest::newRow("only children are dependants")
            << card("RELATED;TYPE=child;VALUE=text:Kit\r\nRELATED;TYPE=spouse;VALUE=text:Sam\r\nRELATED:urn:uuid:1\r\n"
                    "item1.X-ABRELATEDNAMES:Ben\r\nitem1.X-ABLABEL:_$!<Son>!$_\r\nitem2.X-ABRELATEDNAMES:Jo\r\n"
                    "item2.X-ABLABEL:_$!<Friend>!$_\r\n")
            << "Imported 1 contact into 1 category; kept RELATED, X-ABRELATEDNAMES of 1 contact; they go out again on export"
            << Files{{"ImportedADependantsList", "\"Kit\"\r\n\"Ben\"\r\n"}};
        QTest::newRow("files carried whole, escaped by Evolution")
            << card("X-KINFOLIO-FILE;X-NAME=Birthday;VALUE=uri:data:application/octet-stream\\;base64\\,"
                    + QByteArray("soon\r\n").toBase64() + "\r\nPHOTO:data:image/png\\;base64\\," + png.toBase64() + "\r\n")
            << "Imported 1 contact into 1 category" << Files{{"ImportedABirthday", "soon\r\n"}};
        QTest::newRow("files carried whole, cut by python3-vobject")
            << card("X-KINFOLIO-NOTES:a\\, b\r\nX-KINFOLIO-FILE;X-NAME=NumbNotes;VALUE=uri:data:application/octet-stream;base64\r\n"
                    "PHOTO:data:image/png;base64\r\n")
            << "Imported 1 contact into 1 category; kept PHOTO of 1 contact; they go out again on export; changed 1: A: photo "
               "that is not an image left out"
            << Files{{"ImportedANumbNotes", "\"a, b\"\r\n"}, {"ImportedAPic", ""}};
        QTest::newRow("in Google's own group and another")
            << card("CATEGORIES:myContacts,Pals\r\n") << "Imported 1 contact into 1 category" << Files{{"PalsARelation", "\"\"\r\n"}};
        QTest::newRow("a photo that is not an image")
            << card("PHOTO:data:image/jpeg;base64," + QByteArray("\xFF\xD8 no picture").toBase64() + "\r\n")
            << "Imported 1 contact into 1 category; kept PHOTO of 1 contact; they go out again on export; changed 1: A: photo "
               "that is not an image left out"
            << Files{{"ImportedAPic", ""}};
        QTest::newRow("terminal escapes, NUL and a line break in names, a card twice")
            << card("") + "BEGIN:VCARD\r\nFN:\x1B]0;x\x07\x1B[2J" + QByteArray("B\0C", 3) + "\\nD\r\nEND:VCARD\r\n" + card("")
            << "Imported 2 contacts into 1 category; changed 1: \"\\x1B]0;x\\x07\\x1B[2JB\\x00C\\x0AD\" as \" ]0;x  [2JB C D\"; "
               "skipped 1: A (in the file twice)"
            << Files{{"ImportedANumbers", "\"\",\"\",\"\",\"\",\"\"\r\n"}};
    }

    void otherPrograms()
    {
        QFETCH(QByteArray, cards); QFETCH(QString, summary); QFETCH(Files, stored);
        QVERIFY(putFiles(f->home.path() + '/', {{"in.vcf", cards}}));
        QCOMPARE(kinfolio(f->home.path(), {"--import", f->home.filePath("in.vcf")}), (QStringList{"0", summary, ""}));
        const Files files = f->files();
        for (const auto &[name, bytes] : stored.asKeyValueRange())
            QCOMPARE(files.value(name), bytes);
        QFile picture(QString::fromUtf8(files.value("ImportedAPic", "-")).trimmed());
        QCOMPARE(picture.open(QIODevice::ReadOnly) && picture.read(4) == "\x89PNG", cards.contains("image/png\\;"));
        // Exported and imported again elsewhere: each contact in its place.
        QTemporaryDir other;
        QCOMPARE(kinfolio(f->home.path(), {"--export", f->home.filePath("out.vcf")}).value(0), "0");
        QCOMPARE(kinfolio(other.path(), {"--import", f->home.filePath("out.vcf")}).value(0), "0");
        QCOMPARE(filesIn(other.path() + "/Kinfolio/Data").keys(), files.keys());
    }

    // Every exported card written back by python3-vobject (khard's) as vCard 3.0 imports as every field, UID and what was kept.
    void otherReader()
    {
        const QString cards = f->home.filePath("all.vcf"), back = f->home.filePath("back.vcf");
        QVERIFY(f->put(filesIn(QFINDTESTDATA("../data/kinfolio-4.0"), false)) && putFiles(f->home.path() + '/', {{"in.vcf", "BEGIN:VCARD\r\nVERSION:2.1\r\nFN:Org Ann\r\nORG:Acme\r\n"
                                                                           "NOTE:Met at work, 2019\r\nURL:https://example.org\r\nX-A:b\r\nEND:VCARD\r\n"}}));
        QCOMPARE(kinfolio(f->home.path(), {"--import", f->home.filePath("in.vcf")}).value(0), "0");
        QCOMPARE(kinfolio(f->home.path(), {"--export", cards}).value(0), "0");
        const QStringList vobject = runProgram("/usr/bin/python3", {"-c", "import sys, vobject\n"
            "cards = list(vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()))\n"
            "open(sys.argv[2], 'w', encoding='utf-8').write(''.join(card.serialize() for card in cards))", cards, back});
        QVERIFY2(vobject == (QStringList{"0", "", ""}), qPrintable(vobject.join('\n')));

        QTemporaryDir other;
        QCOMPARE(kinfolio(other.path(), {"--import", back}).value(0), "0");
        const Files before = f->files(), after = filesIn(other.path() + "/Kinfolio/Data");
        QCOMPARE(after.keys(), before.keys());
        const auto values = [](const QByteArray &bytes) {
            QStringList fields;
            RecordFile::Reader reader(bytes);
            // vobject cuts what only X-KINFOLIO-FILE carries: a lone CR, a short record.
            for (QString field; reader.readField(field);)
                fields.append(field.replace('\r', '\n'));
            while (!fields.isEmpty() && fields.back().isEmpty())
                fields.removeLast();
            return fields;
        };
        for (const QString &name : before.keys())
            QVERIFY2(values(after[name]) == values(before[name]), qPrintable(name));
        const auto kept = [](const QString &home) {
            QStringList lines;
            for (const auto &[name, bytes] : filesIn(home + "/Kinfolio/Cards").asKeyValueRange()) {
                for (const Vcard::Property &p : Vcard::parse(bytes).value(0).properties) {
                    if (QByteArrayList{"UID", "ORG", "URL", "X-A"}.contains(p.name))
                        lines.append(name + ": " + p.name + ':' + p.text());
                }
            }
            return lines;
        };
        QCOMPARE(kept(other.path()), kept(f->home.path()));
        QCOMPARE(kept(other.path()).size(), 6 + 3);
    }

    // An import adds by the window's rules; afterwards every listed contact has its files, and no file is unlisted.
    void addingRules_data()
    {
        QTest::addColumn<QStringList>("cards"); QTest::addColumn<QString>("summary"); // cards: name|category
        QTest::addColumn<QString>("left"); // a file an add cut short left
        QTest::newRow("category and name run together in one file") << QStringList{"insAmy|Cous", "Amy|Cousins"}
            << "Imported 1 contact into 1 category; skipped 1: Amy (information is already stored under that name)" << "";
        QTest::newRow("a listed contact without files") << QStringList{"ilyBo|Fam"}
            << "Imported 0 contacts into 0 categories; skipped 1: ilyBo (information is already stored under that name)" << "";
        QTest::newRow("files an add cut short left") << QStringList{"Ann|Friend", "Eve|Friend"}
            << "Imported 1 contact into 1 category; skipped 1: Eve (information is already stored under that name)"
            << "FriendEveRelation";
        QTest::newRow("files named as a names list") << QStringList{"Work|NamesList", "Jo|WorkBirthday"}
            << "Imported 1 contact into 1 category; skipped 1: Work (the category cannot be used)" << "";
        QTest::newRow("spaces at both ends") << QStringList{"  Dora  |Work ", "Dora|work"}
            << "Imported 1 contact into 1 category; skipped 1: Dora (in the file twice)" << "";
    }
    void addingRules()
    {
        QFETCH(QStringList, cards); QFETCH(QString, summary); QFETCH(QString, left);
        QVERIFY(f->putStandardBook());
        QVERIFY(left.isEmpty() || f->put({{left, "Sister\n"}}));
        QFile file(f->home.filePath("in.vcf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QString &card : cards)
            file.write(("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + card.section('|', 0, 0) + "\r\nCATEGORIES:"
                        + card.section('|', 1) + "\r\nEND:VCARD\r\n").toUtf8());
        file.close();
        const QStringList faults = bookFaults(f->dataDir(), false); // Family/Bo's files, none before
        QCOMPARE(kinfolio(f->home.path(), {"--import", file.fileName()}).value(1), summary);
        QCOMPARE(bookFaults(f->dataDir(), false), faults);
    }

    // An import holds the data directory (waiting on a pipe): another is refused, a window waits for it. A second start
    // ends; an export beside the window writes nothing, an import is refused; a killed window's lock keeps no one out.
    void oneWriter()
    {
        const QString pipe = f->home.filePath("cards.vcf");
        QVERIFY(f->putStandardBook() && ::mkfifo(QFile::encodeName(pipe), 0600) == 0);
        QProcess import, window;
        import.start(KINFOLIO_PROGRAM, {"--import", pipe});
        QTRY_COMPARE(holder(import.processId()), "import");
        QCOMPARE(kinfolio(f->home.path(), {"--import", pipe}).value(2),
                 QString("kinfolio: another import (process %1) is adding contacts to the data in %2; try again once it has ended")
                     .arg(import.processId()).arg(f->dataDir()));
        window.start(KINFOLIO_PROGRAM, {});
        QTest::qWait(500);
        QFile cards(pipe);
        QVERIFY(cards.open(QIODevice::WriteOnly) && cards.write("BEGIN:VCARD\r\nFN:Dora\r\nEND:VCARD\r\n") > 0);
        cards.close();
        QVERIFY(import.waitForFinished() && import.exitCode() == 0);
        QTRY_COMPARE(holder(window.processId()), "window");
        QCOMPARE(runProgram(KINFOLIO_PROGRAM, {}).value(0), "0"); // a second start
        // An export beside the window only reads: the UIDs it gives are not kept, as the window's sync would give others.
        QVERIFY(kinfolio(f->home.path(), {"--export", "-"}).value(2).contains("the UIDs given to 6 of them were not kept"));
        QCOMPARE(filesIn(f->dataDir() + "../Cards").keys(), QStringList{"ImportedDora"});
        QVERIFY(QDir(f->dataDir()).removeRecursively());
        const QStringList run = kinfolio(f->home.path(), {"--import", QFINDTESTDATA("../data/vcard/family.vcf")});
        QVERIFY2(run[0] == "1" && run[2].startsWith("kinfolio: Kinfolio is open with the data in " + f->dataDir()),
                 qPrintable(run.join('\n')));
        QVERIFY(window.state() == QProcess::Running && f->files().isEmpty());
        OneCopy probe(f->dataDir(), OneCopy::Role::Import);
        QVERIFY(!probe.lead() && probe.heldByWindow());
        window.kill();
        QVERIFY(window.waitForFinished() && probe.lead());
    }

    // A folder of the program's not the user's own, or that others can write, is refused saying how to fix it. With no
    // runtime folder the lock goes to a private folder in the cache.
    void refused_data()
    {
        QTest::addColumn<QString>("folder"); QTest::addColumn<uint>("owner"); QTest::addColumn<uint>("mode");
        QTest::addColumn<QString>("refusal"); // <f> the folder
        const QString others = "<f> belongs to another user, so Kinfolio does not write in it. Make it your own (chown root <f>), or move it away.";
        const QString writable = "Other users can write in <f>, so Kinfolio does not write in it. Make it yours alone (chmod go-w <f>).";
        QTest::newRow("data folder of another user") << "Kinfolio/Data" << 65534u << 0700u << others;
        QTest::newRow("data folder others can write") << "Kinfolio/Data" << 0u << 0703u << writable;
        QTest::newRow("data folder its group can write") << "Kinfolio/Data" << 0u << 0770u << writable;
        QTest::newRow("the folder holding it others can write") << "Kinfolio" << 0u << 0777u << writable;
        QTest::newRow("picture folder of another user") << "Kinfolio/Pictures" << 65534u << 0700u << others;
        QTest::newRow("lock folder another user made first") << "cache/kinfolio/runtime-" + QSysInfo::machineHostName() << 65534u << 0700u
            << "cannot make sure no other copy of Kinfolio works on the data in <home>/Kinfolio/Data/, so nothing was imported: <f> belongs to another user";
        QTest::newRow("none of these") << "" << 0u << 0u << "";
    }

    void refused()
    {
        QFETCH(QString, folder); QFETCH(uint, owner); QFETCH(uint, mode); QFETCH(QString, refusal);
        const QString home = f->home.path(), path = f->home.filePath(folder), lockFolder = home + "/cache/kinfolio/runtime-" + QSysInfo::machineHostName();
        const QByteArray name = QFile::encodeName(path);
        QVERIFY(f->putStandardBook() && (folder.isEmpty() || (QDir().mkpath(path) && ::chown(name, owner, owner) == 0 && ::chmod(name, mode) == 0)));
        const QStringList run = kinfolio(home, {"--import", QFINDTESTDATA("../data/vcard/family.vcf")},
                                         {{"XDG_RUNTIME_DIR", ""}, {"XDG_CACHE_HOME", home + "/cache"}});
        QCOMPARE(run.value(2), refusal.isEmpty() ? "" : "kinfolio: " + refusal.replace("<f>", path).replace("<home>", home));
        QCOMPARE(f->files() == standardBook(), !refusal.isEmpty());
        QVERIFY(!refusal.isEmpty() || owned(lockFolder, 0700));
    }

    // A pipe in a picture's place is never waited on: the export goes without it, and says so.
    void pipeAsPicture()
    {
        const QByteArray pipe = QFile::encodeName(f->home.filePath("pipe.jpg"));
        QVERIFY(f->putStandardBook() && ::mkfifo(pipe, 0600) == 0 && f->put({{"FamilyAnnPic", pipe + "\r\n"}}));
        const QStringList run = kinfolio(f->home.path(), {"--export", "-"});
        QVERIFY2(run[0] == "0" && run[1].contains("FN:Ann") && !run[1].contains("PHOTO"), qPrintable(run.join('\n')));
        QCOMPARE(run[2], "Exported 6 contacts from 5 categories; the pictures of Ann (Family), Anna (Family), Zoë (Family), Bob "
                         "(Friend), Carl (Friends) could not be read, so they went out without them.");
    }

    // The File menu's items: a file chosen, the summary in a message, the categories shown again.
    void menu()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Anna"));
        FrmMain &w = f->window();
        const QString cards = f->home.filePath("out.vcf");
        f->platform.files << cards << cards;
        f->platform.answers.enqueue(true);
        w.mnuExportCards->trigger();
        w.cmdRemoveRelationship->click();
        w.mnuImportCards->trigger();
        const QString chooser = "vCard Files (*.vcf *.vcard);;All Files (*)";
        QCOMPARE(f->platform.shown.size(), 5);
        QCOMPARE(f->platform.shown[0], (Shown{Shown::FileChooser, chooser, QDir::homePath() + "/Kinfolio.vcf"}));
        QCOMPARE(f->platform.shown[3], (Shown{Shown::FileChooser, chooser, ""}));
        QCOMPARE(f->platform.messages().value(0).section(';', 0, 0), "Exported 6 contacts from 5 categories"); // the pictures named are gone
        QCOMPARE(f->platform.messages().value(1), "Imported 4 contacts into 1 category; skipped 2: Bob (already listed in Friend), "
                                                  "Carl (already listed in Friends)");
        QCOMPARE(Controls::entries(w.cboRelationship), (QStringList{"Fam", "Family", "Friend", "Friends", "work"}));
        QCOMPARE(w.cboRelationship->currentIndex(), -1);
        QCOMPARE(Controls::entries(w.lstNames), QStringList());
        const Files files = f->files();
        QCOMPARE(files.value("NamesListFamily"), listBytes({"Ann", "Anna", "Bo", "Zoë"}));
        QCOMPARE(files.value("FamilyBoNumbers"), "\"\",\"\",\"\",\"\",\"\"\r\n");
        QCOMPARE(files.value("FamilyAnnNumbers"), contactFiles("Family", "Ann").value("FamilyAnnNumbers"));
        QVERIFY(!files.contains("FamilyAnnPic")); // the pictures went with the category, and came back with none
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
