#include "support/testsupport.h"

#include "platform/qtplatform.h"

#include <QMessageBox>

#include <dlfcn.h>

// The program on a failing disk and over damaged files. The fault shim, preloaded by CTest, fails chosen calls.
class TestFaults : public FixtureTest
{
    Q_OBJECT
    long (*injected)() = nullptr;

    static Files book()
    {
        return {{"RelationsList", listBytes({"Family"})}, {"NamesListFamily", listBytes({"Ann", "Bo"})},
                {"FamilyAnnBirthday", "\"1 May\"\r\n"}, {"FamilyAnnRelation", "\"aunt\"\r\n"},
                {"FamilyAnnNumbers", "\"111\",\"222\",\"\",\"\",\"ann@lee.org\"\r\n"},
                {"FamilyAnnDependantsList", listBytes({"Tom"})}, {"FamilyBoBirthday", "\"2 June\"\r\n"},
                {"FamilyBoNumbers", "\"222\",\"\",\"\",\"\",\"\"\r\n"}, {"FamilyBoDependantsList", listBytes({"Zed"})}};
    }
    QStringList told() { return f->platform.messages().replaceInStrings(f->dataDir(), "<dir>"); }

    // Runs act and its saves while the calls fail under path; whether any did.
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

    // A box typed into or a button clicked while calls fail: told once, and why; no file cut or left behind, nothing
    // unstored shown as done; the next save, in another box, stores every file whole.
    void faults_data()
    {
        QTest::addColumn<QString>("calls"); QTest::addColumn<QString>("scope"); QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("told"); QTest::addColumn<QString>("lists"); // names | dependants
        QTest::addColumn<Files>("stored"); // the files changed at the end; null: deleted
        const QString readOnly = "create+link+rename+unlink+mkdir:EROFS";
        const QString unsaved = "Sorry, your changes could not be saved in <dir>: %1. What you type stays on screen and is "
                                "saved as soon as saving works again.";
        const Files typed{{"FamilyAnnBirthday", "\"1 May!!\"\r\n"}, {"FamilyAnnRelation", "\"aunt?\"\r\n"}};
        const Files relationTyped{{"FamilyAnnRelation", "\"aunt?\"\r\n"}};
        const QString notRemoved = "Sorry, not all of the information on Ann could be deleted from <dir>.";
        const QString nameNotAdded = "Sorry, the new name could not be saved in <dir>. Nothing was added.";
        QTest::newRow("read-only, typing") << readOnly << "" << "txtBirthday" << unsaved.arg("Read-only file system")
                                           << "Ann Bo|Tom" << typed;
        QTest::newRow("write-back fails, typing") << "sync:EIO" << "" << "txtBirthday" << unsaved.arg("Input/output error")
                                                  << "Ann Bo|Tom" << typed;
        QTest::newRow("link fails, typing") << "link:EIO" << "" << "txtBirthday" << unsaved.arg("Input/output error")
                                            << "Ann Bo|Tom" << typed;
        QTest::newRow("rename fails, removing a dependant") << "rename:EACCES" << "" << "cmdRemoveChildren"
            << unsaved.arg("Permission denied") << "Ann Bo|" << Files{{"FamilyAnnDependantsList", ""}, {"FamilyAnnRelation", "\"aunt?\"\r\n"}};
        // The name is unlisted first, so a contact is never listed without its files.
        QTest::newRow("one file cannot be deleted, removing a name") << "unlink:EPERM" << "FamilyAnnRelation" << "cmdRemoveName"
            << notRemoved << "Bo|" << Files{{"NamesListFamily", listBytes({"Bo"})}, {"FamilyAnnBirthday", {}}};
        QTest::newRow("read-only, removing a category") << readOnly << "" << "cmdRemoveRelationship"
            << "Sorry, Family could not be removed: the list in <dir> could not be saved. Nothing was deleted." << "Ann Bo|Tom" << relationTyped;
        QTest::newRow("disk full, adding a dependant") << "write:ENOSPC" << "" << "cmdAddChildren"
            << "Sorry, the new dependant could not be saved in <dir>. Nothing was added." << "Ann Bo|Tom" << relationTyped;
        QTest::newRow("read-only, adding a name") << readOnly << "" << "cmdAddName" << nameNotAdded << "Ann Bo|Tom" << relationTyped;
        QTest::newRow("disk fills part-way through adding a name") << "link:ENOSPC" << "FamilyZoeNumbers" << "cmdAddName"
            << nameNotAdded << "Ann Bo|Tom" << relationTyped;
    }

