// The selected contact's detail boxes and dependants: what loading shows,
// what each edit writes, and what is never written.

#include "support/testsupport.h"

#include <QClipboard>

class TestDetails : public FixtureTest
{
    Q_OBJECT

private slots:
    // Loading writes nothing. A contact without a field's file shows that box
    // empty and one with too few numbers empties the boxes it has none for,
    // so a keystroke never stores the contact shown before.
    void nothingWritten()
    {
        Files stored = standardBook();
        stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"6\"\r\n";
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
        QCOMPARE(f->file("FamilyBoNumbers"), QByteArray("\"9\",\"8\",\"7\",\"65\",\"\"\r\n"));
    }

    // Each edit of Ann's boxes, at the end of the text, rewrites that box's file and no other.
    void editing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("paste"); // or type
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");
        const auto row = [](const char *tag, const char *box, bool paste, const QString &text, const char *file, const QByteArray &bytes) {
            QTest::newRow(tag) << box << paste << text << file << bytes;
        };
        row("quotes dropped, any length", "txtRelation", true, "a\"b\"c" + QString(40000, 'r'), "Relation", "\"Ann's sisterabc" + QByteArray(40000, 'r') + "\"\r\n");
        row("multi-line: typed quote refused, Enter as CR LF", "txtAddress", false, "\"\rLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds\r\nLS1\"\r\n");
        row("multi-line: pasted quotes dropped", "txtAddress", true, " \"The Elms\"\nLS1", "Address", "\"12 Elm St, Flat 2\r\nLeeds The Elms\r\nLS1\"\r\n");
        row("fax writes all five", "txtFax", false, "4", "Numbers", "\"111\",\"222\",\"333\",\"4444\",\"Ann@mail.org\"\r\n");
        // "\b" is Backspace: after one is deleted there is room for one more.
        row("notes typed stop at 150", "txtNumNotes", false, QString(160, 'x') + "\byz", "NumbNotes", "\"mornings only" + QByteArray(136, 'x') + "y\"\r\n");
        row("notes never cut inside a character", "txtNumNotes", true, QString(136, 'n') + "\U0001F600", "NumbNotes", "\"mornings only" + QByteArray(136, 'n') + "\"\r\n");
    }
    void editing()
    {
        QFETCH(QString, box);
        QFETCH(bool, paste);
        QFETCH(QString, text);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);
        Files expected = standardBook();
        QVERIFY(f->put(expected) && f->startOn("Family", "Ann"));
        auto *line = f->window().findChild<QLineEdit *>(box);
        auto *multi = f->window().findChild<QPlainTextEdit *>(box);
        line ? line->end(false) : multi->moveCursor(QTextCursor::End);
        QApplication::clipboard()->setText(text); // pasted through the box's own paste
        if (paste)
            line ? line->paste() : multi->paste();
        else
            QTest::keyClicks(line ? static_cast<QWidget *>(line) : multi, text);
        expected["FamilyAnn" + file] = bytes;
        QCOMPARE(f->files(), expected);
    }

    // Add asks for the dependant's name: the list stays sorted ignoring case,
    // the first of equal entries is chosen, and the file follows the list.
    void addDependant_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("after");
        const QStringList dependants{"Anna", "tim", "Zoe"};
        QTest::newRow("cancel") << "" << "" << dependants;
        QTest::newRow("sorted, comma kept") << "lee, Tom" << "" << QStringList{"Anna", "lee, Tom", "tim", "Zoe"};
        QTest::newRow("equal added, first chosen") << "Anna" << "" << QStringList{"Anna", "Anna", "tim", "Zoe"};
        QTest::newRow("double quote refused") << "Tom \"Tiny\"" << "Sorry, a dependant's name cannot include a double quote ( \" )." << dependants;
    }
    void addDependant()
    {
        QFETCH(QString, entry);
        QFETCH(QString, message);
        QFETCH(QStringList, after);
        Files files = standardBook();
        QVERIFY(f->put(files) && f->startOn("Family", "Ann"));
        FrmMain &w = f->window();
        f->platform.inputs.enqueue(entry);
        w.cmdAddChildren->click();
        QCOMPARE(f->platform.shown, askedFor("Please type in a name to add to the database", "Add Name", message));
        QCOMPARE(Controls::entries(w.lstChildren), after);
        QCOMPARE(w.lstChildren->currentRow(), after.indexOf(entry));
        if (after.size() > 3)
            files["FamilyAnnDependantsList"] = listBytes(after);
        QCOMPARE(f->files(), files);
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

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
