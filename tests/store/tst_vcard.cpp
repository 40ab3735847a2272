// vCard in and out: the codec on the forms found in the wild, contacts
// exported and imported back byte for byte, the samples of each address book,
// and the names an import has to make acceptable.

#include "store/paths.h"
#include "store/recordfile.h"
#include "store/vcardcontact.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Vcard;

using Files = QHash<QString, QByteArray>;

namespace {

// Every card as lines "group.NAME;PARAM=a,b:value", the value still escaped.
QString dump(const QList<Card> &cards)
{
    QStringList lines;
    for (const Card &card : cards) {
        lines.append("VERSION " + card.version);
        for (const Property &p : card.properties) {
            QString line = p.group.isEmpty() ? QString() : QString::fromLatin1(p.group) + '.';
            line += QString::fromLatin1(p.name);
            for (const Parameter &parameter : p.parameters)
                line += ';' + QString::fromLatin1(parameter.name) + '=' + parameter.values.join(',');
            lines.append(line + ':' + p.value);
        }
        lines.append("END");
    }
    return lines.join('\n');
}

// What an imported contact's files hold, field by field.
QString describe(const Imported &contact)
{
    if (!contact.skipped.isEmpty())
        return contact.cardName + " skipped: " + contact.skipped;
    QStringList parts{contact.name + " in " + contact.category};
    for (const QString &suffix : {FileName::Birthday, FileName::Address, FileName::Numbers, FileName::NumbNotes,
                                  FileName::DependantsList}) {
        RecordFile::Reader reader(contact.files.value(suffix));
        QStringList values;
        QString value;
        while (reader.readField(value))
            values.append(value);
        parts.append(values.join(", "));
    }
    if (!contact.picture.isEmpty())
        parts.append(contact.pictureSuffix + ' ' + QString::number(contact.picture.size()));
    return parts.join(" | ");
}

QByteArray sample(const QString &name)
{
    QFile file(QFINDTESTDATA("../data/vcard/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

Property prop(const char *name, const QString &value, const QList<Parameter> &parameters = {})
{
    return Property{{}, name, parameters, value};
}

} // namespace

class TestVcard : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_home;

private slots:
    void init()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        QDir(Store::dataDir()).removeRecursively();
        QVERIFY(Store::makeDataDir());
    }

    void parse_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("cards");

        QTest::newRow("byte-order mark, CR LF, folding by space and tab")
            << QByteArray("\xEF\xBB\xBF" "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Ann\r\n  Lee\r\nNOTE:a\r\n\tb\r\nEND:VCARD\r\n")
            << "VERSION 4.0\nFN:Ann Lee\nNOTE:ab\nEND";
        QTest::newRow("LF and lone CR line ends, two cards")
            << QByteArray("BEGIN:VCARD\nFN:A\nEND:VCARD\rbegin:vcard\rFN:B\rEND:VCARD")
            << "VERSION \nFN:A\nEND\nVERSION \nFN:B\nEND";
        QTest::newRow("quoted-printable named alone, Windows-1252")
            << QByteArray("BEGIN:VCARD\r\nNOTE;QUOTED-PRINTABLE;CHARSET=Windows-1252:Caf=E9 =80=0A\r\nEND:VCARD\r\n")
            << "VERSION \nNOTE:Café €\\n\nEND";
        QTest::newRow("8-bit text that is not UTF-8 read as Windows-1252")
            << QByteArray("BEGIN:VCARD\r\nFN:Caf\xE9\r\nN:Zo\xC3\xAB\r\nEND:VCARD\r\n") << "VERSION \nFN:Café\nN:Zoë\nEND";
        QTest::newRow("2.1 base64 lines not indented, blank line after")
            << QByteArray("BEGIN:VCARD\r\nPHOTO;ENCODING=BASE64;JPEG:QUJD\r\nREVG\r\n\r\nFN:x\r\nEND:VCARD\r\n")
            << "VERSION \nPHOTO;ENCODING=BASE64;TYPE=JPEG:QUJDREVG\nFN:x\nEND";
        QTest::newRow("groups, a quoted parameter with a colon, caret escapes")
            << QByteArray("BEGIN:VCARD\r\nitem1.ADR;LABEL=\"a: b^nc^'d^^\";X=\"1,2\",3:;;x\r\nitem1.X-ABLabel:Home\r\nEND:VCARD\r\n")
            << "VERSION \nitem1.ADR;LABEL=a: b\nc\"d^;X=1,2,3:;;x\nitem1.X-ABLABEL:Home\nEND";
        QTest::newRow("nested card skipped, card cut off at the end kept")
            << QByteArray("BEGIN:VCARD\r\nFN:A\r\nAGENT:\r\nBEGIN:VCARD\r\nFN:B\r\nEND:VCARD\r\nTEL:1\r\nEND:VCARD\r\nBEGIN:VCARD\r\nFN:C")
            << "VERSION \nFN:A\nAGENT:\nTEL:1\nEND\nVERSION \nFN:C\nEND";
        QTest::newRow("lines that cannot be read left out")
            << QByteArray("junk\r\nEND:VCARD\r\nBEGIN:VCARD\r\nno colon\r\n:no name\r\nX;P=\"open:v\r\nbad name:v\r\nFN:a")
                   + '\0' + "b\r\nEND:VCARD\r\ntrailing\r\n"
            << "VERSION \nFN:a" + QString(QChar(0)) + "b\nEND";
        QTest::newRow("no card") << QByteArray("FN:Ann\r\n") << "";
    }