    void faults()
    {
        QFETCH(QString, calls); QFETCH(QString, scope); QFETCH(QString, control);
        QFETCH(QString, told); QFETCH(QString, lists); QFETCH(Files, stored);
        QVERIFY(f->put(book()) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        w.lstChildren->setCurrentRow(0);
        f->platform.answers.enqueue(true);
        f->platform.inputs.enqueue("Zoe");
        auto *target = w.findChild<QWidget *>(control);
        auto *button = qobject_cast<QPushButton *>(target);
        Files meanwhile;
        QVERIFY2(failing(calls, scope.isEmpty() ? f->home.path() : f->dataDir() + scope, [&] {
            button ? button->click() : typeAtEnd(target, "!!");
            RecordFile::flush();
            meanwhile = f->files(false);
        }), "the fault never struck");
        QCOMPARE(this->told(), QStringList{told});
        QCOMPARE(Controls::entries(w.lstNames).join(' ') + '|' + Controls::entries(w.lstChildren).join(' '), lists);
        typeAtEnd(w.txtRelation, "?");
        Files expected = book();
        for (const auto &[file, bytes] : stored.asKeyValueRange())
            bytes.isNull() ? void(expected.remove(file)) : void(expected[file] = bytes);
        QCOMPARE(f->files(), expected);
        for (const auto &[file, bytes] : meanwhile.asKeyValueRange())
            QVERIFY2(bytes == book().value(file) || bytes == expected.value(file), qPrintable(file));
    }

    // A contact file that cannot be read: its controls are emptied and disabled until chosen again; the others store alone.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("file"); QTest::addColumn<QStringList>("locked");
        QTest::addColumn<QString>("shown"); // the ten boxes | the dependants
        QTest::newRow("birthday") << "FamilyAnnBirthday" << QStringList{"txtBirthday"} << "aunt||||111|222|||ann@lee.org||Tom";
        QTest::newRow("numbers") << "FamilyAnnNumbers" << QStringList{"txtHome", "txtCell", "txtWork", "txtFax", "txtEmail"}
                                 << "aunt|1 May|||||||||Tom";
        QTest::newRow("dependants") << "FamilyAnnDependantsList" << QStringList{"lstChildren", "cmdAddChildren", "cmdRemoveChildren"}
                                    << "aunt|1 May|||111|222|||ann@lee.org||";
    }

    void unreadableFiles()
    {
        QFETCH(QString, file); QFETCH(QStringList, locked); QFETCH(QString, shown);
        QVERIFY(f->put(book()) && f->startOn("Family", "Bo"));
        FrmMain &w = f->window();
        bool picked = false;
        QVERIFY(failing("read:EIO", f->dataDir() + file, [&] { picked = f->pickName("Ann"); }) && picked);
        QCOMPARE(f->texts().join('|') + '|' + Controls::entries(w.lstChildren).join(' '), shown);
        for (QWidget *control : w.findChildren<QWidget *>())
            if (control->objectName().startsWith("txt") || control->objectName().contains("Children"))
                QVERIFY2(control->isEnabled() != locked.contains(control->objectName()), qPrintable(control->objectName()));
        typeAtEnd(w.txtBirthday, "!");
        typeAtEnd(w.txtHome, "!");
        const QString birthday = locked.contains("txtBirthday") ? "1 May" : "1 May!";
        const QString home = locked.contains("txtHome") ? "111" : "111!";
        Files expected = book();
        expected["FamilyAnnBirthday"] = RecordFile::encodeRecord({birthday});
        expected["FamilyAnnNumbers"] = RecordFile::encodeRecord({home, "222", "", "", "ann@lee.org"});
        QCOMPARE(f->files(), expected);
        QVERIFY(f->pickName("Bo") && f->pickName("Ann"));
        QCOMPARE(f->texts().join('|') + '|' + Controls::entries(w.lstChildren).join(' '),
                 QString("aunt|%1|||%2|222|||ann@lee.org||Tom").arg(birthday, home));
    }

