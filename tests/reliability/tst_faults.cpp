#include "support/testsupport.h"

#include <QDir>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTest>

#include <dlfcn.h>

using Files = QMap<QString, QByteArray>;

// The program on a failing disk and over damaged files. The fault shim,
// preloaded by CTest, fails chosen file-system calls on chosen paths as a
// read-only or full disk would (the tests run as root, whom file permissions
// do not stop).
class TestFaults : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;
    long (*injected)() = nullptr;

    // categories | names | dependants | birthday | home
    QString view()
    {
        FrmMain &w = f->window();
        return QStringList{Controls::entries(w.cboRelationship).join(','), Controls::entries(w.lstNames).join(','),
                           Controls::entries(w.lstChildren).join(','), w.txtBirthday->text(), w.txtHome->text()}
            .join(" | ");
    }

    // What the window shows of a file, found by its name.
    QStringList shownOf(const QString &file)
    {
        FrmMain &w = f->window();
        return file == "RelationsList"          ? Controls::entries(w.cboRelationship)
               : file.startsWith("NamesList")    ? Controls::entries(w.lstNames)
               : file.endsWith("DependantsList") ? Controls::entries(w.lstChildren)
               : file.endsWith("Address")        ? QStringList{w.txtAddress->toPlainText()}
                                                 : QStringList{w.txtBirthday->text()};
    }

    void putAll(const Files &files)
    {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            f->put(it.key(), it.value());
    }

    void fail(const QString &calls, const QString &path)
    {
        qputenv("KINFOLIO_FAULT", calls.toUtf8());
        qputenv("KINFOLIO_FAULT_PATH", QFile::encodeName(path));
    }

