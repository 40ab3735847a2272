#include "support/testsupport.h"

#include <dlfcn.h>

// The program on a failing disk and over damaged files. The fault shim, preloaded by CTest, fails chosen calls.
class TestFaults : public FixtureTest
{
    Q_OBJECT
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
    static QString notSaved(const QString &reason)
    {
        return "Sorry, your changes could not be saved in <dir>: " + reason
               + ". What you type stays on screen and is saved as soon as saving works again.";
    }
    QStringList told() { return f->platform.messages().replaceInStrings(f->dataDir(), "<dir>"); }

    QString view() // categories | names | dependants | birthday | home
    {
        FrmMain &w = f->window();
        return QStringList{Controls::entries(w.cboRelationship).join(','), Controls::entries(w.lstNames).join(','),
                           Controls::entries(w.lstChildren).join(','), w.txtBirthday->text(), w.txtHome->text()}
            .join(" | ");
    }

    // Runs act, and the saves it queued, while the calls fail on paths under path; whether any did. What the window
    // is told then has been shown.
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
        // The calls that fail, and how; the data file they fail on (empty: all); a box typed into, or a button
        // clicked (answering Yes, or "Zoe"); view() afterwards; the one message (empty: none); a file deleted.
        for (const char *column : {"calls", "scope", "control", "seen", "message", "gone"})
            QTest::addColumn<QString>(column);

