#include "support/testsupport.h"

#include <QRandomGenerator>

#include <dlfcn.h>
#include <sys/stat.h>

// The program on a failing disk and over damaged files. The fault shim,
// preloaded by CTest, fails chosen file-system calls on chosen paths as a
// read-only or full disk would (the tests run as root, whom file permissions
// do not stop).
class TestFaults : public FixtureTest
{
    Q_OBJECT

private:
    long (*injected)() = nullptr;

    // Ann and Bo in Family, each with a birthday, numbers and dependants.
    static Files book()
    {
        return {{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})},
                {"FamilyAnnBirthday", "\"1 May\"\r\n"}, {"FamilyAnnRelation", "\"aunt\"\r\n"},
                {"FamilyAnnNumbers", "\"111\",\"222\",\"\",\"\",\"ann@lee.org\"\r\n"},
                {"FamilyAnnDependantsList", listBytes({"Tom"})}, {"FamilyBoBirthday", "\"2 June\"\r\n"},
                {"FamilyBoNumbers", "\"222\",\"\",\"\",\"\",\"\"\r\n"}, {"FamilyBoDependantsList", listBytes({"Zed"})}};
    }

    static QString notAdded(const QString &what, const QString &dataDir)
    {
        return "Sorry, the new " + what + " could not be saved in " + dataDir + ". Nothing was added.";
    }
    static QString notSaved(const QString &reason, const QString &dataDir = "<dir>")
    {
        return "Sorry, your changes could not be saved in " + dataDir + ": " + reason
               + ". What you type stays on screen and is saved as soon as saving works again.";
    }

    // categories | names | dependants | birthday | home
    QString view()
    {
        FrmMain &w = f->window();
        return QStringList{Controls::entries(w.cboRelationship).join(','), Controls::entries(w.lstNames).join(','),
                           Controls::entries(w.lstChildren).join(','), w.txtBirthday->text(), w.txtHome->text()}
            .join(" | ");
    }

    // Runs act, and the saves it queued, while the calls fail on paths under
    // path; whether any did. What the window is told then has been shown.
    template <typename Act> bool failing(const QString &calls, const QString &path, Act act)
    {
        const long before = injected();
        qputenv("KINFOLIO_FAULT", calls.toUtf8());
        qputenv("KINFOLIO_FAULT_PATH", QFile::encodeName(path));
        act();
        RecordFile::flush();
        qunsetenv("KINFOLIO_FAULT");
        QCoreApplication::processEvents();
        return injected() > before;
    }

