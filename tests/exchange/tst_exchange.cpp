// Contacts in and out as vCards: through the command line, as scripts and
// backups use it, and through the File menu.

#include "support/testsupport.h"

#include <QProcess>

class TestExchange : public FixtureTest
{
    Q_OBJECT

    struct Run
    {
        int exitCode = -1;
        QString out, err;
    };

    // The real program, on the data of home (a directory for XDG_DATA_HOME).
    static Run kinfolio(const QString &home, const QStringList &arguments)
    {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home);
        environment.remove("DISPLAY"); // none is needed
        environment.remove("QT_QPA_PLATFORM");
        process.setProcessEnvironment(environment);
        process.start(KINFOLIO_PROGRAM, arguments);
        if (!process.waitForFinished(60000))
            return {};
        return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()).trimmed(),
                QString::fromUtf8(process.readAllStandardError()).trimmed()};
    }

    static Files withoutPictures(Files files)
    {
        files.removeIf([](const auto &file) { return file.key().endsWith("Pic"); });
        return files;
    }

private slots:
    // Export, then import into an empty data directory, gives back every
    // data file byte for byte, hand edits and foreign line ends included;
    // the picture comes back as the same image, in the program's own folder.
    void roundTrip()
    {
        Files book = f->putStandardBook();
        f->put("NamesListFamily", book["NamesListFamily"] = listBytes({"Ann", "Anna", "Zoë"})); // Bo has no files
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString picture = f->home.filePath("ann.png");
        QVERIFY(image.save(picture));
        f->put("FamilyAnnPic", book["FamilyAnnPic"] = picture.toUtf8() + "\r\n");

        const QString cards = f->home.filePath("all.vcf");
        const Run out = kinfolio(f->home.path(), {"--export", cards});
        QCOMPARE(out.exitCode, 0);
        QCOMPARE(out.out, "Exported 5 contacts from 5 categories.");
        QTemporaryDir other;
        const Run in = kinfolio(other.path(), {"--import", cards});
        QCOMPARE(in.exitCode, 0);
        QCOMPARE(in.out, "Imported 5 contacts into 3 categories");

        const Files back = filesIn(other.path() + "/Kinfolio/Data");
        // Categories come back by their contacts' cards, in order.
        Files expected = withoutPictures(book);
        expected.remove("NamesListwork");
        expected["RelationsList"] = listBytes({"Family", "Friend", "Friends"});
        QCOMPARE(withoutPictures(back), expected);
        QFile kept(QString::fromUtf8(back["FamilyAnnPic"]).trimmed());
        QVERIFY(kept.fileName().startsWith(other.path() + "/Kinfolio/Pictures/"));
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(QImage::fromData(kept.readAll()), image);
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
