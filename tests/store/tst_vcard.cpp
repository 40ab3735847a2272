// vCard in and out: the samples of each address book and the forms they lack,
// the names an import makes acceptable, and the cards written. Contacts
// exported and imported back byte for byte: tst_exchange.

#include "store/paths.h"
#include "store/recordfile.h"
#include "store/vcardcontact.h"

#include <QTest>

using namespace Vcard;

namespace {

QByteArray sample(const QString &name)
{
    QFile file(QFINDTESTDATA("../data/vcard/" + name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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

private slots:
    void import_data()
    {
        QTest::addColumn<QByteArray>("cards");
        QTest::addColumn<QString>("stored"); // describe(), from the .txt file beside the sample

        // Each address book's own form fills the fields; what has no field of
        // its own ends in the notes. The rare forms are those the others lack.
        for (const char *name : {"android-2.1", "apple-3.0", "google-3.0", "thunderbird-4.0", "outlook-2.1", "rare-forms"})
            QTest::newRow(name) << sample(name + QString(".vcf")) << QString(sample(name + QString(".txt")));
    }

    // Every card imports as described, and reads back the same once written out.
    void import()
    {
        QFETCH(QByteArray, cards); QFETCH(QString, stored);
        QCOMPARE(describe(importCards(cards)), stored);
        for (const Card &card : parse(cards))
            QCOMPARE(parse(Vcard::write(card)).value(0).properties, card.properties);
    }

    // vCard 4.0 out: quoted and caret-escaped parameters, lines folded at 75
    // octets but never inside a character.
    void write()
    {
        const Card card{{}, {{"item1", "ADR", {{"LABEL", {"a:\"b\"\n^c"}}}, QString(43, 'a') + "é" + QString(80, 'b')}}};
        const QByteArray expected = "BEGIN:VCARD\r\nVERSION:4.0\r\nitem1.ADR;LABEL=\"a:^'b^'^n^^c\":" + QByteArray(43, 'a')
                                    + "\r\n \xC3\xA9" + QByteArray(72, 'b') + "\r\n " + QByteArray(8, 'b') + "\r\nEND:VCARD\r\n";
        QCOMPARE(Vcard::write(card), expected);
        QCOMPARE(parse(expected).value(0).properties, card.properties);
    }
};

QTEST_GUILESS_MAIN(TestVcard)
#include "tst_vcard.moc"
