// Categories, contact names and dependants: choosing, adding and removing
// them, the files each change writes, and what the window shows afterwards.

#include "support/testsupport.h"

class TestBook : public FixtureTest
{
    Q_OBJECT

    const QString noContact = QStringLiteral("No Contact Name Selected");

    // The categories, the category's names or the contact's dependants, as listed.
    QStringList listed(const QString &kind) const
    {
        FrmMain &w = f->window();
        return kind == "category" ? Controls::entries(w.cboRelationship)
                                  : Controls::entries(kind == "name" ? w.lstNames : w.lstChildren);
    }

private slots:
    // The selection moves only when the user picks another name: a click on
    // the list's blank part, a Ctrl+click on the chosen name and Ctrl+Space
    // keep it, so what is typed next is still stored. Moving into the list
    // with the keyboard picks its first name.
    void selectingByHand_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("chosen"); // the name selected afterwards
        QTest::newRow("blank part clicked") << "Friend" << "blank" << "Bob";
        QTest::newRow("Ctrl+click") << "Friend" << "ctrl-click" << "Bob";
        QTest::newRow("Ctrl+Space") << "Friend" << "ctrl-space" << "Bob";
        QTest::newRow("Tab in, Down") << "Family" << "Down" << "Ann";
        QTest::newRow("Tab in, Down, one name") << "Friend" << "Down" << "Bob";
        QTest::newRow("Tab in, Up, one name") << "Friend" << "Up" << "Bob";
        QTest::newRow("Tab in, Home, one name") << "Friend" << "Home" << "Bob";
    }

    void selectingByHand()
    {
        QFETCH(QString, category);
        QFETCH(QString, how);
        QFETCH(QString, chosen);
        f->putStandardBook();
        FrmMain &w = f->startOn(category);
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        QListWidget *list = w.lstNames;
        if (how == "blank" || how.startsWith("ctrl")) {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
            QCOMPARE(w.currentName(), chosen);
        }
        if (how == "blank")
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(4, list->viewport()->height() - 4));
        else if (how == "ctrl-click")
            QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier,
                              list->visualItemRect(list->item(0)).center());
        else if (how == "ctrl-space")
            QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        else {
            w.cmdRemoveRelationship->setFocus();
            QTest::keyClick(w.cmdRemoveRelationship, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), list);
            QTest::keyClick(list, how == "Down" ? Qt::Key_Down : how == "Up" ? Qt::Key_Up : Qt::Key_Home);
        }
        QCOMPARE(w.currentName(), chosen);
        QCOMPARE(w.lblName->text(), chosen);
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file(category + chosen + "Birthday"), QByteArray("\"1 May, 1970!\"\r\n"));
    }

    // Each step starts on Family with Ann shown, unless it says how: "blank"
    // with no files at all, "at start" with nothing chosen, "in X" on the
    // category X with its first contact shown, "unwritable" with the data
    // directory gone after start-up. "remove" answers Yes, "keep" No.
    void change_data()
    {
        QTest::addColumn<QString>("step");    // add, remove or keep; the kind; how it starts
        QTest::addColumn<QString>("entry");   // typed, or chosen for removal; empty: Cancel, or none chosen
        QTest::addColumn<QString>("message"); // shown instead of the change, if any; <dir> is the data directory
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("gone"); // files deleted besides the list file's rewrite

        const QStringList categories{"Fam", "Family", "Friend", "Friends", "work"};
        const QStringList names{"Ann", "Anna", "Bo", "Zoë"};
        const QStringList dependants{"Anna", "tim", "Zoe"};
        const QString taken = " cannot be added: information is already stored under that name. "
                              "Please type a different name.";
        const QString tooLong = " is too long. Please type a shorter one.";
        const QString unsaved = " could not be saved in <dir>. Nothing was added.";
        const auto row = [](const QString &tag, const char *step, const QString &entry, const QString &message,
                            const QStringList &after, const QStringList &gone = {}) {
            QTest::newRow(qPrintable(tag)) << step << entry << message << after << gone;
        };
        for (const QChar c : QStringLiteral("\\/:*?<>|\"")) {
            row(QString("category refuses ") + c, "add category", QStringLiteral("Mum%1s").arg(c),
                Book::categoryNamesRule, categories);
            row(QString("name refuses ") + c, "add name", QStringLiteral("Jo%1e").arg(c), Book::contactNamesRule,
                names);
        }
        row("category: cancel", "add category", "", "", categories);
        // Lower case lands among the others only when case is ignored.
        row("category: sorted, as typed", "add category", "aunt's side ", "", QStringList{"aunt's side "} + categories);
        row("category: the first", "add category blank", "Family", "", {"Family"});
        row("category: listed already, ignoring case", "add category", "FAMILY",
            "Sorry, there is already a category called FAMILY. Please type a different name.", categories);
        row("category: longest", "add category", QString(230, 'a'), "", QStringList{QString(230, 'a')} + categories);
        row("category: too long", "add category", QString(231, 'a'), "Sorry, that category name" + tooLong, categories);
        row("category: not stored", "add category unwritable", "New", "Sorry, the new category" + unsaved, categories);
        row("name: cancel", "add name", "", "", names);
        row("name: sorted, as typed", "add name", "mary O'Neil", "", {"Ann", "Anna", "Bo", "mary O'Neil", "Zoë"});
        row("name: accents sorted beside their letters", "add name", "Émile", "", {"Ann", "Anna", "Bo", "Émile", "Zoë"});
        row("name: listed already, ignoring case", "add name", "bo",
            "Sorry, bo is already listed under Family. Please type a different name.", names);
        // Fam & ilyAnn names the same files as Family & Ann.
        row("name: another category's contact", "add name in Fam", "ilyAnn", "Sorry, ilyAnn" + taken, {});
        row("name: longest", "add name", QString(225, 'n'), "", {"Ann", "Anna", "Bo", QString(225, 'n'), "Zoë"});
        row("name: too long", "add name", QString(226, 'n'), "Sorry, that name" + tooLong, names);
        row("name: not stored", "add name unwritable", "New", "Sorry, the new name" + unsaved, names);
        row("dependant: cancel", "add dependant", "", "", dependants);
        row("dependant: sorted, comma kept", "add dependant", "lee, Tom", "", {"Anna", "lee, Tom", "tim", "Zoe"});
        row("dependant: equal added, first chosen", "add dependant", "Anna", "", QStringList{"Anna"} + dependants);
        row("dependant: double quote refused", "add dependant", "Tom \"Tiny\"",
            "Sorry, a dependant's name cannot include a double quote ( \" ).", dependants);
        row("dependant: not stored", "add dependant unwritable", "Tom", "Sorry, the new dependant" + unsaved,
            dependants);

        QStringList family{"NamesListFamily"};
        for (const char *name : {"Ann", "Anna", "Zoë"})
            family += contactFiles("Family", name).keys();
        const QString none = "Please select a %1 to remove.";
        row("category: none chosen", "remove category at start", "", none.arg("category"), categories);
        row("category: No", "keep category in Family", "Family", "", categories);
        row("category with names", "remove category in Family", "Family", "", {"Fam", "Friend", "Friends", "work"},
            family);
        row("category, prefix of another", "remove category in Friend", "Friend", "",
            {"Fam", "Family", "Friends", "work"}, contactFiles("Friend", "Bob").keys() << "NamesListFriend");
        // It keeps its empty names file.
        row("category without names", "remove category in work", "work", "", {"Fam", "Family", "Friend", "Friends"});
        row("name: none chosen", "remove name in Family", "", none.arg("name"), names);
        row("name: No", "keep name", "Ann", "", names);
        row("name, prefix of another", "remove name", "Ann", "", {"Anna", "Bo", "Zoë"},
            contactFiles("Family", "Ann").keys());
        row("name, longer of two", "remove name", "Anna", "", {"Ann", "Bo", "Zoë"},
            contactFiles("Family", "Anna").keys());
        row("dependant: none chosen", "remove dependant", "", none.arg("dependant"), dependants);
        row("dependant: No", "keep dependant", "tim", "", dependants);
        row("dependant: Yes", "remove dependant", "tim", "", {"Anna", "Zoe"});
    }

    void change()
    {
        QFETCH(QString, step);
        QFETCH(QString, entry);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        QFETCH(QStringList, gone);
        const QString verb = step.section(' ', 0, 0), kind = step.section(' ', 1, 1), how = step.section(' ', 2);
        const bool adding = verb == "add";
        // Each kind's buttons, list file and question before a removal.
        const QHash<QString, QStringList> about{
            {"category", {"Relationship", "RelationsList",
                          "This will delete all the names and information under the category, %1. Are you sure?"}},
            {"name", {"Name", "NamesListFamily", "This will delete all information you have on %1. Are you sure?"}},
            {"dependant", {"Children", "FamilyAnnDependantsList",
                           "You have chosen to delete %1 from Ann's dependants list. Are you sure?"}}};

        Files files = how == "blank" ? Files{} : f->putStandardBook();
        FrmMain &w = how.startsWith("in ")                 ? f->startOn(how.mid(3))
                     : how == "blank" || how == "at start" ? f->start()
                                                           : f->startOn("Family", "Ann");
        if (how == "unwritable") {
            f->blockDataDir();
            files.clear();
        }
        QListWidget *list = kind == "name" ? w.lstNames : w.lstChildren;
        if (!adding && kind == "category")
            w.lstNames->setCurrentRow(0);
        else if (!adding)
            list->setCurrentRow(listed(kind).indexOf(entry));
        const QString before = f->state();
        const QStringList was = listed(kind);
        if (adding)
            f->platform.inputs.enqueue(entry);
        else if (!entry.isEmpty())
            f->platform.answers.enqueue(verb == "remove");
        w.findChild<QPushButton *>((adding ? "cmdAdd" : "cmdRemove") + about[kind][0])->click();

        QList<Shown> shown;
        if (adding && kind == "category")
            shown += {Shown::Input, "Please type in a new relationship category", "Add relationship category"};
        else if (adding)
            shown += {Shown::Input, "Please type in a name to add to the database", "Add Name"};
        else if (!entry.isEmpty())
            shown += {Shown::Question, about[kind][2].arg(entry), "Delete Category"};
        if (!message.isEmpty())
            shown += {Shown::Message, message.replace("<dir>", f->dataDir()), "Kinfolio"};
        QCOMPARE(f->platform.shown, shown);
        QCOMPARE(listed(kind), after);

        // A changed list is rewritten in the order shown; a new contact gets every file, empty.
        const bool changed = after != was;
        if (changed)
            files[about[kind][1]] = listBytes(after);
        for (const QString &file : gone)
            files.remove(file);
        if (changed && adding && kind == "name") {
            for (const char *suffix : {"Birthday", "Address", "DrivingDirections", "NumbNotes", "Relation"})
                files["Family" + entry + suffix] = "\"\"\r\n";
            files["Family" + entry + "Numbers"] = "\"\",\"\",\"\",\"\",\"\"\r\n";
            files["Family" + entry + "DependantsList"] = "";
        }
        QCOMPARE(f->files(), files);

        // What is added is chosen, the first of equal entries. With no
        // category chosen no name can be added, and with no contact chosen
        // its controls take no input.
        const QString chosen = adding ? entry : "";
        const QString on = adding ? "on" : "off";
        QCOMPARE(f->state(), !changed || kind == "dependant" ? before
                             : kind == "category" ? chosen + "/ | names " + on + " | details off | empty | " + noContact
                                                  : "Family/" + chosen + " | names on | details " + on + " | empty | "
                                                        + (adding ? entry : noContact));
        if (changed && adding)
            QCOMPARE(kind == "category" ? w.cboRelationship->currentIndex() : list->currentRow(), after.indexOf(entry));
        if (changed && !adding && kind == "category")
            QCOMPARE(w.lstNames->count(), 0);
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
        Files files = f->putStandardBook();
        files.remove(list);
        QFile::remove(f->dataDir() + list);
        QVERIFY(QDir().mkpath(f->dataDir() + list)); // no regular file: reading it fails
        FrmMain &w = list == "RelationsList" ? f->start() : f->startOn("Family");
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

    // Adding a contact stores its files first and lists it last. Files left
    // by an add that was cut short come back when the name is added again;
    // an add that cannot be stored leaves the window as it was.
    void addingIsAllOrNothing()
    {
        Files files = f->putStandardBook();
        const Files earlier = contactFiles("Friend", "Eve");
        f->put(earlier);
        FrmMain &w = f->startOn("Friend");
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

        f->platform.shown.clear();
        f->platform.answers.enqueue(true);
        w.cmdRemoveRelationship->click();
        f->blockDataDir();
        f->platform.inputs.enqueue("Kin");
        w.cmdAddRelationship->click();
        w.cmdAddName->click(); // locked: it asks nothing

        QCOMPARE(f->platform.messages(), QStringList{"Sorry, the new category could not be saved in " + f->dataDir()
                                                     + ". Nothing was added."});
        QCOMPARE(f->state(), "/ | names off | details off | empty | " + noContact);
        QCOMPARE(f->files(), Files{});
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

        const QDir outside(f->home.path() + "/Kinfolio");
        QFile victim(outside.filePath("victimBirthday"));
        QVERIFY(victim.open(QIODevice::ReadOnly));
        QCOMPARE(victim.readAll(), QByteArray("\"precious\"\r\n"));
        QCOMPARE(outside.entryList(QDir::Files), QStringList{"victimBirthday"});
        QCOMPARE(QDir(f->home.path()).entryList(QDir::Files), QStringList{});
    }
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
