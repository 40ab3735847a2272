// Categories and contact names: choosing, adding and removing them, the
// files each change writes, and what the window shows afterwards.

#include "support/testsupport.h"

namespace {
const QString noContact = QStringLiteral("No Contact Name Selected");
const QStringList categories{"Fam", "Family", "Friend", "Friends", "work"};
const QStringList names{"Ann", "Anna", "Bo", "Zoë"};
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
        QCOMPARE(f->state(), category + '/' + chosen + " | names on | details on | filled | " + chosen);
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file(category + chosen + "Birthday"), QByteArray("\"1 May, 1970!\"\r\n"));
    }

    // What is typed, what the user is told instead, the list afterwards. What
    // is added is chosen and written as the program writes: a category
    // without contacts, a contact with every file empty.
    void add_data()
    {
        QTest::addColumn<QString>("category"); // where a name is added; none: a category is
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        for (const QChar c : QString("\\/:*?<>|\""))
            QTest::addRow("name refused: %c", c.toLatin1()) << "Family" << QString("Jo%1e").arg(c) << Book::contactNamesRule << names;
        QTest::newRow("name cancelled") << "Family" << "" << "" << names;
        // Lower case and accents land beside their letters.
        QTest::newRow("name sorted, as typed") << "Family" << "mary O'Neil" << "" << QStringList{"Ann", "Anna", "Bo", "mary O'Neil", "Zoë"};
        QTest::newRow("name, accent") << "Family" << "Émile" << "" << QStringList{"Ann", "Anna", "Bo", "Émile", "Zoë"};
        QTest::newRow("name listed, any case") << "Family" << "bo" << "Sorry, bo is already listed under Family. Please type a different name." << names;
        QTest::newRow("another category's contact") << "Fam" << "ilyAnn"
            << "Sorry, ilyAnn cannot be added: information is already stored under that name. Please type a different name." << QStringList{};
        QTest::newRow("name longest") << "Family" << QString(225, 'n') << "" << QStringList{"Ann", "Anna", "Bo", QString(225, 'n'), "Zoë"};
        QTest::newRow("name too long") << "Family" << QString(226, 'n') << "Sorry, that name is too long. Please type a shorter one." << names;
        QTest::newRow("category refused") << "" << "Mum?s" << Book::categoryNamesRule << categories;
        QTest::newRow("category cancelled") << "" << "" << "" << categories;
        QTest::newRow("category sorted, as typed") << "" << "aunt's side " << "" << QStringList{"aunt's side "} + categories;
        QTest::newRow("category listed, any case") << "" << "FAMILY" << "Sorry, there is already a category called FAMILY. Please type a different name." << categories;
        QTest::newRow("category longest") << "" << QString(230, 'a') << "" << QStringList{QString(230, 'a')} + categories;
        QTest::newRow("category too long") << "" << QString(231, 'a') << "Sorry, that category name is too long. Please type a shorter one." << categories;
    }
    void add()
    {
        QFETCH(QString, category);
        QFETCH(QString, entry);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        const bool name = !category.isEmpty();
        Files files = standardBook();
        QVERIFY(f->put(files) && (name ? f->startOn(category) : f->startOn("Family", "Ann")));
        FrmMain &w = f->window();
        const QString before = f->state();
        f->platform.inputs.enqueue(entry);
        (name ? w.cmdAddName : w.cmdAddRelationship)->click();
        QCOMPARE(f->platform.shown, name ? askedFor("Please type in a name to add to the database", "Add Name", message)
                                         : askedFor("Please type in a new relationship category", "Add relationship category", message));
        QCOMPARE(name ? Controls::entries(w.lstNames) : Controls::entries(w.cboRelationship), after);
        const bool added = message.isEmpty() && !entry.isEmpty();
        if (added)
            files[name ? "NamesList" + category : "RelationsList"] = listBytes(after);
        if (added && name) {
            for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                files[category + entry + suffix] = "\"\"\r\n";
            files[category + entry + "Numbers"] = "\"\",\"\",\"\",\"\",\"\"\r\n";
            files[category + entry + "DependantsList"] = "";
        }
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), !added ? before
                             : name ? category + '/' + entry + " | names on | details on | empty | " + entry
                                    : entry + "/ | names on | details off | empty | " + noContact);
    }

    // Remove Category, or Remove Name with a name chosen: the list afterwards
    // and the files that go with the entry (never those of a longer name).
    void remove_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("gone");
        QStringList family{"NamesListFamily"};
        for (const char *name : {"Ann", "Anna", "Zoë"})
            family += contactFiles("Family", name).keys();
        QTest::newRow("category: No") << "Family" << "" << false << categories << QStringList{};
        QTest::newRow("category with names") << "Family" << "" << true << QStringList{"Fam", "Friend", "Friends", "work"} << family;
        QTest::newRow("category, prefix of another") << "Friend" << "" << true << QStringList{"Fam", "Family", "Friends", "work"}
                                                     << (contactFiles("Friend", "Bob").keys() << "NamesListFriend");
        // It keeps its empty names file.
        QTest::newRow("category without names") << "work" << "" << true << QStringList{"Fam", "Family", "Friend", "Friends"} << QStringList{};
        QTest::newRow("name: No") << "Family" << "Ann" << false << names << QStringList{};
        QTest::newRow("name, prefix of another") << "Family" << "Ann" << true << QStringList{"Anna", "Bo", "Zoë"} << contactFiles("Family", "Ann").keys();
    }
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
        const QString question = name.isEmpty() ? "This will delete all the names and information under the category, " + category
                                                : "This will delete all information you have on " + name;
        QCOMPARE(f->platform.shown, (QList<Shown>{{Shown::Question, question + ". Are you sure?", "Delete Category"}}));
        QCOMPARE(name.isEmpty() ? Controls::entries(w.cboRelationship) : Controls::entries(w.lstNames), after);
        for (const QString &file : gone)
            files.remove(file);
        if (yes)
            files[name.isEmpty() ? "RelationsList" : "NamesListFamily"] = listBytes(after);
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), !yes ? before : (name.isEmpty() ? "/ | names off" : category + "/ | names on") + " | details off | empty | " + noContact);
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
                                                     + " cannot be read, so nothing can be added to it or removed from it until it can."});
        for (QPushButton *button : list == "RelationsList" ? QList<QPushButton *>{w.cmdAddRelationship, w.cmdRemoveRelationship}
                                                            : QList<QPushButton *>{w.cmdAddName, w.cmdRemoveName}) {
            QVERIFY(!button->isEnabled());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(f->platform.shown.size(), 1);
        QCOMPARE(f->files(), files);
    }

    // Adding a contact stores its files first and lists it last: files left
    // by an add that was cut short come back when the name is added again.
    void addingIsAllOrNothing()
    {
        Files files = standardBook();
        const Files earlier = contactFiles("Friend", "Eve");
        QVERIFY(f->put(files) && f->put(earlier) && f->startOn("Friend"));
        f->platform.inputs.enqueue("Eve");
        f->window().cmdAddName->click();
        QCOMPARE(f->platform.messages(), QStringList{"Information stored earlier under Eve was found and has been brought back."});
        QCOMPARE(f->state(), "Friend/Eve | names on | details on | filled | Eve");
        files.insert(earlier);
        files["NamesListFriend"] = listBytes({"Bob", "Eve"});
        QCOMPARE(f->files(), files);
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
