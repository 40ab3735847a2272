// vCard in and out: each address book's samples, the forms they lack, and the cards written.

#include "store/paths.h"
#include "store/recordfile.h"
#include "model/vcardcontact.h"

#include <QStringEncoder>
#include <QTest>

using namespace Vcard;

namespace {

QByteArray sample(const QString &name)
{
    QFile file(QFINDTESTDATA("../data/vcard/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// What an import stores, a contact a line, or why the card was skipped.
QString describe(const QList<Imported> &contacts)
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

class TestVcard : public QObject
{
    Q_OBJECT

private slots:
    // Each address book's form fills the fields, the rest in the notes; a damaged card is named, those after it come in.
    void import_data()
    {
        QTest::addColumn<QByteArray>("cards"); QTest::addColumn<QString>("stored"); // describe()
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
        QCOMPARE(describe(importCards(cards)), stored);
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
};

QTEST_GUILESS_MAIN(TestVcard)
#include "tst_vcard.moc"
