// Categories, contact names and the chosen contact's details and dependants:
// choosing, adding, removing and editing them, the files each change writes,
// and what the window shows afterwards.

#include "support/testsupport.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTimer>

class TestBook : public FixtureTest
{
    Q_OBJECT

private slots:
    // The selection moves only when the user picks another name: a click on
    // the list's blank part, a Ctrl+click on the chosen name and Ctrl+Space
    // keep it. Moving into a list with the keyboard picks its first name, End
    // the last, Page Down a page down. What is typed next is stored.
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
        typeAtEnd(w.txtBirthday, "!");
        QCOMPARE(f->file("FamilyAnnBirthday"), QByteArray("\"1 May, 1970!\"\r\n"));
    }

    // F2 renames the name or category chosen, its old name filled in; a refusal says what the add says. The names
    // list's right-click menu offers Rename and Remove, the name under the pointer chosen, Remove asking first.
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
        QCOMPARE(f->file("KinAnnieBirthday"), QByteArray("\"1 May, 1970!\"\r\n"));

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

    // Each Add and Remove button: what it asks and says, the lists, the window's
    // state and the files written or deleted afterwards are as stored in
    // tests/data/book.txt. What is added is chosen and written as the program
    // writes: a category without contacts, a contact with every file empty
    // (files left by an add cut short come back). Entries are sorted ignoring
    // case, accents beside their letters, the first of equal dependants
    // chosen. Dependants may be as the
    // Windows program or a hand edit leaves them: two on one line, an empty
    // entry, which cannot be chosen for removal.
    void addAndRemove_data()
    {
        QTest::addColumn<QString>("chosen"); QTest::addColumn<Files>("more"); // category/name/dependant chosen, files added to standardBook()
        QTest::addColumn<QString>("button"); QTest::addColumn<QString>("typed"); QTest::addColumn<bool>("yes");
        const auto row = [](const char *tag, const char *chosen, const char *button, const QString &typed, bool yes = true, const Files &more = {}) {
            QTest::newRow(tag) << QString(chosen) << more << QString(button) << typed << yes;
        };
        row("name refused: \\", "Family", "cmdAddName", "Jo\\e");
        row("name cancelled", "Family", "cmdAddName", "");
        row("name sorted, as typed", "Family", "cmdAddName", "mary O'Neil");
        row("name, accent", "Family", "cmdAddName", "Émile");
        row("name listed, any case, trimmed", "Family", "cmdAddName", " bo ");
        row("another category's contact", "Fam", "cmdAddName", "ilyAnn");
        row("name too long", "Family", "cmdAddName", QString(226, 'n'));
        row("name with files an add cut short left", "Friend", "cmdAddName", "Eve", true, contactFiles("Friend", "Eve"));
        row("category refused", "Family/Ann", "cmdAddRelationship", "Mum?s");
        row("category cancelled", "Family/Ann", "cmdAddRelationship", "");
        row("category sorted, trimmed", "Family/Ann", "cmdAddRelationship", " aunt's side ");
        row("category listed, any case", "Family/Ann", "cmdAddRelationship", "FAMILY");
        row("category too long", "Family/Ann", "cmdAddRelationship", QString(231, 'a'));
        row("dependant cancelled", "Family/Ann", "cmdAddChildren", "");
        row("dependant sorted, comma kept", "Family/Ann", "cmdAddChildren", "lee, Tom");
        row("dependant equal added, first chosen", "Family/Ann", "cmdAddChildren", "Anna");
        row("dependant with a double quote", "Family/Ann", "cmdAddChildren", "Tom \"Tiny\"");
        row("remove category: No", "Family", "cmdRemoveRelationship", "", false);
        row("remove category with names", "Family", "cmdRemoveRelationship", "");
        row("remove category, none chosen", "", "cmdRemoveRelationship", "");
        row("remove name: No", "Family/Ann", "cmdRemoveName", "", false);
        row("remove name, none chosen", "Family", "cmdRemoveName", "");
        row("remove dependant: No", "Family/Ann/tim", "cmdRemoveChildren", "", false);
        row("remove dependant, two on one line", "Family/Bo/Tim", "cmdRemoveChildren", "", true, {{"FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"}});
        row("remove the last dependant", "Family/Bo/Tom", "cmdRemoveChildren", "", true, {{"FamilyBoDependantsList", "\"Tom\"\r\n"}});
        row("remove dependant, an empty entry", "Family/Anna/", "cmdRemoveChildren", "", true, {{"FamilyAnnaDependantsList", "\"\"\r\n\"Tom\"\r\n"}});
        // A list that exists but cannot be read is never rewritten from the part shown: the user is told once.
        row("categories cannot be read: Add", "", "cmdAddRelationship", "Aunts", true, {{"RelationsList/", ""}});
        row("categories cannot be read: Remove", "", "cmdRemoveRelationship", "", true, {{"RelationsList/", ""}});
        row("names cannot be read: Add", "Family", "cmdAddName", "Ed", true, {{"NamesListFamily/", ""}});
        row("names cannot be read: Remove", "Family", "cmdRemoveName", "", true, {{"NamesListFamily/", ""}});
    }
    void addAndRemove()
    {
        QFETCH(QString, chosen); QFETCH(Files, more); QFETCH(QString, button); QFETCH(QString, typed); QFETCH(bool, yes);
        QVERIFY(f->putStandardBook() && f->put(more));
        f->platform.inputs.enqueue(typed);
        f->platform.answers.enqueue(yes);
        bool started = false;
        const QString seen = f->after([&] { // from the start, which may have something to say
            started = f->startOn(chosen.section('/', 0, 0), chosen.section('/', 1, 1));
            FrmMain &w = f->window();
            for (QListWidgetItem *item : w.lstChildren->findItems(chosen.section('/', 2), Qt::MatchExactly))
                w.lstChildren->setCurrentItem(item);
            w.findChild<QPushButton *>(button)->click();
        });
        QVERIFY(started);
        QCOMPARE(seen, storedBlock("book.txt", seen));
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
