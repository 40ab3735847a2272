// vCard in and out: the samples of each address book and the forms they lack,
// the names an import makes acceptable, and contacts exported and imported
// back byte for byte.

#include "store/paths.h"
#include "store/recordfile.h"
#include "store/vcardcontact.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace Vcard;

namespace {

QByteArray sample(const QString &name)
{
    QFile file(QFINDTESTDATA("../data/vcard/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool put(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// What an import stores, a contact a line: its name, the fields of each file
// that holds any, the picture's kind and size; or why the card was skipped.
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

    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toLocal8Bit());
        QVERIFY(Store::makeDataDir());
    }

    void import_data()
    {
        QTest::addColumn<QByteArray>("cards");
        QTest::addColumn<QString>("category"); // as the caller asks
        QTest::addColumn<QString>("stored");   // describe()

        // Each address book's own form fills the fields; what has no field of
        // its own ends in the notes.
        for (const char *book : {"android-2.1", "apple-3.0", "google-3.0", "thunderbird-4.0", "outlook-2.1"})
            QTest::newRow(book) << sample(book + QString(".vcf")) << "" << QString(sample(book + QString(".txt")));
        QTest::newRow("lone CR and LF line ends, folding by tab, a nested card skipped, one cut off kept")
            << QByteArray("BEGIN:VCARD\rFN:A\r\tnn\rAGENT:\rBEGIN:VCARD\rNOTE:B\rEND:VCARD\rEND:VCARD\nbegin:vcard\nFN:C") << ""
            << "Ann in Imported\nC in Imported";
        QTest::newRow("quoted-printable named alone; parameters around a charset; unreadable lines left out")
            << QByteArray("junk\r\nBEGIN:VCARD\r\nno colon\r\n:no name\r\nX;P=\"open:v\r\nbad name:v\r\nFN:Caf\xE9\r\n"
                          "NOTE;X=a;QUOTED-PRINTABLE;CHARSET=Windows-1252;X=b:=80 1=3D1=0D=0A=\r\nb\r\nPHOTO:data:image/gif,A%42\r\nEND:VCARD\r\n")
            << "" << "Café in Imported | NumbNotes: € 1=1\nb | gif 2";
        QTest::newRow("2.1 base64 lines not indented, blank line after; not so in 4.0")
            << QByteArray("BEGIN:VCARD\r\nVERSION:2.1\r\nPHOTO;ENCODING=BASE64;JPEG:QUJD\r\nREVG\r\n\r\nFN:x\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:4.0\r\nPHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\nREVG\r\nFN:y\r\nEND:VCARD\r\n")
            << "" << "x in Imported | jpg 6\ny in Imported | jpg 3";
        QTest::newRow("forbidden characters, double quotes and control characters")
            << QByteArray("FN:AC/DC \"live\"\\n\x01!") << "" << "AC-DC -live-  ! in Imported";
        const QString longest(Store::maxFileNameBytes - QString("Imported").size() - FileName::DrivingDirections.size(), 'x');
        QTest::newRow("too long: cut to fit every file") << "FN:" + QByteArray(300, 'x') << "" << longest + " in Imported";
        QTest::newRow("too long: never inside a character")
            << "FN:" + QString(200, u'é').toUtf8() << "" << QString(longest.size() / 2, u'é') + " in Imported";
        QTest::newRow("the category asked for wins") << QByteArray("FN:A\r\nCATEGORIES:Friends") << "Work" << "A in Work";
        QTest::newRow("category: Google's own group passed over, made acceptable")
            << QByteArray("FN:A\r\nCATEGORIES:myContacts,Work\\, old: 2") << "" << "A in Work, old- 2";
        QTest::newRow("category too long") << "FN:A\r\nCATEGORIES:" + QByteArray(300, 'c') << ""
            << "A in " + QString(Store::maxFileNameBytes - 1 - FileName::DrivingDirections.size(), 'c');
    }

    // Every card imports into names whose files fit, and reads back the same
    // once written out.
    void import()
    {
        QFETCH(QByteArray, cards);
        QFETCH(QString, category);
        QFETCH(QString, stored);
        if (!cards.contains("BEGIN:VCARD"))
            cards = "BEGIN:VCARD\r\n" + cards + "\r\nEND:VCARD\r\n";
        const QList<Imported> contacts = importCards(cards, category);
        QCOMPARE(describe(contacts), stored);
        for (const Imported &contact : contacts)
            for (const QString &suffix : FileName::contactSuffixes)
                QVERIFY(contact.name.isEmpty() || !Store::dataFile(contact.category, contact.name, suffix).isEmpty());
        for (const Card &card : parse(cards))
            QCOMPARE(parse(Vcard::write(card)).value(0).properties, card.properties);
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

    // vCard 4.0 out: escaped values, quoted and caret-escaped parameters,
    // lines folded at 75 octets but never inside a character.
    void write()
    {
        Card card;
        card.properties = {{"item1", "FN", {}, escape(u"Lee, Ann")},
                           {{}, "ADR", {{"TYPE", {"home", "pref"}}, {"LABEL", {"a: \"b\"\n^c"}}}, ";;x;;;;"},
                           {{}, "NOTE", {}, QString(69, 'a') + "é" + QString(80, 'b')}};
        const QByteArray expected = "BEGIN:VCARD\r\nVERSION:4.0\r\nitem1.FN:Lee\\, Ann\r\n"
                                    "ADR;TYPE=home,pref;LABEL=\"a: ^'b^'^n^^c\":;;x;;;;\r\n"
                                    "NOTE:" + QByteArray(69, 'a') + "\r\n \xC3\xA9" + QByteArray(72, 'b') + "\r\n "
                                    + QByteArray(8, 'b') + "\r\nEND:VCARD\r\n";
        QCOMPARE(Vcard::write(card), expected);
        QCOMPARE(parse(expected).value(0).properties, card.properties);
    }

    // The contacts of a data directory export as the sample's cards, which
    // import back into every data file byte for byte and the picture's bytes,
    // in their category even where it is named as Google's own group.
    void roundTrip()
    {
        const QString category = "myContacts";
        for (const QFileInfo &file : QDir(QFINDTESTDATA("../data/kinfolio-4.0")).entryInfoList(QDir::Files))
            QVERIFY(QFile::copy(file.filePath(), Store::dataDir() + file.fileName()));
        const QByteArray picture = "\x89PNG\r\n\x1A\nIMAGE";
        QVERIFY(put(m_home.filePath("a, b.png"), picture));
        QByteArray cards;
        for (const QString name : {"Ann Lee", "Oma", "x"}) {
            QVERIFY(put(Store::dataFile(category, name, FileName::Pic), m_home.filePath("a, b.png").toUtf8() + "\r\n"));
            cards += exportContact(readContact(category, name));
        }
        QCOMPARE(cards, sample("kinfolio-4.0.vcf"));

        const QList<Imported> back = importCards(cards);
        QCOMPARE(back.size(), 3);
        for (const Imported &contact : back) {
            QCOMPARE(contact.category + contact.changes.join(' '), category);
            QCOMPARE(contact.files.size(), FileName::contactSuffixes.size() - 1);
            for (auto file = contact.files.cbegin(); file != contact.files.cend(); ++file) {
                QFile original(Store::dataFile(category, contact.name, file.key()));
                if (original.open(QIODevice::ReadOnly))
                    QCOMPARE(file.value(), original.readAll());
            }
            QCOMPARE(contact.picture, picture);
            QCOMPARE(contact.pictureSuffix, QString("png"));
        }
    }
};

QTEST_GUILESS_MAIN(TestVcard)
#include "tst_vcard.moc"