private slots:
    void initTestCase()
    {
        injected = reinterpret_cast<long (*)()>(dlsym(RTLD_DEFAULT, "kinfolio_faults_injected"));
        QVERIFY2(injected, "the fault shim is not preloaded");
    }
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup() { qunsetenv("KINFOLIO_FAULT"); }
    void cleanupTestCase() { qInfo("%ld file-system calls failed on purpose", injected ? injected() : 0); }

    // For each fault: what the user sees, and what is on disk afterwards.
    void faults_data()
    {
        QTest::addColumn<QString>("calls");   // the calls that fail, and how
        QTest::addColumn<QString>("scope");   // the data file they fail on; empty: all
        QTest::addColumn<QString>("control"); // a box typed into, or a button clicked (answering Yes, or "Zoe")
        QTest::addColumn<QString>("seen");    // view() afterwards
        QTest::addColumn<QString>("message"); // %1: the data directory
        QTest::addColumn<QStringList>("gone"); // files deleted; all others keep their content

        const QString untouched = "Family | Ann,Bo | Tom | 1 May | 111";
        const QString typed = "Family | Ann,Bo | Tom | 1 May! | 111";
        const QString readOnly = "create+link+rename+unlink+mkdir:EROFS";
        const QString notAdded = "Sorry, the new %2 could not be saved in %1. Nothing was added.";
        QTest::newRow("read-only, typing") << readOnly << "" << "txtBirthday" << typed << "" << QStringList{};
        QTest::newRow("disk full, typing") << "write:ENOSPC" << "" << "txtBirthday" << typed << "" << QStringList{};
        QTest::newRow("quota full, typing a number")
            << "write:EDQUOT" << "" << "txtHome" << "Family | Ann,Bo | Tom | 1 May | 111!" << "" << QStringList{};
        QTest::newRow("write-back fails, typing") << "sync:EIO" << "" << "txtBirthday" << typed << "" << QStringList{};
        QTest::newRow("link fails, typing") << "link:EIO" << "" << "txtBirthday" << typed << "" << QStringList{};
        QTest::newRow("rename fails, typing") << "rename:EIO" << "" << "txtBirthday" << typed << "" << QStringList{};
        QTest::newRow("rename fails, removing a dependant")
            << "rename:EACCES" << "" << "cmdRemoveChildren" << "Family | Ann,Bo |  | 1 May | 111" << "" << QStringList{};
        QTest::newRow("nothing can be deleted, removing a name")
            << "unlink:EACCES" << "" << "cmdRemoveName" << untouched << "" << QStringList{};
        QTest::newRow("one file cannot be deleted, removing a name")
            << "unlink:EPERM" << "FamilyAnnRelation" << "cmdRemoveName" << untouched << "" << QStringList{"FamilyAnnBirthday"};
        QTest::newRow("read-only, removing a category")
            << readOnly << "" << "cmdRemoveRelationship" << untouched << "" << QStringList{};
        QTest::newRow("disk full, adding a dependant")
            << "write:ENOSPC" << "" << "cmdAddChildren" << untouched << notAdded.arg("%1", "dependant") << QStringList{};
        QTest::newRow("read-only, adding a name")
            << readOnly << "" << "cmdAddName" << untouched << notAdded.arg("%1", "name") << QStringList{};
    }

    void faults()
    {
        QFETCH(QString, calls);
        QFETCH(QString, scope);
        QFETCH(QString, control);
        QFETCH(QString, seen);
        QFETCH(QString, message);
        QFETCH(QStringList, gone);

        Files stored{{"RelationsList", listBytes({"Family"})},
                     {"NamesListFamily", listBytes({"Ann", "Bo"})},
                     {"FamilyAnnBirthday", "\"1 May\"\r\n"},
                     {"FamilyAnnRelation", "\"aunt\"\r\n"},
                     {"FamilyAnnNumbers", "\"111\",\"222\",\"\",\"\",\"ann@lee.org\"\r\n"},
                     {"FamilyAnnDependantsList", listBytes({"Tom"})}};
        putAll(stored);
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName("Ann");
        w.lstChildren->setCurrentRow(0);
        f->platform.answers.enqueue(true);
        f->platform.inputs.enqueue("Zoe");

        const long before = injected();
        fail(calls, scope.isEmpty() ? f->home.path() : f->dataDir() + scope);
        QWidget *target = w.findChild<QWidget *>(control);
        if (auto *button = qobject_cast<QPushButton *>(target))
            button->click();
        else
            QTest::keyClicks(target, "!");
        qunsetenv("KINFOLIO_FAULT");
        QVERIFY2(injected() > before, "the fault never struck");

        QCOMPARE(view(), seen);
        QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList{} : QStringList{message.arg(f->dataDir())});
        for (const QString &name : gone)
            stored.remove(name);
        QCOMPARE(f->files(), stored); // no cut file, no temporary left behind

        // With the disk working again, the next keystroke stores the whole box.
        QTest::keyClicks(w.txtBirthday, "?");
        QCOMPARE(f->file("FamilyAnnBirthday"), RecordFile::encodeRecord({w.txtBirthday->text()}));
    }

    // A contact file that exists but cannot be read: its controls are
    // emptied and disabled, so the previous contact's values can't be typed
    // over it, until a contact is selected again.
    void unreadableFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("locked");
        QTest::addColumn<QString>("after"); // view() once the file can be read again
        QTest::newRow("birthday") << "FamilyAnnBirthday" << QStringList{"txtBirthday"}
                                  << "Family | Ann,Bo | Tom | 1 May | 111!";
        QTest::newRow("numbers") << "FamilyAnnNumbers" << QStringList{"txtHome", "txtCell", "txtWork", "txtFax", "txtEmail"}
                                 << "Family | Ann,Bo | Tom | 1 May! | 111";
        QTest::newRow("dependants") << "FamilyAnnDependantsList"
                                    << QStringList{"lstChildren", "cmdAddChildren", "cmdRemoveChildren"}
                                    << "Family | Ann,Bo | Tom | 1 May! | 111!";
    }

    void unreadableFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, locked);
        QFETCH(QString, after);
        const Files stored{{"RelationsList", listBytes({"Family"})},
                           {"NamesListFamily", listBytes({"Ann", "Bo"})},
                           {"FamilyAnnBirthday", "\"1 May\"\r\n"},
                           {"FamilyAnnNumbers", "\"111\",\"\",\"\",\"\",\"\"\r\n"},
                           {"FamilyAnnDependantsList", listBytes({"Tom"})},
                           {"FamilyBoBirthday", "\"2 June\"\r\n"},
                           {"FamilyBoNumbers", "\"222\",\"\",\"\",\"\",\"\"\r\n"},
                           {"FamilyBoDependantsList", listBytes({"Zed"})}};
        putAll(stored);
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName("Bo");
        fail("read:EIO", f->dataDir() + file);
        f->pickName("Ann");
        qunsetenv("KINFOLIO_FAULT");

        const QString birthday = locked.contains("txtBirthday") ? "" : "1 May";
        const QString home = locked.contains("txtHome") ? "" : "111";
        QCOMPARE(view(), QString("Family | Ann,Bo | %1 | %2 | %3").arg(file.endsWith("DependantsList") ? "" : "Tom", birthday, home));
        for (QWidget *control : w.findChildren<QWidget *>()) {
            if (control->objectName().startsWith("txt") || control->objectName().contains("Children"))
                QVERIFY2(control->isEnabled() != locked.contains(control->objectName()), qPrintable(control->objectName()));
        }
        QTest::keyClicks(w.txtBirthday, "!");
        QTest::keyClicks(w.txtHome, "!");
        QCOMPARE(f->files().value(file), stored.value(file));

        // Selecting a contact again unlocks them; with the disk working, Ann's file shows.
        f->pickName("Bo");
        f->pickName("Ann");
        for (const QString &name : locked)
            QVERIFY(w.findChild<QWidget *>(name)->isEnabled());
        QCOMPARE(view(), after);
    }

    // Start-up cannot make the data directory: the program starts empty and
    // says nothing, until an add cannot be stored.
    void dataDirectoryMissing()
    {
        fail("mkdir:EACCES", f->home.path());
        FrmMain &w = f->start();
        qunsetenv("KINFOLIO_FAULT");
        QVERIFY(!QDir(f->dataDir()).exists());
        QCOMPARE(f->platform.messages(), QStringList{});
        f->platform.inputs.enqueue("Family");
        w.cmdAddRelationship->click();
        QCOMPARE(f->platform.messages(),
                 QStringList{"Sorry, the new category could not be saved in " + f->dataDir() + ". Nothing was added."});
        QCOMPARE(view(), " |  |  |  | ");
    }

    // Hand-edited or damaged files: the program shows what it can read, writes
    // nothing on loading, and never reaches outside the data directory.
    void badFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("pick");       // "category/name" to select, then type into the birthday box
        QTest::addColumn<QStringList>("shown");  // what the window shows of the file; "*": anything
        QTest::addColumn<QString>("typedInto");  // the file the keystroke is stored in; empty: none

        QRandomGenerator random(7);
        QByteArray garbage(64 * 1024, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        QStringList many;
        QByteArray manyBytes;
        for (int i = 0; i < 100000; ++i) {
            many.append(QString("n%1").arg(i, 6, 10, QChar('0')));
            manyBytes += "\"" + many.last().toUtf8() + "\"\r\n";
        }
        const QString tenMegabytes(10 * 1024 * 1024, 'x');
        const QStringList one{"*"};

        QTest::newRow("garbage categories") << "RelationsList" << garbage << "" << one << "";
        QTest::newRow("garbage numbers") << "FamilyAnnNumbers" << garbage << "Family/Ann" << one << "FamilyAnnBirthday";
        QTest::newRow("NUL in a value") << "FamilyAnnBirthday" << QByteArray("\"1 May\0 1970\"\r\n", 15) << "Family/Ann"
                                        << QStringList{QString("1 May") + QChar(0) + " 1970"} << "FamilyAnnBirthday";
        QTest::newRow("NUL in a name") << "NamesListFamily" << QByteArray("\"A\0n\"\r\n", 7)
                                       << QString("Family/A") + QChar(0) + "n" << QStringList{QString("A") + QChar(0) + "n"}
                                       << "";
        QTest::newRow("unterminated quote") << "FamilyAnnAddress" << QByteArray("\"12 Elm St\r\nLeeds") << "Family/Ann"
                                            << QStringList{"12 Elm St\nLeeds"} << "FamilyAnnBirthday";
        QTest::newRow("LF line ends") << "NamesListFamily" << QByteArray("\"Bo\"\n\"Ann\"\n") << "Family/Ann"
                                      << QStringList{"Ann", "Bo"} << "FamilyAnnBirthday";
        QTest::newRow("CR line ends") << "FamilyAnnDependantsList" << QByteArray("\"Tom\"\r\"Tim\"\r") << "Family/Ann"
                                      << QStringList{"Tim", "Tom"} << "FamilyAnnBirthday";
        QTest::newRow("byte-order mark") << "RelationsList" << QByteArray("\xEF\xBB\xBF\"Family\"\r\n") << "Family/Ann"
                                         << QStringList{"Family"} << "FamilyAnnBirthday";
        QTest::newRow("name starting with U+FEFF") << "NamesListFamily" << QByteArray("\"\xEF\xBB\xBF" "Ann\"\r\n")
                                                   << QString("Family/") + QChar(0xFEFF) + "Ann"
                                                   << QStringList{QChar(0xFEFF) + QString("Ann")}
                                                   << "Family" + QString(QChar(0xFEFF)) + "AnnBirthday";
        QTest::newRow("10 MB address") << "FamilyAnnAddress" << "\"" + tenMegabytes.toLatin1() + "\"\r\n"
                                       << "Family/Ann" << QStringList{tenMegabytes} << "FamilyAnnBirthday";
        QTest::newRow("100,000 names") << "NamesListFamily" << manyBytes << "Family/n000000" << many
                                       << "Familyn000000Birthday";
        QTest::newRow("100,000 dependants") << "FamilyAnnDependantsList" << manyBytes << "Family/Ann" << many
                                            << "FamilyAnnBirthday";
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

        Files stored{{"RelationsList", listBytes({"Family"})},
                     {"NamesListFamily", listBytes({"Ann"})},
                     {"FamilyAnnBirthday", "\"1 May\"\r\n"},
                     {"FamilyAnnNumbers", "\"111\",\"\",\"\",\"\",\"\"\r\n"}};
        stored.insert(file, bytes);
        putAll(stored);

        FrmMain &w = f->start();
        const QString category = pick.section('/', 0, 0);
        const QString name = pick.section('/', 1);
        if (file == "RelationsList" && name.isEmpty()) {
            // Every category listed can be chosen; one whose names file cannot be named shows no names.
            for (int i = 0; i < w.cboRelationship->count(); ++i)
                w.cboRelationship->setCurrentIndex(i);
        } else if (!pick.isEmpty()) {
            f->pickCategory(category);
            f->pickName(name);
        }
        if (shown != QStringList{"*"})
            QVERIFY(shownOf(file) == shown); // QCOMPARE would print 10 MB
        QVERIFY(f->files() == stored);  // loading writes nothing

        if (!name.isEmpty()) {
            QTest::keyClicks(w.txtBirthday, "!");
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
