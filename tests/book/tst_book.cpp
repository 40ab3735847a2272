// Categories, names, details and dependants in the window: what each change writes, and what the window shows.

#include "support/testsupport.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

class TestBook : public FixtureTest
{
    Q_OBJECT

private slots:
    // The selection moves only when the user picks another name; moving into the list by keyboard picks one.
    void selectingByHand()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Friend") && f->showActive());
        FrmMain &w = f->window();
        QListWidget *list = w.lstNames;
        const QPoint bob = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, bob);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, QPoint(4, list->viewport()->height() - 4));
        QCOMPARE(w.currentName(), "Bob");
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, bob);
        QCOMPARE(w.currentName(), "Bob");
        QTest::keyClick(list, Qt::Key_Space, Qt::ControlModifier);
        QCOMPARE(f->state(), "Friend/Bob | names on | details on | filled | Bob");
        for (const auto &[key, name] : {std::pair{Qt::Key_End, "Zoë"}, {Qt::Key_PageDown, "Zoë"}, {Qt::Key_Down, "Ann"}}) {
            QVERIFY(f->pickCategory("Friend") && f->pickCategory("Family"));
            w.cmdRemoveRelationship->setFocus();
            QTest::keyClick(w.cmdRemoveRelationship, Qt::Key_Tab);
            QCOMPARE(QApplication::focusWidget(), list);
            QTest::keyClick(list, key);
            QCOMPARE(w.currentName(), name);
        }
        QCOMPARE(f->state(), "Family/Ann | names on | details on | filled | Ann");
    }

    // F2 renames the name or category chosen; the names list's right-click menu offers Rename and Remove.
    void renameAndRightClick()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann") && f->showActive());
        FrmMain &w = f->window();
        f->platform.inputs << " Annie " << "anna" << "Kin";
        w.lstNames->setFocus();
        QTest::keyClick(w.lstNames, Qt::Key_F2);
        QCOMPARE(f->state(), "Family/Annie | names on | details on | filled | Annie");
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file("FamilyAnnieBirthday"), QByteArray("\"1 May, 1970!\"\r\n"));
        QTest::keyClick(w.lstNames, Qt::Key_F2);
        QCOMPARE(f->platform.messages(), QStringList{"Sorry, anna is already listed under Family. Please type a different name."});
        w.cboRelationship->setFocus();
        QTest::keyClick(w.cboRelationship, Qt::Key_F2);
        QCOMPARE(f->platform.filledIn, (QStringList{"Ann", "Annie", "Family"}));
        QCOMPARE(f->state(), "Kin/ | names on | details off | empty | No Contact Name Selected");

        f->platform.answers << true;
        const QPoint bo = w.lstNames->visualItemRect(w.lstNames->item(2)).center();
        QTest::mouseClick(w.lstNames->viewport(), Qt::RightButton, {}, bo);
        QStringList offered;
        QTimer::singleShot(0, [&] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            QVERIFY(menu);
            for (QAction *action : menu->actions())
                offered << action->text();
            for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Down, Qt::Key_Return})
                QTest::keyClick(menu, key);
        });
        QContextMenuEvent click(QContextMenuEvent::Mouse, bo, w.lstNames->viewport()->mapToGlobal(bo));
        QApplication::sendEvent(w.lstNames->viewport(), &click);
        QCOMPARE(offered, (QStringList{"Rename...", "Remove"}));
        QCOMPARE(f->platform.shown.last().prompt, "This will delete all information you have on Bo. Are you sure?");
        QCOMPARE(Controls::entries(w.lstNames).join(','), "Anna,Annie,Zoë");
    }

    // Each Add and Remove button: what it asks and says, what it changes of the window and the files; a list written is
    // what the window shows, sorted ignoring case and accents. Dependants as a hand edit leaves them, too.
    void addAndRemove_data()
    {
        QTest::addColumn<QString>("chosen"); QTest::addColumn<Files>("more"); // category/name/dependant chosen, files added to standardBook()
        QTest::addColumn<QString>("button"); QTest::addColumn<QString>("typed"); QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("seen");
        const auto row = [](const char *tag, const char *chosen, const char *button, const QString &typed, const QStringList &seen,
                            bool yes = true, const Files &more = {}) {
            QTest::newRow(tag) << QString(chosen) << more << QString(button) << typed << yes << seen;
        };
        const auto said = [](const QString &message) { return "message: " + message + " [Kinfolio]"; };
        const QString name = "input: Please type in a name to add to the database [Add Name]",
                      category = "input: Please type in a new relationship category [Add relationship category]",
                      none = "/ | names off | details off | empty | No Contact Name Selected";
        const QString forbidden = " cannot include the following:  /  \\  :  *  ?  <  >  |  '' ";
        row("name refused: \\", "Family", "cmdAddName", "Jo\\e", {name, said("Sorry, Names" + forbidden)});
        row("name cancelled", "Family", "cmdAddName", "", {name});
        row("name sorted, as typed", "Family", "cmdAddName", "mary O'Neil", {name, "Family/mary O'Neil | names on | details on | empty | mary O'Neil",
            "names: Ann, Anna, Bo, [mary O'Neil], Zoë", "files: +Familymary O'Neil* +NamesListFamily"});
        row("name listed, any case, trimmed", "Family", "cmdAddName", " bo ", {name, said("Sorry, bo is already listed under Family. Please type a different name.")});
        row("another category's contact", "Fam", "cmdAddName", "ilyAnn",
            {name, said("Sorry, ilyAnn cannot be added: information is already stored under that name. Please type a different name.")});
        row("name too long", "Family", "cmdAddName", QString(226, 'n'), {name, said("Sorry, that name is too long. Please type a shorter one.")});
        row("name with files an add cut short left", "Friend", "cmdAddName", "Eve",
            {name, said("Information stored earlier under Eve was found and has been brought back."), "Friend/Eve | names on | details on | filled | Eve",
             "names: Bob, [Eve]", "dependants: Anna, tim, Zoe", "files: +NamesListFriend"}, true, contactFiles("Friend", "Eve"));
        row("category refused", "Family/Ann", "cmdAddRelationship", "Mum?s", {category, said("Sorry, Category names" + forbidden)});
        row("category cancelled", "Family/Ann", "cmdAddRelationship", "", {category});
        row("category sorted, trimmed", "Family/Ann", "cmdAddRelationship", " aunt's side ", {category, "aunt's side/ | names on | details off | empty | No Contact Name Selected",
            "categories: [aunt's side], Fam, Family, Friend, Friends, work", "names:", "dependants:", "files: +RelationsList"});
        row("category listed, any case", "Family/Ann", "cmdAddRelationship", "FAMILY",
            {category, said("Sorry, there is already a category called FAMILY. Please type a different name.")});
        row("category too long", "Family/Ann", "cmdAddRelationship", QString(231, 'a'),
            {category, said("Sorry, that category name is too long. Please type a shorter one.")});
        row("dependant cancelled", "Family/Ann", "cmdAddChildren", "", {name});
        row("dependant sorted, comma kept", "Family/Ann", "cmdAddChildren", "lee, Tom",
            {name, "dependants: Anna, [lee, Tom], tim, Zoe", "files: +FamilyAnnDependantsList"});
        row("dependant equal added, first chosen", "Family/Ann", "cmdAddChildren", "Anna",
            {name, "dependants: [Anna], Anna, tim, Zoe", "files: +FamilyAnnDependantsList"});
        row("dependant with a double quote", "Family/Ann", "cmdAddChildren", "Tom \"Tiny\"",
            {name, said("Sorry, a dependant's name cannot include a double quote ( \" ).")});
        const QString family = "question: This will delete all the names and information under the category, Family. Are you sure? [Delete Category]";
        row("remove category: No", "Family", "cmdRemoveRelationship", "", {family}, false);
        row("remove category with names", "Family", "cmdRemoveRelationship", "", {family, none, "categories: Fam, Friend, Friends, work", "names:",
            "files: -FamilyAnn* -FamilyAnnPic -FamilyAnna* -FamilyAnnaPic -FamilyZoë* -FamilyZoëPic -NamesListFamily +RelationsList"});
        row("remove category, none chosen", "", "cmdRemoveRelationship", "", {said("Please select a category to remove.")});
        row("remove name: No", "Family/Ann", "cmdRemoveName", "",
            {"question: This will delete all information you have on Ann. Are you sure? [Delete Category]"}, false);
        row("remove name, none chosen", "Family", "cmdRemoveName", "", {said("Please select a name to remove.")});
        const auto dependant = [](const char *who) {
            return QString("question: You have chosen to delete %1's dependants list. Are you sure? [Delete Category]").arg(who);
        };
        row("remove dependant: No", "Family/Ann/tim", "cmdRemoveChildren", "", {dependant("tim from Ann")}, false);
        row("remove dependant, two on one line", "Family/Bo/Tim", "cmdRemoveChildren", "",
            {dependant("Tim from Bo"), "dependants: Tom", "files: +FamilyBoDependantsList"}, true, {{"FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"}});
        row("remove the last dependant", "Family/Bo/Tom", "cmdRemoveChildren", "",
            {dependant("Tom from Bo"), "Family/Bo | names on | details on | empty | Bo", "dependants:", "files: +FamilyBoDependantsList"}, true,
            {{"FamilyBoDependantsList", "\"Tom\"\r\n"}});
        row("remove dependant, an empty entry", "Family/Anna/", "cmdRemoveChildren", "", {said("Please select a dependant to remove.")}, true,
            {{"FamilyAnnaDependantsList", "\"\"\r\n\"Tom\"\r\n"}});
        // A list that cannot be read is never rewritten from the part shown.
        const QString categories = said("Sorry, the list of categories in <dir> cannot be read, so nothing can be added to it or removed from it until it can."),
                      names = said("Sorry, the list of names of Family in <dir> cannot be read, so nothing can be added to it or removed from it until it can.");
        row("categories cannot be read: Add", "", "cmdAddRelationship", "Aunts", {categories}, true, {{"RelationsList/", ""}});
        row("categories cannot be read: Remove", "", "cmdRemoveRelationship", "", {categories}, true, {{"RelationsList/", ""}});
        row("names cannot be read: Add", "Family", "cmdAddName", "Ed", {names}, true, {{"NamesListFamily/", ""}});
        row("names cannot be read: Remove", "Family", "cmdRemoveName", "", {names}, true, {{"NamesListFamily/", ""}});
    }
    void addAndRemove()
    {
        QFETCH(QString, chosen); QFETCH(Files, more); QFETCH(QString, button); QFETCH(QString, typed); QFETCH(bool, yes);
        QFETCH(QStringList, seen);
        QVERIFY(f->putStandardBook() && f->put(more));
        QVERIFY(f->startOn(chosen.section('/', 0, 0), chosen.section('/', 1, 1)));
        FrmMain &w = f->window();
        for (QListWidgetItem *item : w.lstChildren->findItems(chosen.section('/', 2), Qt::MatchExactly))
            w.lstChildren->setCurrentItem(item);
        f->platform.inputs.enqueue(typed);
        f->platform.answers.enqueue(yes);
        const QStringList lines = f->after([&] { w.findChild<QPushButton *>(button)->click(); });
        QCOMPARE(lines, seen);
        const QMap<QString, QStringList> shown{{"RelationsList", Controls::entries(w.cboRelationship)},
                                               {"NamesList" + w.currentCategory(), Controls::entries(w.lstNames)},
                                               {w.currentCategory() + w.currentName() + "DependantsList", Controls::entries(w.lstChildren)}};
        for (const auto &[file, entries] : shown.asKeyValueRange())
            if (lines.last().split(' ').contains('+' + file))
                QCOMPARE(f->file(file), listBytes(entries));
    }

    // Loading writes nothing; a missing field shows empty, so a keystroke never stores the contact shown before; damaged
    // and huge files show whole.
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

    // An edit rewrites that box's file and no other.
    void editing_data()
    {
        QTest::addColumn<QString>("box"); QTest::addColumn<bool>("paste"); // or type
        QTest::addColumn<QString>("text"); QTest::addColumn<QString>("file"); QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *tag, const char *box, bool paste, const QString &text, const char *file, const QByteArray &bytes) {
            QTest::newRow(tag) << box << paste << text << file << bytes;
        };
        row("quotes dropped, any length", "txtRelation", true, "a\"b\"c" + QString(40000, 'r'), "Relation", "\"Ann's sisterabc" + QByteArray(40000, 'r') + "\"\r\n");
        row("one-line: pasted line breaks as spaces", "txtFax", true, "-9\r\n0\n", "Numbers", "\"111\",\"222\",\"333\",\"444-9 0 \",\"Ann@mail.org\"\r\n");
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
};

QTEST_MAIN(TestBook)
#include "tst_book.moc"