private slots:
    void initTestCase()
    {
        injected = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, "kinfolio_faults_injected"));
        QVERIFY2(injected, "the fault shim is not preloaded");
    }
    void cleanupTestCase() { qInfo("%ld file-system calls failed on purpose", injected ? injected() : 0); }

    // For each fault: what the user sees, and what is on disk afterwards.
    void faults_data()
    {
        QTest::addColumn<QString>("calls");   // the calls that fail, and how
        QTest::addColumn<QString>("scope");   // the data file they fail on; empty: all
        QTest::addColumn<QString>("control"); // a box typed into, or a button clicked (answering Yes, or "Zoe")
        QTest::addColumn<QString>("seen");    // view() afterwards
        QTest::addColumn<QString>("told");    // the one message, in the data directory <dir>; empty: none
        QTest::addColumn<QString>("gone");    // a file deleted; all others keep their content

        const QString same = "Family | Ann,Bo | Tom | 1 May | 111", typed = "Family | Ann,Bo | Tom | 1 May!! | 111";
        const QString readOnly = "create+link+rename+unlink+mkdir:EROFS";
        const QString ioError = notSaved("Input/output error");
        QTest::newRow("read-only, typing")
            << readOnly << "" << "txtBirthday" << typed << notSaved("Read-only file system") << "";
        QTest::newRow("disk full, typing")
            << "write:ENOSPC" << "" << "txtBirthday" << typed << notSaved("No space left on device") << "";
        QTest::newRow("quota full, typing a number") << "write:EDQUOT" << "" << "txtHome"
                                                     << "Family | Ann,Bo | Tom | 1 May | 111!!"
                                                     << notSaved("Disk quota exceeded") << "";
        QTest::newRow("write-back fails, typing") << "sync:EIO" << "" << "txtBirthday" << typed << ioError << "";
        QTest::newRow("link fails, typing") << "link:EIO" << "" << "txtBirthday" << typed << ioError << "";
        QTest::newRow("rename fails, typing") << "rename:EIO" << "" << "txtBirthday" << typed << ioError << "";
        QTest::newRow("rename fails, removing a dependant") << "rename:EACCES" << "" << "cmdRemoveChildren"
                                                            << "Family | Ann,Bo |  | 1 May | 111"
                                                            << notSaved("Permission denied") << "";
        // The name is unlisted first, so a contact is never listed without its files.
        const QString notDeleted = "Sorry, not all of the information on Ann could be deleted from <dir>.";
        QTest::newRow("nothing can be deleted, removing a name")
            << "unlink:EACCES" << "" << "cmdRemoveName" << "Family | Bo |  |  | " << notDeleted << "";
        QTest::newRow("one file cannot be deleted, removing a name") << "unlink:EPERM" << "FamilyAnnRelation"
                                                                     << "cmdRemoveName" << "Family | Bo |  |  | "
                                                                     << notDeleted << "FamilyAnnBirthday";
        QTest::newRow("read-only, removing a category") << readOnly << "" << "cmdRemoveRelationship" << same << "" << "";
        QTest::newRow("disk full, adding a dependant")
            << "write:ENOSPC" << "" << "cmdAddChildren" << same << notAdded("dependant", "<dir>") << "";
        QTest::newRow("read-only, adding a name")
            << readOnly << "" << "cmdAddName" << same << notAdded("name", "<dir>") << "";
        QTest::newRow("disk fills part-way through adding a name")
            << "link:ENOSPC" << "FamilyZoeNumbers" << "cmdAddName" << same << notAdded("name", "<dir>") << "";
    }

    void faults()
    {
        QFETCH(QString, calls);
        QFETCH(QString, scope);
        QFETCH(QString, control);
        QFETCH(QString, seen);
        QFETCH(QString, told);
        QFETCH(QString, gone);

        Files stored = book();
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        w.lstChildren->setCurrentRow(0);
        f->platform.answers.enqueue(true);
        f->platform.inputs.enqueue("Zoe");
        QWidget *target = w.findChild<QWidget *>(control);
        const bool struck = failing(calls, scope.isEmpty() ? f->home.path() : f->dataDir() + scope, [&] {
            if (auto *button = qobject_cast<QPushButton *>(target))
                button->click();
            else
                typeAtEnd(target, "!!");
        });
        QVERIFY2(struck, "the fault never struck");

        QCOMPARE(view(), seen);
        QCOMPARE(f->platform.messages(), told.isEmpty() ? QStringList{} : QStringList{told.replace("<dir>", f->dataDir())});
        stored.remove(gone);
        stored["NamesListFamily"] = listBytes(seen.section(" | ", 1, 1).split(','));
        QCOMPARE(f->files(false), stored); // no cut file, no temporary left behind

        // With the disk working again, the next save, in another box, stores
        // every file whole as the window shows it.
        if (w.currentName() != "Ann")
            return;
        typeAtEnd(w.txtRelation, "?");
        RecordFile::flush();
        for (const QString &suffix : ContactFields::files()) {
            const QString file = "FamilyAnn" + suffix;
            if (file == gone || !stored.contains(file))
                continue;
            const QStringList shown = ContactFields::record(w, suffix);
            QCOMPARE(f->file(file), suffix == FileName::DependantsList ? RecordFile::encodeList(shown)
                                                                       : RecordFile::encodeRecord(shown));
        }
    }

    // A contact file that exists but cannot be read: its controls are
    // emptied and disabled, so the previous contact's values can't be typed
    // over it, until a contact is selected again.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("locked");
        QTest::addColumn<QString>("seen");  // view() while it cannot be read
        QTest::addColumn<QString>("after"); // view() once it can be read again, "!" typed into birthday and home
        QTest::newRow("birthday") << "FamilyAnnBirthday" << QStringList{"txtBirthday"}
                                  << "Family | Ann,Bo | Tom |  | 111" << "Family | Ann,Bo | Tom | 1 May | 111!";
        QTest::newRow("numbers") << "FamilyAnnNumbers" << QStringList{"txtHome", "txtCell", "txtWork", "txtFax", "txtEmail"}
                                 << "Family | Ann,Bo | Tom | 1 May | " << "Family | Ann,Bo | Tom | 1 May! | 111";
        QTest::newRow("dependants")
            << "FamilyAnnDependantsList" << QStringList{"lstChildren", "cmdAddChildren", "cmdRemoveChildren"}
            << "Family | Ann,Bo |  | 1 May | 111" << "Family | Ann,Bo | Tom | 1 May! | 111!";
    }

    void unreadableFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, locked);
        QFETCH(QString, seen);
        QFETCH(QString, after);
        QVERIFY(f->put(book()) && f->startOn("Family", "Bo"));
        FrmMain &w = f->window();
        bool picked = false;
        QVERIFY(failing("read:EIO", f->dataDir() + file, [&] { picked = f->pickName("Ann"); }) && picked);

        QCOMPARE(view(), seen);
        for (QWidget *control : w.findChildren<QWidget *>()) {
            if (control->objectName().startsWith("txt") || control->objectName().contains("Children"))
                QVERIFY2(control->isEnabled() != locked.contains(control->objectName()), qPrintable(control->objectName()));
        }
        typeAtEnd(w.txtBirthday, "!");
        typeAtEnd(w.txtHome, "!");
        QCOMPARE(f->file(file), book().value(file));

        // Selecting a contact again unlocks them; with the disk working, Ann's file shows.
        QVERIFY(f->pickName("Bo") && f->pickName("Ann"));
        for (const QString &name : locked)
            QVERIFY(w.findChild<QWidget *>(name)->isEnabled());
        QCOMPARE(view(), after);
    }

    // Saving never holds the window up, yet nothing is lost or brought back:
    // a save still pending (here one that keeps failing) shows on selecting
    // the contact again; removing the contact drops it, so it never brings a
    // file back; on a slow disk, ending the program first stores the rest.
    void pendingSaves()
    {
        Files stored = book();
        QVERIFY(f->put(stored));
        QVERIFY(f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QVERIFY(failing("write:ENOSPC", f->home.path(), [&] {
            typeAtEnd(w.txtBirthday, "!");
            QVERIFY(f->pickName("Bo") && f->pickName("Ann"));
        }));
        QCOMPARE(w.txtBirthday->text(), "1 May!");
        QCOMPARE(f->files(false), stored);

        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        for (const QString &name : stored.keys()) {
            if (name.startsWith("FamilyAnn"))
                stored.remove(name);
        }
        stored["NamesListFamily"] = listBytes({"Bo"});
        QCOMPARE(f->files(), stored);

        QVERIFY(f->pickName("Bo"));
        qputenv("KINFOLIO_DELAY", "200");
        typeAtEnd(w.txtBirthday, "?");
        w.cmdExit_Click();
        qunsetenv("KINFOLIO_DELAY");
        QCOMPARE(f->files(false).value("FamilyBoBirthday"), "\"2 June?\"\r\n");
        QCOMPARE(f->platform.endProgramCalls, 1);
        QCOMPARE(f->platform.messages(), QStringList{notSaved("No space left on device", f->dataDir())});
    }

    // Where the file system makes no unnamed files, a named one beside the
    // file takes the new content, and none is left once it is in place.
    void noUnnamedFiles()
    {
        QVERIFY(f->put(book()) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QVERIFY(failing("tmpfile:EOPNOTSUPP", f->home.path(), [&] { typeAtEnd(w.txtBirthday, "!"); }));
        Files stored = book();
        stored.insert("FamilyAnnBirthday", "\"1 May!\"\r\n");
        QCOMPARE(f->files(), stored);
    }

    // A pipe or a device in a data file's place neither hangs nor ends the
    // program, at start-up or on selecting a contact: it cannot be read, so
    // its controls are locked, and it stays as it is.
    void specialFiles()
    {
        QVERIFY(f->put(book()));
        for (const char *name : {"FormBackColor", "FamilyAnnNumbers", "FamilyAnnBirthday"})
            QFile::remove(f->dataDir() + name);
        QVERIFY(::mkfifo(QFile::encodeName(f->dataDir() + "FormBackColor").constData(), 0600) == 0);
        QVERIFY(::mkfifo(QFile::encodeName(f->dataDir() + "FamilyAnnNumbers").constData(), 0600) == 0);
        QVERIFY(QFile::link("/dev/zero", f->dataDir() + "FamilyAnnBirthday"));
        QVERIFY(f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QVERIFY(!w.txtBirthday->isEnabled() && !w.txtHome->isEnabled() && w.txtRelation->isEnabled());
        QCOMPARE(w.txtRelation->text(), "aunt");
        QCOMPARE(QFileInfo(f->dataDir() + "FamilyAnnBirthday").symLinkTarget(), "/dev/zero");
        QVERIFY(QFileInfo(f->dataDir() + "FormBackColor").isFile() == false);
    }

    // A data directory that start-up could not make, or that is deleted
    // while the program runs, is made again, private, by the next save.
    void dataDirectoryMissing()
    {
        QVERIFY(failing("mkdir:EACCES", f->home.path(), [&] { f->start(); }));
        QVERIFY(!QDir(f->dataDir()).exists());
        f->platform.inputs.enqueue("Family");
        f->window().cmdAddRelationship->click();
        QCOMPARE(f->files(), (Files{{"RelationsList", listBytes({"Family"})}}));
        f->platform.inputs.enqueue("Ann");
        f->window().cmdAddName->click();

        QVERIFY(QDir(f->dataDir()).removeRecursively());
        typeAtEnd(f->window().txtBirthday, "1 May");
        RecordFile::flush();
        QCOMPARE(f->files(), (Files{{"FamilyAnnBirthday", "\"1 May\"\r\n"}}));
        QCOMPARE(QFileInfo(f->dataDir()).permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                            | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser);
        QCOMPARE(f->platform.messages(), QStringList{});
    }

    // Hand-edited or damaged files: the program shows what it can read, writes
    // nothing on loading, and never reaches outside the data directory.
    void badFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pick");      // "category/name" to pick, then type a birthday; empty: each category
        QTest::addColumn<QStringList>("shown"); // what the window shows of the file; "*": anything
        QTest::addColumn<QString>("typedInto"); // the file the keystroke is stored in; empty: none

        QRandomGenerator random(7);
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        QStringList many;
        for (int i = 0; i < 100000; ++i)
            many.append(QString("n%1").arg(i, 6, 10, QChar('0')));
        const QString nul(QChar(0)), bom(QChar(0xFEFF)), tenMegabytes(10 * 1024 * 1024, 'x'), ann = "FamilyAnnBirthday";
        const QStringList any{"*"};

        QTest::newRow("garbage categories") << "RelationsList" << garbage << "" << any << "";
        QTest::newRow("garbage numbers") << "FamilyAnnNumbers" << garbage << "Family/Ann" << any << ann;
        QTest::newRow("NUL in a value") << "FamilyAnnBirthday" << QByteArray("\"1 May\0 1970\"\r\n", 15) << "Family/Ann"
                                        << QStringList{"1 May" + nul + " 1970"} << ann;
        QTest::newRow("NUL in a name") << "NamesListFamily" << QByteArray("\"A\0n\"\r\n", 7) << "Family/A" + nul + "n"
                                       << QStringList{"A" + nul + "n"} << "";
        QTest::newRow("unterminated quote") << "FamilyAnnAddress" << QByteArray("\"12 Elm St\r\nLeeds") << "Family/Ann"
                                            << QStringList{"12 Elm St\nLeeds"} << ann;
        QTest::newRow("LF line ends") << "NamesListFamily" << QByteArray("\"Bo\"\n\"Ann\"\n") << "Family/Ann"
                                      << QStringList{"Ann", "Bo"} << ann;
        QTest::newRow("CR line ends") << "FamilyAnnDependantsList" << QByteArray("\"Tom\"\r\"Tim\"\r") << "Family/Ann"
                                      << QStringList{"Tim", "Tom"} << ann;
        QTest::newRow("byte-order mark") << "RelationsList" << QByteArray("\xEF\xBB\xBF\"Family\"\r\n") << "Family/Ann"
                                         << QStringList{"Family"} << ann;
        QTest::newRow("name starting with U+FEFF") << "NamesListFamily" << QByteArray("\"\xEF\xBB\xBF" "Ann\"\r\n")
                                                   << "Family/" + bom + "Ann" << QStringList{bom + "Ann"}
                                                   << "Family" + bom + "AnnBirthday";
        QTest::newRow("10 MB address") << "FamilyAnnAddress" << "\"" + tenMegabytes.toLatin1() + "\"\r\n"
                                       << "Family/Ann" << QStringList{tenMegabytes} << ann;
        QTest::newRow("100,000 names") << "NamesListFamily" << listBytes(many) << "Family/n000000" << many
                                       << "Familyn000000Birthday";
        QTest::newRow("100,000 dependants") << "FamilyAnnDependantsList" << listBytes(many) << "Family/Ann" << many << ann;
        const QByteArray names("\"../../escape\"\r\n\"a\\b\"\r\n\"..\"\r\nAnn \"Jr\"\r\n");
        const QStringList sorted{"..", "../../escape", "a\\b", "Ann \"Jr\""};
        QTest::newRow("name with /") << "NamesListFamily" << names << "Family/../../escape" << sorted << "";
        QTest::newRow("name with \\") << "NamesListFamily" << names << "Family/a\\b" << sorted << "";
        QTest::newRow("name ..") << "NamesListFamily" << names << "Family/.." << sorted << "Family..Birthday";
        QTest::newRow("name with a quote") << "NamesListFamily" << names << "Family/Ann \"Jr\"" << sorted
                                           << "FamilyAnn \"Jr\"Birthday";
        QTest::newRow("category with /") << "RelationsList" << QByteArray("\"../x\"\r\n\"Family\"\r\n") << ""
                                         << QStringList{"../x", "Family"} << "";
    }

    void badFiles()
    {
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, pick);
        QFETCH(QStringList, shown);
        QFETCH(QString, typedInto);

        Files stored = book();
        stored.insert(file, bytes);
        QVERIFY(f->put(stored));
        FrmMain &w = f->start();
        if (pick.isEmpty()) {
            // Every category listed can be chosen; one whose names file cannot be named shows no names.
            for (int i = 0; i < w.cboRelationship->count(); ++i)
                w.cboRelationship->setCurrentIndex(i);
        } else {
            QVERIFY(f->pickCategory(pick.section('/', 0, 0)) && f->pickName(pick.section('/', 1)));
        }
        const QStringList actual = file == "RelationsList"          ? Controls::entries(w.cboRelationship)
                                   : file.startsWith("NamesList")    ? Controls::entries(w.lstNames)
                                   : file.endsWith("DependantsList") ? Controls::entries(w.lstChildren)
                                   : file.endsWith("Address")        ? QStringList{w.txtAddress->toPlainText()}
                                                                     : QStringList{w.txtBirthday->text()};
        QVERIFY(shown == QStringList{"*"} || actual == shown); // QCOMPARE would print 10 MB
        QVERIFY(f->files() == stored);                         // loading writes nothing

        if (!pick.isEmpty()) {
            typeAtEnd(w.txtBirthday, "!");
            if (!typedInto.isEmpty())
                stored.insert(typedInto, RecordFile::encodeRecord({w.txtBirthday->text()}));
            QVERIFY(f->files() == stored);
        }
        // Nothing outside the data directory, and no directory inside it.
        QCOMPARE(QDir(f->home.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Kinfolio"});
        QCOMPARE(QDir(f->home.path() + "/Kinfolio").entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"Data"});
        QCOMPARE(QDir(f->dataDir()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{});
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
