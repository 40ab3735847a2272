// Contacts in and out as vCards: through the command line, as scripts and
// backups use it, and through the File menu.

#include "support/testsupport.h"

#include "app/onecopy.h"

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
    // data file byte for byte, hand edits, foreign line ends and files no
    // card can say included;
    // the picture comes back as the same image, in the program's own folder.
    void roundTrip()
    {
        Files book = standardBook();
        book["NamesListFamily"] = listBytes({"Ann", "Anna", "Zoë"}); // Bo has no files
        book["FamilyZoëBirthday"] = "\"Zo\xEB\"\r\n";          // Windows-1252
        book["FamilyZoëRelation"] = "\"say \"hi\"\"\r\n";     // cut at the quote
        book["FamilyZoëNumbers"] = "\"1\",\"2\"\r\n";         // short
        QImage image(30, 20, QImage::Format_RGB32);
        image.fill(Qt::red);
        const QString picture = f->home.filePath("ann.png");
        book["FamilyAnnPic"] = picture.toUtf8() + "\r\n";
        QVERIFY(image.save(picture) && f->put(book));

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

    // What a run says and how it ends; a run that fails changes nothing.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments"); // <dir> is a scratch directory
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("said"); // the start of what it prints, on standard error when it fails
        QTest::addColumn<QStringList>("categories");

        const QStringList book{"Fam", "Family", "Friend", "Friends", "work"};
        QTest::newRow("cards into their own categories, listed names skipped")
            << QStringList{"--import", "<dir>/cards.vcf"} << 0
            << "Imported 2 contacts into 2 categories; skipped 1: ANN (already listed in Family)"
            << QStringList{"Fam", "Family", "Friend", "Friends", "Neighbours", "work"};
        QTest::newRow("every card into one category")
            << QStringList{"--import", "<dir>/cards.vcf", "--category", "work"} << 0
            << "Imported 3 contacts into 1 category" << book;
        QTest::newRow("a file that cannot be read") << QStringList{"--import", "<dir>/none.vcf"} << 1
                                                    << "kinfolio: cannot read <dir>/none.vcf" << book;
        QTest::newRow("no card in it") << QStringList{"--import", "<dir>/notes.txt"} << 1
                                       << "kinfolio: <dir>/notes.txt: No vCard was found." << book;
        QTest::newRow("a category that is not there") << QStringList{"--export", "-", "--category", "Work"} << 1
                                                      << "kinfolio: There is no category called Work." << book;
        QTest::newRow("a file that cannot be written") << QStringList{"--export", "<dir>/no/such/dir.vcf"} << 1
                                                       << "kinfolio: cannot write <dir>/no/such/dir.vcf" << book;
        QTest::newRow("neither") << QStringList{"--category", "work"} << 1 << "kinfolio: give one of" << book;
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "kinfolio 1.0.0" << book;
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Usage:" << book;
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, said);
        QFETCH(QStringList, categories);
        const Files book = standardBook();
        QVERIFY(f->put(book));
        QTemporaryDir scratch;
        QFile cards(scratch.filePath("cards.vcf"));
        QVERIFY(cards.open(QIODevice::WriteOnly));
        cards.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:ANN\r\nCATEGORIES:family\r\nEND:VCARD\r\n"
                    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Dora\r\nCATEGORIES:FAMILY\r\nEND:VCARD\r\n"
                    "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Eve\r\nCATEGORIES:Neighbours,Work\r\nEND:VCARD\r\n");
        cards.close();
        QFile notes(scratch.filePath("notes.txt"));
        QVERIFY(notes.open(QIODevice::WriteOnly) && notes.write("FN:Ann\n") > 0);
        notes.close();

        const Run run = kinfolio(f->home.path(), arguments.replaceInStrings("<dir>", scratch.path()));
        QCOMPARE(run.exitCode, exitCode);
        const QString text = exitCode == 0 ? run.out : run.err;
        QVERIFY2(text.startsWith(said.replace("<dir>", scratch.path())), qPrintable(text));
        f->start();
        QCOMPARE(Controls::entries(f->window().cboRelationship), categories);
        if (exitCode != 0)
            QCOMPARE(f->files(), book);
    }

    // While a window runs on the same data the command line does not write
    // beside it: the window would rewrite the lists from its own memory.
    void notBesideTheWindow()
    {
        const Files book = standardBook();
        QVERIFY(f->put(book));
        OneCopy window(f->dataDir());
        QVERIFY(window.lead());
        QFile cards(f->home.filePath("one.vcf"));
        QVERIFY(cards.open(QIODevice::WriteOnly) && cards.write("BEGIN:VCARD\r\nFN:Eve\r\nEND:VCARD\r\n") > 0);
        cards.close();
        const Run run = kinfolio(f->home.path(), {"--import", cards.fileName()});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.err.startsWith("kinfolio: Kinfolio is open with the data in " + f->dataDir()), qPrintable(run.err));
        Files after = f->files();
        after.remove(".kinfolio.lock"); // the window's
        QCOMPARE(after, book);
    }

    // The File menu's items: a file chosen, the same summary in a message,
    // and the lists shown again with what came in.
    void menu()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Anna"));
        FrmMain &w = f->window();
        const QString cards = f->home.filePath("out.vcf");
        f->platform.files << cards << cards;
        w.mnuExportCards->trigger();
        QVERIFY(QFile::exists(cards));
        f->platform.answers.enqueue(true);
        w.cmdRemoveRelationship->click();
        w.mnuImportCards->trigger();
        QCOMPARE(f->platform.messages(),
                 (QStringList{"Exported 6 contacts from 5 categories.",
                              "Imported 4 contacts into 1 category; skipped 2: Bob (already listed in Friend), "
                              "Carl (already listed in Friends)"}));
        QCOMPARE(Controls::entries(w.cboRelationship), (QStringList{"Fam", "Family", "Friend", "Friends", "work"}));
        QVERIFY(f->pickCategory("Family"));
        QCOMPARE(Controls::entries(w.lstNames), (QStringList{"Ann", "Anna", "Bo", "Zoë"}));
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
