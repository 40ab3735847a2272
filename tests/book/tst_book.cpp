// Categories and contact names: choosing, adding and removing them, the
// files each change writes, and what the window shows afterwards.

#include "support/testsupport.h"

namespace {

const QString noContact = QStringLiteral("No Contact Name Selected");
const QStringList categories{"Fam", "Family", "Friend", "Friends", "work"};
const QStringList names{"Ann", "Anna", "Bo", "Zoë"};
const QString forbidden = QStringLiteral("\\/:*?<>|\"");

// Every file of Family's contacts, and its names list.
QStringList familyFiles()
{
    QStringList files{"NamesListFamily"};
    for (const char *name : {"Ann", "Anna", "Zoë"})
        files += contactFiles("Family", name).keys();
    return files;
}

} // namespace

class TestBook : public FixtureTest
{
    Q_OBJECT

private slots:
    // The selection moves only when the user picks another name: a click on
    // the list's blank part, a Ctrl+click on the chosen name and Ctrl+Space
    // keep it, so what is typed next is still stored. Moving into the list
    // with the keyboard picks its first name.
    void selectingByHand_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<Qt::Key>("key"); // pressed after tabbing into the list; none: clicks and Ctrl+Space
        QTest::addColumn<QString>("chosen");
        QTest::newRow("blank part, Ctrl+click, Ctrl+Space") << "Friend" << Qt::Key_unknown << "Bob";
        QTest::newRow("Tab in, Down") << "Family" << Qt::Key_Down << "Ann";
        QTest::newRow("Tab in, Up, one name") << "Friend" << Qt::Key_Up << "Bob";
        QTest::newRow("Tab in, Home, one name") << "Friend" << Qt::Key_Home << "Bob";
    }
    void selectingByHand()
    {
        QFETCH(QString, category);
        QFETCH(Qt::Key, key);
        QFETCH(QString, chosen);
        QVERIFY(f->putStandardBook() && f->startOn(category));
        FrmMain &w = f->window();
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QListWidget *list = w.lstNames;
        const QPoint first = list->visualItemRect(list->item(0)).center();
        if (key == Qt::Key_unknown) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(4, list->viewport()->height() - 4));
            QCOMPARE(w.currentName(), chosen);
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, first);
            QCOMPARE(w.currentName(), chosen);
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        } else {
            w.cmdRemoveRelationship->setFocus();
            QTest::keyClick(w.cmdRemoveRelationship, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), list);
            QTest::keyClick(list, key);
        }
        QCOMPARE(w.currentName(), chosen);
        QCOMPARE(w.lblName->text(), chosen);
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file(category + chosen + "Birthday"), QByteArray("\"1 May, 1970!\"\r\n"));
    }

    // What is typed, what the user is told instead, the list afterwards.
    void addCategory_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        for (const QChar c : forbidden)
            QTest::addRow("refuses %c", c.toLatin1()) << QString("Mum%1s").arg(c) << Book::categoryNamesRule << categories;
        QTest::newRow("cancel") << "" << "" << categories;
        // Lower case lands among the others only when case is ignored.
        QTest::newRow("sorted, as typed") << "aunt's side " << "" << QStringList{"aunt's side "} + categories;
        QTest::newRow("listed already, ignoring case")
            << "FAMILY" << "Sorry, there is already a category called FAMILY. Please type a different name." << categories;
        QTest::newRow("longest") << QString(230, 'a') << "" << QStringList{QString(230, 'a')} + categories;
        QTest::newRow("too long") << QString(231, 'a') << "Sorry, that category name is too long. Please type a shorter one."
                                  << categories;
    }
    // What is added is chosen, and with it a category without contacts.
    void addCategory()
    {
        QFETCH(QString, entry);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        Files files = standardBook();
        QVERIFY(f->put(files) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        const QString before = f->state();
        f->platform.inputs.enqueue(entry);
        w.cmdAddRelationship->click();
        QCOMPARE(f->platform.shown, askedFor("Please type in a new relationship category", "Add relationship category", message));
        QCOMPARE(Controls::entries(w.cboRelationship), after);
        if (after != categories)
            files["RelationsList"] = listBytes(after);
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), after == categories ? before : entry + "/ | names on | details off | empty | " + noContact);
    }

    void addName_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        for (const QChar c : forbidden)
            QTest::addRow("refuses %c", c.toLatin1()) << "Family" << QString("Jo%1e").arg(c) << Book::contactNamesRule << names;
        QTest::newRow("cancel") << "Family" << "" << "" << names;
        QTest::newRow("sorted, as typed") << "Family" << "mary O'Neil" << "" << QStringList{"Ann", "Anna", "Bo", "mary O'Neil", "Zoë"};
        QTest::newRow("accents beside their letters") << "Family" << "Émile" << "" << QStringList{"Ann", "Anna", "Bo", "Émile", "Zoë"};
        QTest::newRow("listed already, ignoring case")
            << "Family" << "bo" << "Sorry, bo is already listed under Family. Please type a different name." << names;
        // Fam & ilyAnn names the same files as Family & Ann.
        QTest::newRow("another category's contact") << "Fam" << "ilyAnn"
            << "Sorry, ilyAnn cannot be added: information is already stored under that name. Please type a different name."
            << QStringList{};
        QTest::newRow("longest") << "Family" << QString(225, 'n') << "" << QStringList{"Ann", "Anna", "Bo", QString(225, 'n'), "Zoë"};
        QTest::newRow("too long") << "Family" << QString(226, 'n') << "Sorry, that name is too long. Please type a shorter one." << names;
    }
    // A new contact is chosen and gets every file, empty, written as the program writes them.
    void addName()
    {
        QFETCH(QString, category);
        QFETCH(QString, entry);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        Files files = standardBook();
        QVERIFY(f->put(files) && f->startOn(category));
        FrmMain &w = f->window();
        const QString before = f->state();
        f->platform.inputs.enqueue(entry);
        w.cmdAddName->click();
        QCOMPARE(f->platform.shown, askedFor("Please type in a name to add to the database", "Add Name", message));
        QCOMPARE(Controls::entries(w.lstNames), after);
        const bool added = after.contains(entry);
        if (added) {
            files["NamesListFamily"] = listBytes(after);
            for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                files["Family" + entry + suffix] = "\"\"\r\n";
            files["Family" + entry + "Numbers"] = "\"\",\"\",\"\",\"\",\"\"\r\n";
            files["Family" + entry + "DependantsList"] = "";
        }
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), added ? "Family/" + entry + " | names on | details on | empty | " + entry : before);
    }

    // Remove Category, or Remove Name with a name chosen: the list
    // afterwards and the files that go with the entry.
    void remove_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("gone");
        QTest::newRow("category: No") << "Family" << "" << false << categories << QStringList{};
        QTest::newRow("category with names")
            << "Family" << "" << true << QStringList{"Fam", "Friend", "Friends", "work"} << familyFiles();
        QTest::newRow("category, prefix of another") << "Friend" << "" << true << QStringList{"Fam", "Family", "Friends", "work"}
                                                     << (contactFiles("Friend", "Bob").keys() << "NamesListFriend");
        // It keeps its empty names file.
        QTest::newRow("category without names")
            << "work" << "" << true << QStringList{"Fam", "Family", "Friend", "Friends"} << QStringList{};
        QTest::newRow("name: No") << "Family" << "Ann" << false << names << QStringList{};
        QTest::newRow("name, prefix of another")
            << "Family" << "Ann" << true << QStringList{"Anna", "Bo", "Zoë"} << contactFiles("Family", "Ann").keys();
        QTest::newRow("name, longer of two")
            << "Family" << "Anna" << true << QStringList{"Ann", "Bo", "Zoë"} << contactFiles("Family", "Anna").keys();
    }
    // Nothing is chosen afterwards, and a category's names go with it.
    void remove()
    {
        QFETCH(QString, category);
        QFETCH(QString, name);
        QFETCH(bool, yes);
        QFETCH(QStringList, after);
        QFETCH(QStringList, gone);
        Files files = standardBook();
        QVERIFY(f->put(files) && f->startOn(category, name));
        FrmMain &w = f->window();
        const QString before = f->state();
        f->platform.answers.enqueue(yes);
        (name.isEmpty() ? w.cmdRemoveRelationship : w.cmdRemoveName)->click();
        const QString question = name.isEmpty()
                                     ? "This will delete all the names and information under the category, " + category
                                     : "This will delete all information you have on " + name;
        QCOMPARE(f->platform.shown, (QList<Shown>{{Shown::Question, question + ". Are you sure?", "Delete Category"}}));
        QCOMPARE(name.isEmpty() ? Controls::entries(w.cboRelationship) : Controls::entries(w.lstNames), after);
        for (const QString &file : gone)
            files.remove(file);
        if (yes)
            files[name.isEmpty() ? "RelationsList" : "NamesListFamily"] = listBytes(after);
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), !yes            ? before
                             : name.isEmpty() ? "/ | names off | details off | empty | " + noContact
                                              : category + "/ | names on | details off | empty | " + noContact);
        QVERIFY(!yes || !name.isEmpty() || w.lstNames->count() == 0);
    }

    // With nothing chosen, Remove says what to choose first.
    void removeWithNothingChosen()
    {
        QVERIFY(f->putStandardBook());
        FrmMain &w = f->start();
        w.cmdRemoveRelationship->click();
        QVERIFY(f->pickCategory("Family"));
        w.cmdRemoveName->click();
        QCOMPARE(f->platform.messages(), (QStringList{"Please select a category to remove.", "Please select a name to remove."}));
        QCOMPARE(f->files(), standardBook());
    }

    // A list that exists but cannot be read is never rewritten from the part
    // shown: its Add and Remove are locked, and the user is told once why.
    void listsThatCannotBeRead_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("what");
        QTest::newRow("categories") << "RelationsList" << "list of categories";
        QTest::newRow("names") << "NamesListFamily" << "list of names of Family";
    }
    void listsThatCannotBeRead()
    {
        QFETCH(QString, list);
        QFETCH(QString, what);
        Files files = standardBook();
        files.remove(list);
        QVERIFY(f->put(files) && QDir().mkpath(f->dataDir() + list)); // no regular file: reading it fails
        FrmMain &w = f->start();
        QVERIFY(list == "RelationsList" || f->pickCategory("Family"));
        QCOMPARE(f->platform.messages(), QStringList{"Sorry, the " + what + " in " + f->dataDir()
                                                     + " cannot be read, so nothing can be added to it or removed "
                                                       "from it until it can."});
        const auto buttons = list == "RelationsList" ? QList<QPushButton *>{w.cmdAddRelationship, w.cmdRemoveRelationship}
                                                     : QList<QPushButton *>{w.cmdAddName, w.cmdRemoveName};
        for (QPushButton *button : buttons) {
            QVERIFY(!button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(f->platform.shown.size(), 1);
        QCOMPARE(f->files(), files);
    }

    // Adding a contact stores its files first and lists it last: files left
    // by an add that was cut short come back when the name is added again.
    // (An add that cannot be stored is in tst_faults.)
    void addingIsAllOrNothing()
    {
        Files files = standardBook();
        const Files earlier = contactFiles("Friend", "Eve");
        QVERIFY(f->put(files) && f->put(earlier) && f->startOn("Friend"));
        FrmMain &w = f->window();
        f->platform.inputs.enqueue("Eve");
        w.cmdAddName->click();
        QCOMPARE(f->platform.messages(), QStringList{"Information stored earlier under Eve was found and has been brought back."});
        QCOMPARE(f->state(), "Friend/Eve | names on | details on | filled | Eve");
        files.insert(earlier);
        files["NamesListFriend"] = listBytes({"Bob", "Eve"});
        QCOMPARE(f->files(), files);
        // Every file of a contact is one the fields' table or the picture names.
        const QStringList tabled = ContactFields::files() << FileName::Pic;
        QCOMPARE(QSet<QString>(tabled.begin(), tabled.end()),
                 QSet<QString>(FileName::contactSuffixes.begin(), FileName::contactSuffixes.end()));
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
