// Categories, contact names and the chosen contact's details and dependants:
// choosing, adding, removing and editing them, the files each change writes,
// and what the window shows afterwards.

#include "support/testsupport.h"

#include <QClipboard>

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
        QTest::addColumn<QString>("category"); QTest::addColumn<QString>("chosen");
        QTest::addColumn<Qt::Key>("key"); // pressed after tabbing into the list; none: clicks and Ctrl+Space
        QTest::newRow("blank part, Ctrl+click, Ctrl+Space") << "Friend" << "Bob" << Qt::Key_unknown;
        QTest::newRow("Tab in, Down") << "Family" << "Ann" << Qt::Key_Down;
    }
    void selectingByHand()
    {
        QFETCH(QString, category); QFETCH(QString, chosen); QFETCH(Qt::Key, key);
        QVERIFY(f->putStandardBook() && f->startOn(category) && f->showActive());
        FrmMain &w = f->window();
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
    // without contacts, a contact with every file empty. Dependants are sorted
    // ignoring case and the first of equal entries is chosen.
    void add_data()
    {
        QTest::addColumn<QString>("category"); // where a name is added; none: a category is; Family/Ann: a dependant
        QTest::addColumn<QString>("entry"); QTest::addColumn<QString>("message"); QTest::addColumn<QStringList>("after");
        for (const QChar c : QString("\\/:*?<>|\""))
            QTest::addRow("name refused: %c", c.toLatin1()) << "Family" << QString("Jo%1e").arg(c) << Book::contactNamesRule << names;
        QTest::newRow("name cancelled") << "Family" << "" << "" << names;
        // Lower case and accents land beside their letters.
        QTest::newRow("name sorted, as typed") << "Family" << "mary O'Neil" << "" << QStringList{"Ann", "Anna", "Bo", "mary O'Neil", "Zoë"};
        QTest::newRow("name, accent") << "Family" << "Émile" << "" << QStringList{"Ann", "Anna", "Bo", "Émile", "Zoë"};
        QTest::newRow("name listed, any case") << "Family" << "bo" << "Sorry, bo is already listed under Family. Please type a different name." << names;
        QTest::newRow("another category's contact") << "Fam" << "ilyAnn"
            << "Sorry, ilyAnn cannot be added: information is already stored under that name. Please type a different name." << QStringList{};
        QTest::newRow("name too long") << "Family" << QString(226, 'n') << "Sorry, that name is too long. Please type a shorter one." << names;
        QTest::newRow("category refused") << "" << "Mum?s" << Book::categoryNamesRule << categories;
        QTest::newRow("category cancelled") << "" << "" << "" << categories;
        QTest::newRow("category sorted, as typed") << "" << "aunt's side " << "" << QStringList{"aunt's side "} + categories;
        QTest::newRow("category listed, any case") << "" << "FAMILY" << "Sorry, there is already a category called FAMILY. Please type a different name." << categories;
        QTest::newRow("category too long") << "" << QString(231, 'a') << "Sorry, that category name is too long. Please type a shorter one." << categories;
        const QStringList dependants{"Anna", "tim", "Zoe"};
        QTest::newRow("dependant cancelled") << "Family/Ann" << "" << "" << dependants;
        QTest::newRow("dependant sorted, comma kept") << "Family/Ann" << "lee, Tom" << "" << QStringList{"Anna", "lee, Tom", "tim", "Zoe"};
        QTest::newRow("dependant equal added, first chosen") << "Family/Ann" << "Anna" << "" << QStringList{"Anna", "Anna", "tim", "Zoe"};
        QTest::newRow("dependant with a double quote") << "Family/Ann" << "Tom \"Tiny\""
            << "Sorry, a dependant's name cannot include a double quote ( \" )." << dependants;
    }
    void add()
    {
        QFETCH(QString, category); QFETCH(QString, entry); QFETCH(QString, message); QFETCH(QStringList, after);
        const bool dependant = category.contains('/'), name = !category.isEmpty() && !dependant;
        Files files = standardBook();
        QVERIFY(f->put(files) && (name ? f->startOn(category) : f->startOn("Family", "Ann")));
        FrmMain &w = f->window();
        const QString before = f->state();
        f->platform.inputs.enqueue(entry);
        (dependant ? w.cmdAddChildren : name ? w.cmdAddName : w.cmdAddRelationship)->click();
        QList<Shown> asked{!category.isEmpty() ? Shown{Shown::Input, "Please type in a name to add to the database", "Add Name"}
                                               : Shown{Shown::Input, "Please type in a new relationship category", "Add relationship category"}};
        QCOMPARE(f->platform.shown, (message.isEmpty() ? asked : asked << Shown{Shown::Message, message, "Kinfolio"}));
        QCOMPARE(dependant ? Controls::entries(w.lstChildren) : name ? Controls::entries(w.lstNames) : Controls::entries(w.cboRelationship), after);
        if (dependant)
            QCOMPARE(w.lstChildren->currentRow(), after.indexOf(entry));
        const bool added = message.isEmpty() && !entry.isEmpty();
        if (added)
            files[dependant ? "FamilyAnnDependantsList" : name ? "NamesList" + category : "RelationsList"] = listBytes(after);
        if (added && name) {
            for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                files[category + entry + suffix] = "\"\"\r\n";
            files[category + entry + "Numbers"] = "\"\",\"\",\"\",\"\",\"\"\r\n";
            files[category + entry + "DependantsList"] = "";
        }
        QCOMPARE(f->files(), files);
        QCOMPARE(f->state(), !added || dependant ? before
                             : name ? category + '/' + entry + " | names on | details on | empty | " + entry
                                    : entry + "/ | names on | details off | empty | " + noContact);
    }

    // Remove Category, or Remove Name with a name chosen: the list afterwards
    // and the files that go with the entry (never those of a longer name).
    void remove_data()
    {
        QTest::addColumn<QString>("category"); QTest::addColumn<QString>("name"); QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("after"); QTest::addColumn<QStringList>("gone");
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
        QFETCH(QString, category); QFETCH(QString, name); QFETCH(bool, yes); QFETCH(QStringList, after); QFETCH(QStringList, gone);
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
        QTest::addColumn<QString>("list"); QTest::addColumn<QString>("what");
        QTest::newRow("categories") << "RelationsList" << "list of categories";
        QTest::newRow("names") << "NamesListFamily" << "list of names of Family";
    }
    void listsThatCannotBeRead()
    {
        QFETCH(QString, list); QFETCH(QString, what);
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

    // Loading writes nothing. A contact without a field's file shows that box
    // empty and one with too few numbers empties the boxes it has none for,
    // so a keystroke never stores the contact shown before. Damaged files
    // show whole: one no file can be named after has nothing stored, and
    // 100,000 names and a 10 MB address are all there.
    void nothingWritten()
    {
        Files stored = standardBook();
        QStringList names{"Anna", "Zoë", "Bo", "Ann", "a\\b"};
        for (int i = 0; i < 100000; ++i)
            names.append(QString::number(i));
        stored["NamesListFamily"] = listBytes(names);
        stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"6\"\r\n";
        stored["FamilyZoëAddress"] = RecordFile::encodeRecord({QString(10 << 20, 'x')});
        QVERIFY(f->put(stored) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        QCOMPARE(f->texts(), (QStringList{"Ann's sister", "1 May, 1970", "12 Elm St, Flat 2\nLeeds", "M1 north\n\nthen left",
                                          "111", "222", "333", "444", "Ann@mail.org", "mornings only"}));
        QCOMPARE(w.txtRelation->cursorPosition(), 0); // a loaded value shows its start
        QVERIFY(f->pickName("Bo"));
        QCOMPARE(f->texts(), (QStringList{"", "", "", "", "9", "8", "7", "6", "", ""}));
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->files(), stored);
        typeAtEnd(w.txtFax, "5");
        QVERIFY(f->pickName("a\\b"));
        typeAtEnd(w.txtBirthday, "!");
        QVERIFY(w.lstNames->count() == names.size() && f->pickName("Zoë") && w.txtAddress->toPlainText().size() == 10 << 20);
        stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"65\",\"\"\r\n";
        QCOMPARE(f->files(), stored);
    }

    // Each edit of Ann's boxes, at the end of the text, rewrites that box's file and no other.
    void editing_data()
    {
        QTest::addColumn<QString>("box"); QTest::addColumn<bool>("paste"); // or type
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("file"); QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *tag, const char *box, bool paste, const QString &text, const char *file, const QByteArray &bytes) {
            QTest::newRow(tag) << box << paste << text << file << bytes;
        };
        row("quotes dropped, any length", "txtRelation", true, "a\"b\"c" + QString(40000, 'r'), "Relation", "\"Ann's sisterabc" + QByteArray(40000, 'r') + "\"\r\n");
        row("multi-line: typed quote refused, Enter as CR LF", "txtAddress", false, "\"\rLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds\r\nLS1\"\r\n");
        row("multi-line: pasted quotes dropped", "txtAddress", true, " \"The Elms\"\nLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds The Elms\r\nLS1\"\r\n");
        // "\b" is Backspace: after one is deleted there is room for one more.
        row("notes typed stop at 150", "txtNumNotes", false, QString(160, 'x') + "\byz", "NumbNotes", "\"mornings only" + QByteArray(136, 'x') + "y\"\r\n");
        row("notes never cut inside a character", "txtNumNotes", true, QString(136, 'n') + "\U0001F600", "NumbNotes", "\"mornings only" + QByteArray(136, 'n') + "\"\r\n");
    }
    void editing()
    {
        QFETCH(QString, box); QFETCH(bool, paste); QFETCH(QString, text); QFETCH(QString, file); QFETCH(QByteArray, bytes);
        Files expected = standardBook();
        QVERIFY(f->put(expected) && f->startOn("Family", "Ann"));
        QWidget *widget = f->window().findChild<QWidget *>(box);
        QApplication::clipboard()->setText(text); // pasted with the box's own paste key
        typeAtEnd(widget, paste ? QString() : text);
        if (paste)
            QTest::keySequence(widget, QKeySequence::Paste);
        expected["FamilyAnn" + file] = bytes;
        QCOMPARE(f->files(), expected);
    }

    // Dependants as the Windows program or a hand edit leave them: two on
    // one line, an empty entry (which cannot be chosen for removal). Removing
    // asks first; removing the last dependant leaves an empty file.
    void removeDependant()
    {
        QVERIFY(f->putStandardBook() && f->put({{"FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"}, {"FamilyAnnaDependantsList", "\"\"\r\n\"Tom\"\r\n"}}));
        QVERIFY(f->startOn("Family", "Bo"));
        FrmMain &w = f->window();
        QCOMPARE(Controls::entries(w.lstChildren), (QStringList{"Tim", "Tom"}));
        f->platform.answers << false << true << true;
        for (int i = 0; i < 3; ++i) {
            w.lstChildren->setCurrentRow(0);
            w.cmdRemoveChildren->click();
        }
        const auto asked = [](const char *name) {
            return Shown{Shown::Question, QString("You have chosen to delete %1 from Bo's dependants list. Are you sure?").arg(name), "Delete Category"};
        };
        QCOMPARE(f->platform.shown, (QList<Shown>{asked("Tim"), asked("Tim"), asked("Tom")}));
        QCOMPARE(f->files().value("FamilyBoDependantsList", "missing"), QByteArray(""));

        f->platform.shown.clear();
        QVERIFY(f->pickName("Anna"));
        w.lstChildren->setCurrentRow(0);
        w.cmdRemoveChildren->click();
        QCOMPARE(f->platform.messages(), QStringList{"Please select a dependant to remove."});
        QCOMPARE(w.lstChildren->count(), 2);
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