    // Every form a card arrives in reads as the same model; the model written
    // out reads back equal. (Forms the samples hold are read in realWorld.)
    void parse()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, cards);
        const QList<Card> read = Vcard::parse(bytes);
        QCOMPARE(dump(read), cards);
        for (const Card &card : read) {
            const QList<Card> again = Vcard::parse(Vcard::write(card));
            QCOMPARE(again.size(), 1);
            QCOMPARE(again[0].properties, card.properties);
        }
    }

    // A value's escapes, its parts, and the bytes of a photo however encoded.
    void values()
    {
        const Property text = prop("NOTE", R"(a\,b\;c\nd\\e\x)");
        QCOMPARE(text.text(), QString(R"(a,b;c)") + '\n' + R"(d\e\x)");
        QCOMPARE(prop("N", R"(Lee;Ann\;x;;)").components(), (QStringList{"Lee", "Ann;x", "", ""}));
        QCOMPARE(prop("CATEGORIES", R"(a\,b,c)").list(), (QStringList{"a,b", "c"}));
        QCOMPARE(escape(u"a,b;c\\d\r\ne\rf\n"), QString(R"(a\,b\;c\\d\ne\nf\n)"));

        const Property uri = prop("PHOTO", "data:image/png;base64,QUJD");
        QCOMPARE(uri.binary(), QByteArray("ABC"));
        QCOMPARE(uri.mediaType(), QString("image/png"));
        QCOMPARE(prop("PHOTO", "data:,A%42").binary(), QByteArray("AB"));
        const Property base64 = prop("PHOTO", "QU JD", {{"ENCODING", {"b"}}, {"TYPE", {"JPEG"}}});
        QCOMPARE(base64.binary(), QByteArray("ABC"));
        QCOMPARE(base64.mediaType(), QString("image/jpeg"));
        QCOMPARE(prop("PHOTO", "http://example.com/a.jpg").binary(), QByteArray());
    }

    // vCard 4.0 out: escaped values, quoted and caret-escaped parameters,
    // lines folded at 75 octets but never inside a character.
    void write()
    {
        Card card;
        card.properties = {
            prop("FN", escape(u"Lee, Ann")),
            prop("ADR", ";;x;;;;", {{"TYPE", {"home", "pref"}}, {"LABEL", {"a: \"b\"\n^c"}}}),
            prop("NOTE", QString(69, 'a') + "é" + QString(80, 'b')),
        };
        card.properties[0].group = "item1";
        const QByteArray expected = "BEGIN:VCARD\r\nVERSION:4.0\r\nitem1.FN:Lee\\, Ann\r\n"
                                    "ADR;TYPE=home,pref;LABEL=\"a: ^'b^'^n^^c\":;;x;;;;\r\n"
                                    "NOTE:" + QByteArray(69, 'a') + "\r\n \xC3\xA9" + QByteArray(72, 'b') + "\r\n "
                                    + QByteArray(8, 'b') + "\r\nEND:VCARD\r\n";
        QCOMPARE(Vcard::write(card), expected);
        QCOMPARE(Vcard::parse(expected).value(0).properties, card.properties);
    }

    void roundTrip_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Files>("files");
        QTest::addColumn<QStringList>("lines"); // lines the card holds

        QTest::newRow("as the program writes them")
            << "Ann Lee"
            << Files{
                   {FileName::Birthday, "\"1970-05-17\"\r\n"},
                   {FileName::Relation, "\"Cousin\"\r\n"},
                   {FileName::Address, "\"12 Elm St, Flat 2\r\nLeeds; LS1\"\r\n"},
                   {FileName::DrivingDirections, "\"Left at the church\\\r\nthen 2 km\"\r\n"},
                   {FileName::Numbers, "\"0113\",\"07700\",\"\",\"fax\",\"ann@example.org\"\r\n"},
                   {FileName::NumbNotes, "\"after 6\"\r\n"},
                   {FileName::DependantsList, "\"Tom\"\r\n\"Zo\xC3\xAB, 3\"\r\n"}}
            << QStringList{"FN:Ann Lee", "N:Lee;Ann;;;", "CATEGORIES:Family", "BDAY:19700517", "TEL;TYPE=home:0113",
                           "TEL;TYPE=cell:07700", "TEL;TYPE=fax:fax", "EMAIL:ann@example.org",
                           "ADR;TYPE=home;LABEL=\"12 Elm St, Flat 2\\nLeeds; LS1\":;;12 Elm St\\, Flat 2\\nLeeds\\; LS1;;;;",
                           "NOTE:after 6\\n\\nRelation: Cousin\\n\\nDriving directions:\\nLeft at the church\\\\\\nthen 2 km",
                           "RELATED;VALUE=text:Tom", "RELATED;VALUE=text:Zoë\\, 3", "X-KINFOLIO-RELATION:Cousin",
                           "X-KINFOLIO-DIRECTIONS:Left at the church\\\\\\nthen 2 km", "X-KINFOLIO-NOTES:after 6",
                           "PHOTO:data:image/png;base64,iVBORw0KGgpJTUFHRQ=="};
        QTest::newRow("birthday as text and without a year, empty fields, one name")
            << "Oma"
            << Files{{FileName::Birthday, "\"17 May\"\r\n"},
                                          {FileName::Relation, "\"\"\r\n"},
                                          {FileName::Numbers, "\"\",\"\",\"\",\"\",\"\"\r\n"},
                                          {FileName::DependantsList, ""}}
            << QStringList{"N:;Oma;;;", "BDAY;VALUE=text:17 May"};
        QTest::newRow("year-less date") << "x" << Files{{FileName::Birthday, "\"--02-29\"\r\n"}}
                                        << QStringList{"BDAY:--0229"};
    }

    // A contact read from the data directory, exported and imported back,
    // gives every data file byte for byte and the picture's own bytes;
    // files no card can say travel whole (tst_exchange).
    void roundTrip()
    {
        QFETCH(QString, name);
        QFETCH(Files, files);
        QFETCH(QStringList, lines);

        const QByteArray picture = "\x89PNG\r\n\x1A\nIMAGE";
        const QString picturePath = m_home.filePath("a, b.png");
        Files stored = files;
        stored.insert(FileName::Pic, picturePath.toUtf8() + "\r\n");
        for (auto file = stored.cbegin(); file != stored.cend(); ++file) {
            QFile out(Store::dataFile("Family", name, file.key()));
            QVERIFY(out.open(QIODevice::WriteOnly) && out.write(file.value()) == file.value().size());
        }
        QFile image(picturePath);
        QVERIFY(image.open(QIODevice::WriteOnly) && image.write(picture) == picture.size());
        image.close();

        const QByteArray card = exportContact(readContact("Family", name));
        const QStringList cardLines = QString::fromUtf8(QByteArray(card).replace("\r\n ", "")).split("\r\n");
        for (const QString &line : lines)
            QVERIFY2(cardLines.contains(line), qPrintable(line + " not in\n" + cardLines.join('\n')));
        QCOMPARE(card.count("X-KINFOLIO-FILE"), 0); // what the program writes, a card says

        const QList<Imported> back = importCards(card);
        QCOMPARE(back.size(), 1);
        QCOMPARE(back[0].name, name);
        QCOMPARE(back[0].category, QString("Family"));
        QCOMPARE(back[0].changes, QStringList());
        for (auto file = files.cbegin(); file != files.cend(); ++file)
            QCOMPARE(back[0].files.value(file.key()), file.value());
        QCOMPARE(back[0].files.size(), FileName::contactSuffixes.size() - 1);
        QCOMPARE(back[0].picture, picture);
        QCOMPARE(back[0].pictureSuffix, QString("png"));
    }

    void realWorld_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("contacts");

        const QString photo = " | jpg 287";
        QTest::newRow("Android 2.1") << "android-2.1.vcf"
            << QStringList{
                   "Jürgen Müller in Imported | 1985-03-14 | Hauptstraße 1\nBerlin 10115\nDeutschland | "
                   "+49 30 1234567, +49 170 1234567, , +49 30 7654321, juergen@example.org | Schlüssel beim Nachbarn.\n"
                   "Bitte zweimal klingeln, die Klingel ist sehr leise und wird oft überhört.\n"
                   "Cell Phone #: +49 171 7654321 | " + photo,
                   "Oma in Imported |  |  | 030 111 222, , , ,  |  | "};
        QTest::newRow("Apple Contacts 3.0") << "apple-3.0.vcf"
            << QStringList{
                   "Johnny Appleseed in Imported | --05-17 | 1 Orchard Lane\nApt 2\nCupertino, CA 95014\nUnited States | "
                   "+1 (408) 555-0101, +1 (408) 555-0100, , +1 (408) 555-0102, johnny@example.com | "
                   "Met at the orchard, 2019. Likes apples; hates pears.\nCall after 6.\n"
                   "Phone # (Boat): +1 (408) 555-0199\nE-Mail: johnny.home@example.com | Jane Appleseed, Rex" + photo,
                   "Fruit Stand Ltd. in Imported |  |  | , , +1 (408) 555-0150, ,  |  | "};
        QTest::newRow("Google Contacts 3.0") << "google-3.0.vcf"
            << QStringList{
                   "María García in Familia | --05-17 | Calle Mayor 1, 2º izquierda\nMadrid 28013\nEspaña | "
                   "+34 910 000 000, +34 600 000 000, , , maria@example.com | "
                   "Prima de Ana. Lleva el regalo: un libro; no flores.\nCell Phone #: +34 611 111 111\n"
                   "E-Mail: maria.garcia@example.com | ",
                   "Dr. Chidi Okafor in Imported |  |  | , , , , chidi@example.net |  | "};
        QTest::newRow("Thunderbird 4.0") << "thunderbird-4.0.vcf"
            << QStringList{
                   "Ann Lee in Friends | 1980-02-29 | 12 Elm St\nLeeds LS1 4AP\nUnited Kingdom | "
                   "0113 496 0000, 07700 900000, 0113 496 0999, 0113 496 0998, ann@example.net | "
                   "Ann's notes: the gate code is 1234, the dog is friendly. Park on the left side of the road, "
                   "never in front of the garage. | Tom Lee",
                   "someone@example.org in Imported |  |  | , , , , someone@example.org |  | ",
                   "card 3 skipped: no name, organisation or e-mail address"};
        QTest::newRow("Outlook 2.1") << "outlook-2.1.vcf"
            << QStringList{
                   "Ann Lee in Imported | 1980-02-29 | 4 Café Row\nBellevue, WA 98004\nUnited States of America | "
                   "(425) 555-0101, (425) 555-0102, (425) 555-0100, (425) 555-0103, ann@contoso.example | "
                   "Café on Fridays – bring the € 5 for the kitty.\nSecond line.\nE-Mail: ann.lee@example.com\n"
                   "Address (work): 1 Main Street, Redmond, WA 98052, United States of America | " + photo};
    }

    // Each address book's own form fills the fields; what has no field of
    // its own ends in the notes.
    void realWorld()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, contacts);
        const QByteArray bytes = sample(file);
        QVERIFY(!bytes.isEmpty());
        QStringList got;
        for (const Imported &contact : importCards(bytes))
            got.append(describe(contact));
        QCOMPARE(got, contacts);
    }

    void names_data()
    {
        QTest::addColumn<QByteArray>("properties");
        QTest::addColumn<QString>("category"); // as the caller asks
        QTest::addColumn<QString>("result");   // describe() up to the fields, or the skip

        const QString longest(Store::maxFileNameBytes - QString("Imported").size() - FileName::DrivingDirections.size(), 'x');
        QTest::newRow("forbidden characters and double quotes as -") << QByteArray("FN:AC/DC \"live\"") << ""
                                                                     << "AC-DC -live- in Imported";
        QTest::newRow("control characters as spaces") << QByteArray("FN:Ann\\nLee") << "" << "Ann Lee in Imported";
        QTest::newRow("a blank FN: N in reading order") << QByteArray("FN: \r\nN:Lee;Ann;;Dr.;") << "" << "Dr. Ann Lee in Imported";
        QTest::newRow("no FN or N: the organisation") << QByteArray("ORG:Acme;Sales") << "" << "Acme in Imported";
        QTest::newRow("only an e-mail address") << QByteArray("EMAIL:a@b.org") << "" << "a@b.org in Imported";
        QTest::newRow("nothing to name it by") << QByteArray("NOTE:x") << "" << "card 1 skipped: no name, organisation or e-mail address";
        QTest::newRow("too long: cut to fit every file") << QByteArray("FN:" + QByteArray(300, 'x')) << ""
                                                         << longest + " in Imported";
        QTest::newRow("too long: never inside a character") << QByteArray("FN:" + QString(200, u'é').toUtf8()) << ""
                                                            << QString(longest.size() / 2, u'é') + " in Imported";
        QTest::newRow("the category asked for wins") << QByteArray("FN:A\r\nCATEGORIES:Friends") << "Work" << "A in Work";
        QTest::newRow("first category, Google's own group passed over")
            << QByteArray("FN:A\r\nCATEGORIES:myContacts,Fam\\,ily,Leeds") << "" << "A in Fam,ily";
        QTest::newRow("category made acceptable") << QByteArray("FN:A\r\nCATEGORIES:Work: old") << "" << "A in Work- old";
        QTest::newRow("category too long") << QByteArray("FN:A\r\nCATEGORIES:" + QByteArray(300, 'c')) << ""
                                           << "A in " + QString(Store::maxFileNameBytes - 1 - FileName::DrivingDirections.size(), 'c');
    }

    // Names the program refuses are made acceptable and the change told;
    // a card without any name is skipped with the reason.
    void names()
    {
        QFETCH(QByteArray, properties);
        QFETCH(QString, category);
        QFETCH(QString, result);
        const QList<Imported> imported = importCards("BEGIN:VCARD\r\n" + properties + "\r\nEND:VCARD\r\n", category);
        QCOMPARE(imported.size(), 1);
        QCOMPARE(describe(imported[0]).section(" | ", 0, 0), result);
        if (imported[0].skipped.isEmpty())
            QVERIFY(fits(imported[0]));
    }

    // One line tells what was stored, what was changed and what was left out.
    void summaryLine()
    {
        const QList<Imported> results = importCards(
            "BEGIN:VCARD\r\nFN:A/B\r\nNOTE:say \"hi\"\r\nPHOTO:http://example.com/a.jpg\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nFN:C\r\nCATEGORIES:Work\r\nEND:VCARD\r\n"
            "BEGIN:VCARD\r\nEND:VCARD\r\n");
        QCOMPARE(results[0].files[FileName::NumbNotes], QByteArray("\"say ''hi''\"\r\n"));
        QCOMPARE(summary(results), QString("Imported 2 contacts into 2 categories; changed 3: \"A/B\" as \"A-B\", "
                                           "A-B: double quotes as '', A-B: photo at an address left out; "
                                           "skipped 1: card 3 (no name, organisation or e-mail address)"));
        QCOMPARE(summary(results.mid(1, 1)), QString("Imported 1 contact into 1 category"));
    }

private:
    static bool fits(const Imported &contact)
    {
        return std::all_of(FileName::contactSuffixes.cbegin(), FileName::contactSuffixes.cend(), [&](const QString &suffix) {
            return !Store::dataFile(contact.category, contact.name, suffix).isEmpty();
        }) && !Store::dataFile(FileName::NamesList, contact.category).isEmpty();
    }
};

QTEST_GUILESS_MAIN(TestVcard)
#include "tst_vcard.moc"
