// Contacts in and out as vCards through the real program's command line and
// the File menu, and one copy of the program on a data directory at a time.

#include "support/testsupport.h"

#include "app/onecopy.h"

#include <QProcess>

class TestExchange : public FixtureTest
{
    Q_OBJECT

    // The real program's command line, on the data of home, with no display: its exit code, output and errors.
    static QStringList kinfolio(const QString &home, const QStringList &arguments)
    {
        return runProgram(KINFOLIO_PROGRAM, arguments, {{"XDG_DATA_HOME", home}, {"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    }

private slots:
    // The sample data directory exports as the sample cards, which import
    // into an empty data directory as every data file byte for byte, hand
    // edits and files no card can say included, in their category even where
    // it is named as Google's own group; the picture comes back as its own
    // bytes, in the program's own folder.
    void roundTrip()
    {
        Files book = filesIn(QFINDTESTDATA("../data/kinfolio-4.0"), false);
        QFile picture(QFINDTESTDATA("../data/ann.png"));
        book["myContactsAnn LeePic"] = picture.fileName().toUtf8() + "\r\n";
        QVERIFY(f->put(book) && picture.open(QIODevice::ReadOnly));
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
    }

    // How a run ends, and what it prints and says on standard error, as in tests/data/exchange.txt; a run that fails
    // changes nothing. <dir> is the vCard samples' folder.
    void commandLine_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("names made acceptable, listed names skipped in any case") << QStringList{"--import", "<dir>/family.vcf"};
        QTest::newRow("every card into one category") << QStringList{"--import", "<dir>/family.vcf", "--category", "work"};
        QTest::newRow("unreadable file") << QStringList{"--import", "<dir>/none.vcf"};
        QTest::newRow("no card") << QStringList{"--import", "<dir>/rare-forms.txt"};
        QTest::newRow("no such category") << QStringList{"--export", "-", "--category", "Work"};
        QTest::newRow("unwritable file") << QStringList{"--export", "<dir>/no/dir.vcf"};
        QTest::newRow("neither") << QStringList{"--category", "work"};
        QTest::newRow("--version") << QStringList{"--version"};
        QTest::newRow("--help") << QStringList{"--help"};
    }

    void commandLine()
    {
        QFETCH(QStringList, arguments);
        const QString dir = QFINDTESTDATA("../data/vcard");
        QVERIFY(f->putStandardBook());
        const QStringList run = kinfolio(f->home.path(), arguments.replaceInStrings("<dir>", dir));
        QStringList said{"exits " + run[0], run[1], run[2].isEmpty() ? "" : "standard error: " + run[2]};
        said.removeAll(QString());
        const QString seen = said.join('\n').replace(dir, "<dir>").replace(KINFOLIO_PROGRAM, "kinfolio") + '\n';
        QCOMPARE(seen, storedBlock("exchange.txt", seen));
        QVERIFY(run[0] == "0" || f->files() == standardBook());
    }

    // An import adds by the window's rules: names and categories trimmed, no
    // two contacts sharing files (listed ones, ones without files, ones
    // earlier in the same file), no contact's files named as a names list.
    // Afterwards every listed contact has its own files.
    void addingRules_data()
    {
        QTest::addColumn<QStringList>("cards"); QTest::addColumn<QString>("summary"); // cards: name|category
        QTest::newRow("category and name run together in one file") << QStringList{"insAmy|Cous", "Amy|Cousins"}
            << "Imported 1 contact into 1 category; skipped 1: Amy (information is already stored under that name)";
        QTest::newRow("a listed contact without files") << QStringList{"ilyBo|Fam"}
            << "Imported 0 contacts into 0 categories; skipped 1: ilyBo (information is already stored under that name)";
        QTest::newRow("files named as a names list") << QStringList{"Work|NamesList", "Jo|WorkBirthday"}
            << "Imported 1 contact into 1 category; skipped 1: Work (the category cannot be used)";
        QTest::newRow("spaces at both ends") << QStringList{"  Dora  |Work ", "Dora|work"}
            << "Imported 1 contact into 1 category; skipped 1: Dora (already listed in work)";
    }
    void addingRules()
    {
        QFETCH(QStringList, cards); QFETCH(QString, summary);
        QVERIFY(f->putStandardBook());
        QFile file(f->home.filePath("in.vcf"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (const QString &card : cards)
            file.write(("BEGIN:VCARD\r\nVERSION:4.0\r\nFN:" + card.section('|', 0, 0) + "\r\nCATEGORIES:"
                        + card.section('|', 1) + "\r\nEND:VCARD\r\n").toUtf8());
        file.close();
        QCOMPARE(kinfolio(f->home.path(), {"--import", file.fileName()}).value(1), summary);
        QStringList categories;
        QVERIFY(RecordFile::readList(f->dataDir() + "RelationsList", categories));
        QSet<QString> joined;
        for (const QString &category : categories) {
            QStringList names;
            RecordFile::readList(f->dataDir() + "NamesList" + category, names);
            for (const QString &name : names) {
                QVERIFY2(category == category.trimmed() && name == name.trimmed(), qPrintable(category + '/' + name));
                QVERIFY2(!joined.contains((category + name).toCaseFolded()), qPrintable(category + '/' + name));
                joined.insert((category + name).toCaseFolded());
                QVERIFY(!(category + name).startsWith("NamesList"));
                QVERIFY2(name == "Bo" || QFile::exists(f->dataDir() + category + name + "Birthday"), qPrintable(name));
            }
        }
    }

    // The first copy holds the data directory: a second start brings it to the
    // front and ends, an import from the command line would write beside it and
    // is refused, and once it is killed its lock keeps no one out.
    void oneWriter()
    {
        QVERIFY(f->putStandardBook());
        QProcess first;
        first.start(KINFOLIO_PROGRAM, {});
        QTRY_VERIFY(QFile::exists(f->dataDir() + ".kinfolio.lock"));
        QCOMPARE(runProgram(KINFOLIO_PROGRAM, {}).value(0), "0"); // a second start
        const QStringList run = kinfolio(f->home.path(), {"--import", QFINDTESTDATA("../data/vcard/family.vcf")});
        QVERIFY2(run[0] == "1" && run[2].startsWith("kinfolio: Kinfolio is open with the data in " + f->dataDir()),
                 qPrintable(run.join('\n')));
        QCOMPARE(first.state(), QProcess::Running);
        OneCopy probe(f->dataDir());
        QVERIFY(!probe.lead());
        first.kill();
        QVERIFY(first.waitForFinished());
        Files after = f->files();
        QVERIFY(after.remove(".kinfolio.lock"));
        QCOMPARE(after, standardBook());
        QVERIFY(probe.lead());
    }

    // The File menu's items: a file chosen, the same summary in a message,
    // and the categories shown again with what came in (tests/data/exchange.txt).
    void menu()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Anna"));
        FrmMain &w = f->window();
        const QString cards = f->home.filePath("out.vcf");
        f->platform.files << cards << cards;
        f->platform.answers.enqueue(true);
        const QString seen = f->after([&] {
            w.mnuExportCards->trigger();
            w.cmdRemoveRelationship->click();
            w.mnuImportCards->trigger();
        }).replace(QDir::homePath(), "~"); // the suggested file is in the home
        QCOMPARE(seen, storedBlock("exchange.txt", seen));
    }
};

QTEST_MAIN(TestExchange)
#include "tst_exchange.moc"
