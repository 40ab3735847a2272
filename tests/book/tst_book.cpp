// Categories, contact names and dependants: choosing, adding and removing
// them, the files each change writes, and what the window shows afterwards.

#include "support/testsupport.h"

namespace {

const QString forbidden = QStringLiteral("\\/:*?<>|\"");
const QString noContact = QStringLiteral("No Contact Name Selected");

// The file that keeps the categories, Family's names or Ann's dependants.
QString listFile(const QString &kind)
{
    return kind == "category" ? "RelationsList" : kind == "name" ? "NamesListFamily" : "FamilyAnnDependantsList";
}

} // namespace

class TestBook : public FixtureTest
{
    Q_OBJECT

private:
    // The categories, Family's names or Ann's dependants, as listed.
    QStringList listed(const QString &kind)
    {
        FrmMain &w = f->window();
        return kind == "category" ? Controls::entries(w.cboRelationship)
                                  : Controls::entries(kind == "name" ? w.lstNames : w.lstChildren);
    }

private slots:
    // Choosing a name shows that contact (not the one it is a prefix of), and
    // choosing another category empties the boxes, writing nothing. Equal
    // categories stand for the same names.
    void selecting()
    {
        const Files stored = f->putStandardBook();
        FrmMain &w = f->startOn("Family", "Anna");
        QCOMPARE(f->state(), "Family/Anna | names on | details on | filled | Anna");
        QCOMPARE(w.txtRelation->text(), "Anna's sister");
        f->pickCategory("Friends");
        QCOMPARE(f->state(), "Friends/ | names on | details off | empty | " + noContact);
        QCOMPARE(f->files(), stored);
        f->platform.inputs.enqueue("Friends");
        w.cmdAddRelationship->click();
        w.cboRelationship->setCurrentIndex(w.cboRelationship->findText("Friends") + 1);
        QCOMPARE(Controls::entries(w.lstNames), QStringList{"Carl"});
    }

    // Each add starts on Family with Ann shown. A kind may carry how it starts:
    // "first" with no files at all, "in Fam" on the category Fam, "unwritable"
    // with the data directory gone after start-up.
    void add_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("typed");   // empty: Cancel
        QTest::addColumn<QString>("message"); // shown instead of adding, if any; <dir> is the data directory
        QTest::addColumn<QStringList>("listed");

