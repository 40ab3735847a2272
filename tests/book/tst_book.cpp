#include "support/testsupport.h"

#include "store/paths.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using Files = QMap<QString, QByteArray>;
using Shown = ScriptedPlatform::Shown;

namespace {

const QByteArray emptyValue("\"\"\r\n");
const QByteArray emptyNumbers("\"\",\"\",\"\",\"\",\"\"\r\n");

// The files of a contact just added: every field empty, no picture.
Files newContactFiles(const QString &prefix)
{
    return {{prefix + "Birthday", emptyValue},       {prefix + "DependantsList", ""},
            {prefix + "Address", emptyValue},        {prefix + "DrivingDirections", emptyValue},
            {prefix + "Numbers", emptyNumbers},      {prefix + "NumbNotes", emptyValue},
            {prefix + "Relation", emptyValue}};
}

// A contact with something in every file, its picture included.
Files fullContactFiles(const QString &prefix, const QString &tag)
{
    const QByteArray t = tag.toUtf8();
    return {{prefix + "Birthday", "\"" + t + " birthday\"\r\n"},
            {prefix + "DependantsList", "\"" + t + " child\"\r\n"},
            {prefix + "Address", "\"" + t + " street\r\ntown\"\r\n"},
            {prefix + "DrivingDirections", "\"" + t + " left, then right\"\r\n"},
            {prefix + "Numbers", "\"1\",\"2\",\"3\",\"4\",\"" + t + "@mail\"\r\n"},
            {prefix + "NumbNotes", "\"" + t + " notes\"\r\n"},
            {prefix + "Relation", "\"" + t + " relation\"\r\n"},
            {prefix + "Pic", "/pictures/" + t + ".jpg\r\n"}};
}

const QString forbiddenCharacters = QStringLiteral("\\/:*?<>|\"");

} // namespace