        const QString same = "Family | Ann,Bo | Tom | 1 May | 111", typed = "Family | Ann,Bo | Tom | 1 May!! | 111";
        const QString readOnly = "create+link+rename+unlink+mkdir:EROFS", ioError = notSaved("Input/output error");
        const QString notDeleted = "Sorry, not all of the information on Ann could be deleted from <dir>.";
        const QString noName = "Sorry, the new name could not be saved in <dir>. Nothing was added.";
        const auto row = [](const char *tag, const QString &calls, const QString &scope, const char *control,
                            const QString &seen, const QString &message, const char *gone = "") {
            QTest::newRow(tag) << calls << scope << control << seen << message << gone;
        };
        row("read-only, typing", readOnly, "", "txtBirthday", typed, notSaved("Read-only file system"));
        row("write-back fails, typing", "sync:EIO", "", "txtBirthday", typed, ioError);
        row("link fails, typing", "link:EIO", "", "txtBirthday", typed, ioError);
        row("rename fails, removing a dependant", "rename:EACCES", "", "cmdRemoveChildren",
            "Family | Ann,Bo |  | 1 May | 111", notSaved("Permission denied"));
        // The name is unlisted first, so a contact is never listed without its files.
        row("nothing can be deleted, removing a name", "unlink:EACCES", "", "cmdRemoveName", "Family | Bo |  |  | ",
            notDeleted);
        row("one file cannot be deleted, removing a name", "unlink:EPERM", "FamilyAnnRelation", "cmdRemoveName",
            "Family | Bo |  |  | ", notDeleted, "FamilyAnnBirthday");
        row("read-only, removing a category", readOnly, "", "cmdRemoveRelationship", same,
            "Sorry, Family could not be removed: the list in <dir> could not be saved. Nothing was deleted.");
        row("disk full, adding a dependant", "write:ENOSPC", "", "cmdAddChildren", same,
            "Sorry, the new dependant could not be saved in <dir>. Nothing was added.");
        row("read-only, adding a name", readOnly, "", "cmdAddName", same, noName);
        row("disk fills part-way through adding a name", "link:ENOSPC", "FamilyZoeNumbers", "cmdAddName", same, noName);
    }

    void faults()
    {
        QFETCH(QString, calls); QFETCH(QString, scope); QFETCH(QString, control);
        QFETCH(QString, seen); QFETCH(QString, message); QFETCH(QString, gone);
        Files stored = book();
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        w.lstChildren->setCurrentRow(0);
        f->platform.answers.enqueue(true);
        f->platform.inputs.enqueue("Zoe");
        auto *target = w.findChild<QWidget *>(control);
        auto *button = qobject_cast<QPushButton *>(target);
        QVERIFY2(failing(calls, scope.isEmpty() ? f->home.path() : f->dataDir() + scope,
                         [&] { button ? button->click() : typeAtEnd(target, "!!"); }),
                 "the fault never struck");
        QCOMPARE(view(), seen);
        QCOMPARE(told(), message.isEmpty() ? QStringList{} : QStringList{message});
        stored.remove(gone);
        stored["NamesListFamily"] = listBytes(seen.section(" | ", 1, 1).split(','));
        QCOMPARE(f->files(false), stored); // no cut file, no temporary left behind

        // With the disk working again, the next save, in another box, stores every file whole as the window shows it.
        if (w.currentName() != "Ann")
            return;
        typeAtEnd(w.txtRelation, "?");
        RecordFile::flush();
        for (const QString &suffix : ContactFields::files()) {
            const QStringList shown = ContactFields::record(w, suffix);
            if (stored.contains("FamilyAnn" + suffix))
                QCOMPARE(f->file("FamilyAnn" + suffix), suffix == FileName::DependantsList ? RecordFile::encodeList(shown)
                                                                                           : RecordFile::encodeRecord(shown));
        }
    }

    // A contact file that exists but cannot be read: its controls are emptied and disabled, so the previous
    // contact's values can't be typed over it, until a contact is selected again.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("file"); QTest::addColumn<QStringList>("locked");
        // view() while it cannot be read; view() once it can be read again, "!" typed into birthday and home
        QTest::addColumn<QString>("seen"); QTest::addColumn<QString>("after");
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
        QFETCH(QString, file); QFETCH(QStringList, locked); QFETCH(QString, seen); QFETCH(QString, after);
        QVERIFY(f->put(book()) && f->startOn("Family", "Bo"));
        FrmMain &w = f->window();
        bool picked = false;
        QVERIFY(failing("read:EIO", f->dataDir() + file, [&] { picked = f->pickName("Ann"); }) && picked);
        QCOMPARE(view(), seen);
        for (QWidget *control : w.findChildren<QWidget *>())
            if (control->objectName().startsWith("txt") || control->objectName().contains("Children"))
                QVERIFY2(control->isEnabled() != locked.contains(control->objectName()), qPrintable(control->objectName()));
        typeAtEnd(w.txtBirthday, "!");
        typeAtEnd(w.txtHome, "!");
        QCOMPARE(f->file(file), book().value(file));
        QVERIFY(f->pickName("Bo") && f->pickName("Ann"));
        QCOMPARE(view(), after);
    }

    // Saving never holds the window up, yet nothing is lost or brought back: a save still pending (here one that
    // keeps failing) shows on selecting the contact again; removing the contact drops it, so it never brings a file
    // back; on a slow disk, ending the program first stores the rest.
    void pendingSaves()
    {
        Files stored = book();
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QVERIFY(failing("rename:ENOSPC", f->dataDir() + "FamilyAnnBirthday", [&] {
            typeAtEnd(w.txtBirthday, "!");
            QVERIFY(f->pickName("Bo") && f->pickName("Ann"));
            QCOMPARE(w.txtBirthday->text(), "1 May!");
            QCOMPARE(f->files(false), stored);
            f->platform.answers.enqueue(true);
            w.cmdRemoveName->click();
        }));
        stored.removeIf([](const auto &file) { return file.key().startsWith("FamilyAnn"); });
        stored["NamesListFamily"] = listBytes({"Bo"});
        QCOMPARE(f->files(), stored);

        QVERIFY(f->pickName("Bo"));
        qputenv("KINFOLIO_DELAY", "200");
        typeAtEnd(w.txtBirthday, "?");
        w.cmdExit_Click();
        qunsetenv("KINFOLIO_DELAY");
        QCOMPARE(f->files(false).value("FamilyBoBirthday"), "\"2 June?\"\r\n");
        QCOMPARE(f->platform.endProgramCalls, 1);
        QCOMPARE(told(), QStringList{notSaved("No space left on device")});
    }

    // Ending the program while saves fail says once that they are lost.
    void exitWhileSavesFail()
    {
        QVERIFY(f->put(book()) && f->startOn("Family", "Ann"));
        QVERIFY(failing("write:ENOSPC", f->home.path(), [&] { typeAtEnd(f->window().txtBirthday, "!"); f->window().cmdExit_Click(); }));
        QCOMPARE(told(), QStringList{"Sorry, your last changes could not be saved in <dir> and are lost."});
        QCOMPARE(f->platform.endProgramCalls, 1);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