        const QStringList categories{"Fam", "Family", "Friend", "Friends", "work"};
        const QStringList names{"Ann", "Anna", "Bo", "Zoë"};
        const QStringList dependants{"Anna", "tim", "Zoe"};
        const QString taken = " cannot be added: information is already stored under that name. "
                              "Please type a different name.";
        const QString unsaved = " could not be saved in <dir>. Nothing was added.";
        const auto row = [](const QString &tag, const char *kind, const QString &typed, const QString &message,
                            const QStringList &listed) {
            QTest::newRow(qPrintable(tag)) << kind << typed << message << listed;
        };
        for (const QChar c : forbidden) {
            row("category refuses " + QString(c), "category", QStringLiteral("Mum%1s").arg(c), Book::categoryNamesRule,
                categories);
            row("name refuses " + QString(c), "name", QStringLiteral("Jo%1e").arg(c), Book::contactNamesRule, names);
        }
        row("category: cancel", "category", "", "", categories);
        row("category: apostrophe, spaces", "category", " Mum's side ", "", QStringList{" Mum's side "} + categories);
        row("category: sorted ignoring case", "category", "cousins", "", QStringList{"cousins"} + categories);
        row("category: the first", "category first", "Family", "", {"Family"});
        row("category: duplicate added, first of equals chosen", "category", "Family", "",
            {"Fam", "Family", "Family", "Friend", "Friends", "work"});
        row("category: longest", "category", QString(230, 'a'), "", QStringList{QString(230, 'a')} + categories);
        row("category: one too long", "category", QString(231, 'a'),
            "Sorry, that category name is too long. Please type a shorter one.", categories);
        row("category: not stored", "category unwritable", "New", "Sorry, the new category" + unsaved, categories);
        row("name: cancel", "name", "", "", names);
        row("name: apostrophe and space", "name", "Mary O'Neil", "", {"Ann", "Anna", "Bo", "Mary O'Neil", "Zoë"});
        row("name: sorted ignoring case", "name", "anne", "", {"Ann", "Anna", "anne", "Bo", "Zoë"});
        row("name: duplicate refused", "name", "Ann", "Sorry, Ann" + taken, names);
        // Fam & ilyAnn names the same files as Family & Ann.
        row("name: another category's contact", "name in Fam", "ilyAnn", "Sorry, ilyAnn" + taken, {});
        row("name: longest", "name", QString(225, 'n'), "", {"Ann", "Anna", "Bo", QString(225, 'n'), "Zoë"});
        row("name: one too long", "name", QString(226, 'n'), "Sorry, that name is too long. Please type a shorter one.",
            names);
        row("name: cannot be stored", "name unwritable", "New", "Sorry, the new name" + unsaved, names);
        row("dependant: cancel", "dependant", "", "", dependants);
        row("dependant: sorted ignoring case", "dependant", "bob", "", {"Anna", "bob", "tim", "Zoe"});
        row("dependant: comma kept", "dependant", "Lee, Tom", "", {"Anna", "Lee, Tom", "tim", "Zoe"});
        row("dependant: duplicate, first chosen", "dependant", "Anna", "", {"Anna", "Anna", "tim", "Zoe"});
        row("dependant: double quote refused", "dependant", "Tom \"Tiny\"",
            "Sorry, a dependant's name cannot include a double quote ( \" ).", dependants);
        row("dependant: cannot be stored", "dependant unwritable", "Tom", "Sorry, the new dependant" + unsaved,
            dependants);
    }

    void add()
    {
        QFETCH(QString, kind);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, listed);
        const QString what = kind.section(' ', 0, 0);
        const QString how = kind.section(' ', 1);

        Files files = how == "first" ? Files{} : f->putStandardBook();
        const QString category = how == "first" ? "" : how == "in Fam" ? "Fam" : "Family";
        FrmMain &w = category.isEmpty() ? f->start() : f->startOn(category, category == "Family" ? "Ann" : "");
        if (how == "unwritable") {
            QVERIFY(QDir(f->dataDir()).removeRecursively());
            files.clear();
        }
        const QString before = f->state();
        f->platform.inputs.enqueue(typed);
        (what == "category" ? w.cmdAddRelationship : what == "name" ? w.cmdAddName : w.cmdAddChildren)->click();

        QCOMPARE(f->platform.shown.first(),
                 (what == "category"
                      ? Shown{Shown::Input, "Please type in a new relationship category", "Add relationship category"}
                      : Shown{Shown::Input, "Please type in a name to add to the database", "Add Name"}));
        message.replace("<dir>", f->dataDir());
        QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(this->listed(what), listed);
        const bool added = !typed.isEmpty() && message.isEmpty();
        if (added) {
            // The list file is rewritten in the order shown; a new contact gets every file, empty.
            files[listFile(what)] = listBytes(listed);
            if (what == "name") {
                for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                    files["Family" + typed + suffix] = "\"\"\r\n";
                files["Family" + typed + "Numbers"] = "\"\",\"\",\"\",\"\",\"\"\r\n";
                files["Family" + typed + "DependantsList"] = "";
            }
            QCOMPARE(what == "category" ? w.cboRelationship->currentIndex()
                                        : (what == "name" ? w.lstNames : w.lstChildren)->currentRow(),
                     listed.indexOf(typed));
        }
        QCOMPARE(f->files(), files);
        const QString shown = what == "category" ? typed + "/ | names on | details off | empty | " + noContact
                                                 : "Family/" + typed + " | names on | details on | empty | " + typed;
        QCOMPARE(f->state(), added && what != "dependant" ? shown : before);
    }

    void remove_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("selected"); // empty: none
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("gone"); // files deleted besides the list file's rewrite

        QStringList family{"NamesListFamily"};
        for (const char *name : {"Ann", "Anna", "Zoë"})
            family += contactFiles("Family", name).keys();
        QTest::newRow("category: nothing selected") << "category" << "" << true << QStringList{};
        QTest::newRow("category: No") << "category" << "Family" << false << QStringList{};
        QTest::newRow("category with names") << "category" << "Family" << true << family;
        QTest::newRow("category, prefix of another") << "category" << "Friend" << true
                                                     << (contactFiles("Friend", "Bob").keys() << "NamesListFriend");
        QTest::newRow("category without names keeps its empty file") << "category" << "work" << true << QStringList{};
        QTest::newRow("name: nothing selected") << "name" << "" << true << QStringList{};
        QTest::newRow("name: No") << "name" << "Ann" << false << QStringList{};
        QTest::newRow("name, prefix of another") << "name" << "Ann" << true << contactFiles("Family", "Ann").keys();
        QTest::newRow("name, longer of two") << "name" << "Anna" << true << contactFiles("Family", "Anna").keys();
        QTest::newRow("dependant: nothing selected") << "dependant" << "" << true << QStringList{};
        QTest::newRow("dependant: No") << "dependant" << "tim" << false << QStringList{};
        QTest::newRow("dependant: Yes") << "dependant" << "tim" << true << QStringList{};
    }

    void remove()
    {
        QFETCH(QString, kind);
        QFETCH(QString, selected);
        QFETCH(bool, yes);
        QFETCH(QStringList, gone);

        Files files = f->putStandardBook();
        FrmMain &w = f->start();
        const QString category = kind == "category" ? selected : "Family";
        if (!category.isEmpty())
            f->pickCategory(category);
        const QString name = kind == "name" ? selected : kind == "dependant" ? "Ann"
                             : w.lstNames->count() ? w.lstNames->item(0)->text() : "";
        if (!name.isEmpty())
            f->pickName(name);
        if (kind == "dependant" && !selected.isEmpty())
            w.lstChildren->setCurrentItem(w.lstChildren->findItems(selected, Qt::MatchExactly).first());
        const QString before = f->state();
        QStringList entries = listed(kind);
        if (!selected.isEmpty())
            f->platform.answers.enqueue(yes);
        (kind == "category" ? w.cmdRemoveRelationship
                            : kind == "name" ? w.cmdRemoveName : w.cmdRemoveChildren)->click();

        const QHash<QString, QString> questions{
            {"category", "This will delete all the names and information under the category, %1. Are you sure?"},
            {"name", "This will delete all information you have on %1. Are you sure?"},
            {"dependant", "You have chosen to delete %1 from Ann's dependants list. Are you sure?"}};
        QCOMPARE(f->platform.shown,
                 (selected.isEmpty()
                      ? QList<Shown>{{Shown::Message, "Please select a " + kind + " to remove.", "Kinfolio"}}
                      : QList<Shown>{{Shown::Question, questions[kind].arg(selected), "Delete Category"}}));
        if (yes && !selected.isEmpty()) {
            entries.removeOne(selected);
            for (const QString &file : gone)
                files.remove(file);
            files[listFile(kind)] = listBytes(entries);
        }
        QCOMPARE(listed(kind), entries);
        QCOMPARE(f->files(), files);
        // A removed contact's boxes are emptied but stay enabled.
        QCOMPARE(f->state(), !yes || selected.isEmpty() || kind == "dependant"
                                 ? before
                                 : kind == "category" ? "/ | names on | details off | empty | " + noContact
                                                      : "Family/ | names on | details on | empty | " + noContact);
        if (kind == "category" && yes && !selected.isEmpty())
            QCOMPARE(w.lstNames->count(), 0);
    }

    // Names read from hand-edited files never reach outside the data directory.
    void namesThatWouldLeaveTheDataDirectory()
    {
        f->put("RelationsList", listBytes({"Family", "../.."}));
        f->put("NamesListFamily", listBytes({"/../../victim"}));
        f->put("../victimBirthday", "\"precious\"\r\n");
        QVERIFY(QDir().mkpath(f->dataDir() + "Family")); // lets the OS resolve Family/../..

        FrmMain &w = f->startOn("Family", "/../../victim");
        QCOMPARE(w.txtBirthday->text(), QString()); // nothing read through the path
        QTest::keyClicks(w.txtBirthday, "x");
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QCOMPARE(f->file("NamesListFamily"), QByteArray());
        f->pickCategory("../..");
        f->platform.inputs.enqueue("Eve");
        w.cmdAddName->click();
        QCOMPARE(w.lstNames->count(), 0);

        QFile victim(f->home.path() + "/Kinfolio/victimBirthday");
        QVERIFY(victim.open(QIODevice::ReadOnly));
        QCOMPARE(victim.readAll(), QByteArray("\"precious\"\r\n"));
        QCOMPARE(QDir(f->home.path() + "/Kinfolio").entryList(QDir::Files), QStringList{"victimBirthday"});
        QCOMPARE(QDir(f->home.path()).entryList(QDir::Files), QStringList{});
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