class TestBook : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

    void putAll(const Files &files)
    {
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            f->put(it.key(), it.value());
    }

    // Every detail box's text, in the order the window lists them.
    QStringList detailTexts()
    {
        FrmMain &w = f->window();
        return {w.txtBirthday->text(),           w.txtAddress->toPlainText(), w.txtDrivingDirections->toPlainText(),
                w.txtHome->text(),               w.txtCell->text(),           w.txtWork->text(),
                w.txtFax->text(),                w.txtEmail->text(),          w.txtNumNotes->toPlainText(),
                w.txtRelation->text()};
    }

    bool detailsEnabled(bool expected)
    {
        for (QWidget *control : f->window().book.detailControls()) {
            if (control->isEnabled() != expected) {
                qWarning() << control->objectName() << "enabled:" << control->isEnabled();
                return false;
            }
        }
        return true;
    }

    bool namesControlsEnabled()
    {
        FrmMain &w = f->window();
        return w.lstNames->isEnabled() && w.cmdAddName->isEnabled() && w.cmdRemoveName->isEnabled();
    }

    // Family holds Ann, Anna and Zoë; Friend holds Bob; Friends holds Carl.
    Files standardBook()
    {
        Files files{{"RelationsList", listBytes({"Friends", "Family", "Friend"})},
                    {"NamesListFamily", listBytes({"Anna", "Zoë", "Ann"})},
                    {"NamesListFriend", listBytes({"Bob"})},
                    {"NamesListFriends", listBytes({"Carl"})}};
        files.insert(fullContactFiles("FamilyAnn", "ann"));
        files.insert(fullContactFiles("FamilyAnna", "anna"));
        files.insert(fullContactFiles("FamilyZoë", "zoe"));
        files.insert(fullContactFiles("FriendBob", "bob"));
        files.insert(fullContactFiles("FriendsCarl", "carl"));
        putAll(files);
        return files;
    }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void addCategory_data()
    {
        QTest::addColumn<QStringList>("stored");   // RelationsList before, in file order
        QTest::addColumn<QString>("typed");        // empty: Cancel
        QTest::addColumn<QString>("message");      // shown instead of adding, if any
        QTest::addColumn<QStringList>("listed");   // cboRelationship afterwards

        const QStringList stored{"work", "Family"};
        QTest::newRow("cancel") << stored << "" << "" << QStringList{"Family", "work"};
        for (const QChar c : forbiddenCharacters) {
            QTest::addRow("refuses %s", qPrintable(QString(c)))
                << stored << QStringLiteral("Mum%1s").arg(c) << Book::categoryNamesRule << QStringList{"Family", "work"};
        }
        QTest::newRow("apostrophe and spaces") << stored << " Mum's side " << ""
                                               << QStringList{" Mum's side ", "Family", "work"};
        QTest::newRow("sorted ignoring case") << stored << "cousins" << "" << QStringList{"cousins", "Family", "work"};
        QTest::newRow("first category") << QStringList{} << "Family" << "" << QStringList{"Family"};
        QTest::newRow("duplicate added again") << stored << "Family" << "" << QStringList{"Family", "Family", "work"};
        QTest::newRow("longest that fits") << stored << QString(230, 'a') << ""
                                           << QStringList{QString(230, 'a'), "Family", "work"};
        QTest::newRow("too long for a file name") << stored << QString(231, 'a')
                                                  << "Sorry, that category name is too long. Please type a shorter one."
                                                  << QStringList{"Family", "work"};
        QTest::newRow("300 characters") << stored << QString(300, 'x')
                                        << "Sorry, that category name is too long. Please type a shorter one."
                                        << QStringList{"Family", "work"};
    }

    void addCategory()
    {
        QFETCH(QStringList, stored);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, listed);

        if (!stored.isEmpty())
            f->put("RelationsList", listBytes(stored));
        FrmMain &w = f->start();
        const Files before = f->files();
        f->platform.inputs.enqueue(typed);
        w.cmdAddRelationship->click();

        QCOMPARE(f->platform.shown.first(),
                 (Shown{Shown::Input, "Please type in a new relationship category", "Add relationship category"}));
        QCOMPARE(Controls::entries(w.cboRelationship), listed);
        const bool added = !typed.isEmpty() && message.isEmpty();
        if (!added) {
            QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
            QCOMPARE(f->files(), before);
            QCOMPARE(w.currentCategory(), QString());
            QVERIFY(!w.lstNames->isEnabled());
            return;
        }
        QCOMPARE(f->platform.messages(), QStringList{});
        QCOMPARE(f->file("RelationsList"), listBytes(listed));
        QCOMPARE(w.currentCategory(), typed);
        QCOMPARE(w.cboRelationship->currentIndex(), w.cboRelationship->findText(typed)); // the first of equals
        QVERIFY(namesControlsEnabled());
        QVERIFY(detailsEnabled(false));
        QCOMPARE(w.lblName->text(), Book::noContactName);
    }

    // Whatever order the file holds, the list is sorted, and the next write keeps that order.
    void categoriesSortedFromAnyFileOrder()
    {
        f->put("RelationsList", listBytes({"zeta", "Alpha", "beta", "Gamma"}));
        FrmMain &w = f->start();
        QCOMPARE(Controls::entries(w.cboRelationship), (QStringList{"Alpha", "beta", "Gamma", "zeta"}));
        QCOMPARE(w.currentCategory(), QString());
        QCOMPARE(f->file("RelationsList"), listBytes({"zeta", "Alpha", "beta", "Gamma"}));

        f->platform.inputs.enqueue("delta");
        w.cmdAddRelationship->click();
        QCOMPARE(f->file("RelationsList"), listBytes({"Alpha", "beta", "delta", "Gamma", "zeta"}));
    }

    void selectCategory()
    {
        const Files stored = standardBook();
        FrmMain &w = f->start();
        f->pickCategory("Family");
        QCOMPARE(Controls::entries(w.lstNames), (QStringList{"Ann", "Anna", "Zoë"}));
        QCOMPARE(w.currentName(), QString());
        QVERIFY(namesControlsEnabled());
        QVERIFY(detailsEnabled(false));

        // Leaving a shown contact empties the boxes but writes nothing.
        f->pickName("Anna");
        QCOMPARE(w.txtBirthday->text(), "anna birthday");
        f->pickCategory("Friends");
        QCOMPARE(Controls::entries(w.lstNames), QStringList{"Carl"});
        QCOMPARE(detailTexts(), QStringList(10));
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(w.lblName->text(), Book::noContactName);
        QVERIFY(detailsEnabled(false));
        QCOMPARE(f->files(), stored);

        // Equal categories stand for the same names.
        f->platform.inputs.enqueue("Friends");
        w.cmdAddRelationship->click();
        w.cboRelationship->setCurrentIndex(w.cboRelationship->findText("Friends") + 1);
        QCOMPARE(Controls::entries(w.lstNames), QStringList{"Carl"});
    }

    void removeCategory_data()
    {
        QTest::addColumn<QString>("category"); // empty: none selected
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("gone");  // files deleted

        QStringList familyFiles{"NamesListFamily"};
        for (const QString &name : QStringList{"Ann", "Anna", "Zoë"})
            familyFiles += fullContactFiles("Family" + name, "").keys();

        QTest::newRow("nothing selected") << "" << true << QStringList{};
        QTest::newRow("answer no") << "Family" << false << QStringList{};
        QTest::newRow("with names") << "Family" << true << familyFiles;
        QTest::newRow("prefix of another category")
            << "Friend" << true << (fullContactFiles("FriendBob", "").keys() << "NamesListFriend");
    }

    void removeCategory()
    {
        QFETCH(QString, category);
        QFETCH(bool, yes);
        QFETCH(QStringList, gone);

        Files files = standardBook();
        FrmMain &w = f->start();
        if (!category.isEmpty()) {
            f->pickCategory(category);
            f->pickName(w.lstNames->item(0)->text());
        }
        f->platform.answers.enqueue(yes);
        w.cmdRemoveRelationship->click();

        if (category.isEmpty()) {
            QCOMPARE(f->platform.shown, (QList<Shown>{{Shown::Message, "Please select a category to remove.", "Kinfolio"}}));
            f->platform.answers.clear();
            QCOMPARE(f->files(), files);
            return;
        }
        QCOMPARE(f->platform.shown,
                 (QList<Shown>{{Shown::Question,
                                "This will delete all the names and information under the category, " + category
                                    + ". Are you sure?",
                                "Delete Category"}}));
        if (!yes) {
            QCOMPARE(f->files(), files);
            QCOMPARE(w.currentCategory(), category);
            QVERIFY(detailsEnabled(true));
            return;
        }
        for (const QString &name : gone)
            files.remove(name);
        QStringList categories{"Family", "Friend", "Friends"};
        categories.removeOne(category);
        files["RelationsList"] = listBytes(categories);
        QCOMPARE(f->files(), files);
        QCOMPARE(Controls::entries(w.cboRelationship), categories);
        QCOMPARE(w.currentCategory(), QString());
        QCOMPARE(w.lstNames->count(), 0);
        QVERIFY(namesControlsEnabled());
        QVERIFY(detailsEnabled(false));
        QCOMPARE(detailTexts(), QStringList(10));
        QCOMPARE(w.lblName->text(), Book::noContactName);
    }

    void removeCategoryWithoutNamesDeletesNothing()
    {
        f->put("RelationsList", listBytes({"Empty", "Work"}));
        f->put("NamesListEmpty", "");
        FrmMain &w = f->start();
        f->pickCategory("Empty");
        f->platform.answers.enqueue(true);
        w.cmdRemoveRelationship->click();
        QCOMPARE(f->files(), (Files{{"RelationsList", listBytes({"Work"})}, {"NamesListEmpty", ""}}));
    }

    void addName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("listed");

        const QStringList family{"Ann", "Anna", "Zoë"};
        const QString taken = QStringLiteral(" cannot be added: information is already stored under that name. "
                                             "Please type a different name.");
        QTest::newRow("cancel") << "" << "" << family;
        for (const QChar c : forbiddenCharacters) {
            QTest::addRow("refuses %s", qPrintable(QString(c)))
                << QStringLiteral("Jo%1e").arg(c) << Book::contactNamesRule << family;
        }
        QTest::newRow("apostrophe and space") << "Mary O'Neil" << "" << QStringList{"Ann", "Anna", "Mary O'Neil", "Zoë"};
        QTest::newRow("sorted ignoring case") << "anne" << "" << QStringList{"Ann", "Anna", "anne", "Zoë"};
        QTest::newRow("prefix of a listed name") << "An" << "" << QStringList{"An", "Ann", "Anna", "Zoë"};
        QTest::newRow("duplicate refused") << "Ann" << "Sorry, Ann" + taken << family;
        // "Fam" & "ilyAnn" names the same files as "Family" & "Ann".
        QTest::newRow("another category's contact") << "ilyAnn@Fam" << "Sorry, ilyAnn" + taken << QStringList{"ilyAnn"};
        QTest::newRow("longest that fits") << QString(225, 'n') << "" << QStringList{"Ann", "Anna", QString(225, 'n'), "Zoë"};
        QTest::newRow("too long for a file name") << QString(226, 'n')
                                                  << "Sorry, that name is too long. Please type a shorter one." << family;
    }

    void addName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, listed);

        QString category = QStringLiteral("Family");
        if (typed.contains('@')) { // name@category: add in another category
            category = typed.section('@', 1);
            typed = typed.section('@', 0, 0);
            listed.removeOne(typed);
        }
        Files files = standardBook();
        f->put("RelationsList", listBytes({"Fam", "Family", "Friend", "Friends"}));
        files["RelationsList"] = listBytes({"Fam", "Family", "Friend", "Friends"});
        FrmMain &w = f->start();
        f->pickCategory(category);
        if (category == "Family")
            f->pickName("Zoë"); // a contact is shown while the name is added
        f->platform.inputs.enqueue(typed);
        w.cmdAddName->click();

        QCOMPARE(f->platform.shown.first(),
                 (Shown{Shown::Input, "Please type in a name to add to the database", "Add Name"}));
        const bool added = !typed.isEmpty() && message.isEmpty();
        if (!added) {
            QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
            QCOMPARE(Controls::entries(w.lstNames), listed);
            QCOMPARE(f->files(), files);
            if (category == "Family")
                QCOMPARE(w.txtBirthday->text(), "zoe birthday");
            return;
        }
        QCOMPARE(f->platform.messages(), QStringList{});
        QCOMPARE(Controls::entries(w.lstNames), listed);
        files["NamesList" + category] = listBytes(listed);
        files.insert(newContactFiles(category + typed));
        QCOMPARE(f->files(), files);
        QCOMPARE(w.currentName(), typed);
        QCOMPARE(w.lblName->text(), typed);
        QVERIFY(detailsEnabled(true));
        QCOMPARE(detailTexts(), QStringList(10));
        QCOMPARE(w.lstChildren->count(), 0);
    }

    void namesSortedFromAnyFileOrder()
    {
        standardBook();
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName("Ann");
        f->platform.inputs.enqueue("bea");
        w.cmdAddName->click();
        QCOMPARE(f->file("NamesListFamily"), listBytes({"Ann", "Anna", "bea", "Zoë"}));
    }

    void removeName_data()
    {
        QTest::addColumn<QString>("name"); // empty: none selected
        QTest::addColumn<bool>("yes");

        QTest::newRow("nothing selected") << "" << true;
        QTest::newRow("answer no") << "Ann" << false;
        QTest::newRow("prefix of another name") << "Ann" << true;
        QTest::newRow("longer of two names") << "Anna" << true;
    }

    void removeName()
    {
        QFETCH(QString, name);
        QFETCH(bool, yes);

        Files files = standardBook();
        FrmMain &w = f->start();
        f->pickCategory("Family");
        if (!name.isEmpty())
            f->pickName(name);
        f->platform.answers.enqueue(yes);
        w.cmdRemoveName->click();

        if (name.isEmpty()) {
            QCOMPARE(f->platform.shown, (QList<Shown>{{Shown::Message, "Please select a name to remove.", "Kinfolio"}}));
            f->platform.answers.clear();
            QCOMPARE(f->files(), files);
            return;
        }
        QCOMPARE(f->platform.shown,
                 (QList<Shown>{{Shown::Question, "This will delete all information you have on " + name + ". Are you sure?",
                                "Delete Category"}}));
        if (!yes) {
            QCOMPARE(f->files(), files);
            QCOMPARE(w.currentName(), name);
            return;
        }
        for (const QString &file : fullContactFiles("Family" + name, "").keys())
            files.remove(file);
        QStringList names{"Ann", "Anna", "Zoë"};
        names.removeOne(name);
        files["NamesListFamily"] = listBytes(names);
        QCOMPARE(f->files(), files);
        QCOMPARE(Controls::entries(w.lstNames), names);
        QCOMPARE(w.currentName(), QString());
        QCOMPARE(w.lblName->text(), Book::noContactName);
        QCOMPARE(detailTexts(), QStringList(10));
        QCOMPARE(w.lstChildren->count(), 0);
        QVERIFY(detailsEnabled(true)); // emptied, still enabled
        QCOMPARE(w.PicPath, QString());
    }

    void selectNameLoadsItsFields()
    {
        standardBook();
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName("Anna");
        QCOMPARE(w.lblName->text(), "Anna");
        QVERIFY(detailsEnabled(true));
        QCOMPARE(detailTexts(), (QStringList{"anna birthday", "anna street\ntown", "anna left, then right", "1", "2",
                                             "3", "4", "anna@mail", "anna notes", "anna relation"}));
        QCOMPARE(Controls::entries(w.lstChildren), QStringList{"anna child"});
        QCOMPARE(w.PicPath, "/pictures/anna.jpg");
    }

    // An add whose list file cannot be written keeps nothing and says so.
    void addThatCannotBeStored_data()
    {
        QTest::addColumn<bool>("category");
        QTest::newRow("category") << true;
        QTest::newRow("name") << false;
    }

    void addThatCannotBeStored()
    {
        QFETCH(bool, category);
        standardBook();
        FrmMain &w = f->start();
        f->pickCategory("Friend");
        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.inputs.enqueue("New");
        (category ? w.cmdAddRelationship : w.cmdAddName)->click();
        const QString what = category ? "category" : "name";
        QCOMPARE(f->platform.messages(),
                 QStringList{"Sorry, the new " + what + " could not be saved in " + f->dataDir() + ". Nothing was added."});
        QCOMPARE(Controls::entries(w.cboRelationship), (QStringList{"Family", "Friend", "Friends"}));
        QCOMPARE(Controls::entries(w.lstNames), QStringList{"Bob"});
        QCOMPARE(w.currentCategory(), "Friend");
    }

    // Names read from hand-edited files never reach outside the data directory.
    void namesThatWouldLeaveTheDataDirectory()
    {
        const QString victim = f->home.path() + "/Kinfolio/victimBirthday";
        f->put("RelationsList", listBytes({"Family", "../.."}));
        f->put("NamesListFamily", listBytes({"/../../victim"}));
        QVERIFY(QDir().mkpath(f->dataDir() + "Family")); // lets the OS resolve Family/../..
        {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("\"precious\"\r\n");
        }
        const Files stored = f->files();
        FrmMain &w = f->start();

        f->pickCategory("Family");
        f->pickName("/../../victim");
        QCOMPARE(w.txtBirthday->text(), QString()); // nothing read through the path
        QTest::keyClicks(w.txtBirthday, "x");
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QCOMPARE(f->file("NamesListFamily"), QByteArray());

        f->pickCategory("../..");
        f->platform.inputs.enqueue("Eve");
        w.cmdAddName->click();
        QCOMPARE(w.lstNames->count(), 0);

        QFile file(victim);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("\"precious\"\r\n"));
        QCOMPARE(QDir(f->home.path() + "/Kinfolio").entryList(QDir::Files), QStringList{"victimBirthday"});
        QCOMPARE(QDir(f->home.path()).entryList(QDir::Files), QStringList{});
        Q_UNUSED(stored);
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