    // A save still pending shows on choosing the contact again; removing the contact drops it; on a slow disk, the end
    // of the program stores the rest first.
    void pendingSaves()
    {
        Files stored = book();
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QString shown;
        Files meanwhile;
        QVERIFY(failing("rename:ENOSPC", f->dataDir() + "FamilyAnnBirthday", [&] {
            typeAtEnd(w.txtBirthday, "!");
            shown = f->pickName("Bo") && f->pickName("Ann") ? w.txtBirthday->text() : "Ann not picked again";
            meanwhile = f->files(false);
            f->platform.answers.enqueue(true);
            w.cmdRemoveName->click();
        }));
        QCOMPARE(shown, "1 May!");
        QCOMPARE(meanwhile, stored);
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
        QCOMPARE(told(), QStringList{"Sorry, your changes could not be saved in <dir>: No space left on device. What you type "
                                     "stays on screen and is saved as soon as saving works again."});
    }

    // A data folder moved away while the window is open is told, and nothing is written there again, even into a new one.
    void deletedFolder()
    {
        QVERIFY(f->put(book()) && f->startOn("Family", "Ann") && QDir().rename(f->dataDir(), f->home.filePath("Moved")));
        typeAtEnd(f->window().txtBirthday, "!");
        QVERIFY(!RecordFile::flush() && QDir().mkdir(f->dataDir()));
        typeAtEnd(f->window().txtRelation, "?");
        f->platform.inputs.enqueue("Zoe");
        f->window().cmdAddName->click();
        QCoreApplication::processEvents();
        QCOMPARE(f->files(false), Files());
        QCOMPARE(told(), (QStringList{"Sorry, the new name could not be saved in <dir>. Nothing was added.",
                                      "Sorry, your changes could not be saved in <dir>: the folder was deleted or replaced while "
                                      "Kinfolio was open. What you type stays on screen and is saved as soon as saving works again."}));
    }

    // Ending the program while saves fail asks first: staying open keeps the changes; No loses them.
    void exitWhileSavesFail_data()
    {
        QTest::addColumn<bool>("stay");
        QTest::newRow("stay open") << true;
        QTest::newRow("end") << false;
    }
    void exitWhileSavesFail()
    {
        QFETCH(bool, stay);
        QVERIFY(f->put(book()) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        f->platform.answers.enqueue(stay);
        QVERIFY(failing("write:ENOSPC", f->home.path(), [&] {
            typeAtEnd(w.txtBirthday, "!");
            RecordFile::flush();
            QCoreApplication::processEvents(); // told as it happens, not again on the way out
            w.close();
        }));
        QCOMPARE(f->platform.shown.size(), 2);
        QVERIFY(f->platform.shown[1].prompt.startsWith("Sorry, your last changes could not be saved in " + f->dataDir()));
        QCOMPARE(f->platform.endProgramCalls, stay ? 0 : 1);
        QCOMPARE(f->files(stay).value("FamilyAnnBirthday"), stay ? "\"1 May!\"\r\n" : "\"1 May\"\r\n");
    }

    // Through the desktop's own message: told once, and the keys stay with the box.
    void typingWhileSavesFail()
    {
        QVERIFY(f->put(book()));
        QtPlatform desktop;
        FrmMain w(desktop);
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.cboRelationship->setCurrentIndex(0); // Family, then Ann
        w.lstNames->setCurrentRow(0);
        w.txtBirthday->setFocus();
        w.txtBirthday->end(false);
        QVERIFY(failing("create+link+rename+unlink+mkdir:EROFS", f->home.path(), [&] {
            for (const char key : {'a', 'b', 'c'}) {
                QTest::keyClick(QApplication::focusWidget(), key);
                RecordFile::flush();
                QCoreApplication::processEvents();
            }
        }));
        QCOMPARE(w.findChildren<QMessageBox *>().size(), 1);
        QCOMPARE(QApplication::focusWidget(), w.txtBirthday);
        QCOMPARE(w.txtBirthday->text(), "1 Mayabc");
        QCOMPARE(f->file("FamilyAnnBirthday"), "\"1 Mayabc\"\r\n");
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
