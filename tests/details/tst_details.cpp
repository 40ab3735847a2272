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
    // so a keystroke never stores the contact shown before. With no contact
    // selected after a removal, the detail controls take no input.
    void nothingWritten()
    {
        Files stored = f->putStandardBook();
        f->put("FamilyBoNumbers", stored["FamilyBoNumbers"] = "\"9\",\"8\",\"7\",\"6\"\r\n");
        FrmMain &w = f->startOn("Family", "Ann");
        QCOMPARE(f->texts(), (QStringList{"Ann's sister", "1 May, 1970", "12 Elm St, Flat 2\nLeeds",
                                          "M1 north\n\nthen left", "111", "222", "333", "444", "Ann@mail.org",
                                          "mornings only"}));
        f->pickName("Bo");
        QCOMPARE(f->texts(), (QStringList{"", "", "", "", "9", "8", "7", "6", "", ""}));
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->files(), stored);
        typeAtEnd(w.txtFax, "5");
        QCOMPARE(f->file("FamilyBoNumbers"), QByteArray("\"9\",\"8\",\"7\",\"65\",\"\"\r\n"));

        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        QCOMPARE(f->state(), "Family/ | names on | details off | empty | No Contact Name Selected");
    }

    // Each edit of Ann's boxes, at the end of the text, rewrites that box's file and no other.
    void editing_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("paste"); // or type
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");

        const QByteArray numbers = "\"111\",\"222\",\"333\",\"444\",\"Ann@mail.org\"\r\n";
        const auto row = [](const char *tag, const char *box, bool paste, const QString &text, const char *file,
                            const QByteArray &bytes) { QTest::newRow(tag) << box << paste << text << file << bytes; };
        row("relation, pasted quotes dropped", "txtRelation", true, "a\"b\"c", "Relation", "\"Ann's sisterabc\"\r\n");
        row("birthday, typed quote refused", "txtBirthday", false, "\"!", "Birthday", "\"1 May, 1970!\"\r\n");
        row("address, typed quote refused, Enter as CR LF", "txtAddress", false, "\"\rLS1", "Address",
            "\"12 Elm St, Flat 2\r\nLeeds\r\nLS1\"\r\n");
        row("directions take any length", "txtDrivingDirections", true, QString(200, 'n'), "DrivingDirections",
            "\"M1 north\r\n\r\nthen left" + QByteArray(200, 'n') + "\"\r\n");
        row("home", "txtHome", false, "1", "Numbers", QByteArray(numbers).replace("111", "1111"));
        row("cell", "txtCell", false, "2", "Numbers", QByteArray(numbers).replace("222", "2222"));
        row("work", "txtWork", false, "3", "Numbers", QByteArray(numbers).replace("333", "3333"));
        row("fax writes all five", "txtFax", false, "4", "Numbers", QByteArray(numbers).replace("444", "4444"));
        row("e-mail", "txtEmail", false, ".uk", "Numbers", QByteArray(numbers).replace(".org", ".org.uk"));
        // Tab moves on from a multi-line box (the main window's tab cycle follows where to).
        row("Tab types no tab", "txtAddress", false, "\t", "Address", "\"12 Elm St, Flat 2\r\nLeeds\"");
        row("pasted quotes dropped, multi-line", "txtAddress", true, " \"The Elms\"\nLS1", "Address",
            "\"12 Elm St, Flat 2\r\nLeeds The Elms\r\nLS1\"\r\n");
        // "\b" is Backspace: after one is deleted there is room for one more.
        row("notes typed stop at 150", "txtNumNotes", false, QString(160, 'x') + "\byz", "NumbNotes",
            "\"mornings only" + QByteArray(136, 'x') + "y\"\r\n");
        row("notes pasted cut at 150", "txtNumNotes", true, QString(200, 'n'), "NumbNotes",
            "\"mornings only" + QByteArray(137, 'n') + "\"\r\n");
        row("notes never cut inside a character", "txtNumNotes", true, QString(136, 'n') + "\U0001F600", "NumbNotes",
            "\"mornings only" + QByteArray(136, 'n') + "\"\r\n");
        row("one-line boxes take any length", "txtRelation", true, QString(40000, 'r'), "Relation",
            "\"Ann's sister" + QByteArray(40000, 'r') + "\"\r\n");
    }

    void editing()
    {
        QFETCH(QString, box);
        QFETCH(bool, paste);
        QFETCH(QString, text);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);

        Files expected = f->putStandardBook();
        f->startOn("Family", "Ann");
        auto *line = f->window().findChild<QLineEdit *>(box);
        auto *multi = f->window().findChild<QPlainTextEdit *>(box);
        line ? line->end(false) : multi->moveCursor(QTextCursor::End);
        if (paste) {
            QApplication::clipboard()->setText(text); // through the clipboard and the box's own paste
            line ? line->paste() : multi->paste();
        } else {
            QTest::keyClicks(line ? static_cast<QWidget *>(line) : multi, text);
        }
        expected["FamilyAnn" + file] = bytes;
        QCOMPARE(f->files(), expected);
    }

    // Files as the Windows program or a hand edit leave them: Windows-1252
    // text, CR LF inside a value, two dependants on one line, an empty entry.
    void foreignFiles()
    {
        f->putStandardBook();
        f->put({{"NamesListFamily", "\"Zo\xEB\"\r\n\"Anna\"\r\n\"Bo\"\r\n"},
                {"FamilyZoëAddress", "\"Rue de l'\xC9glise 5\r\nCaf\xE9 corner\"\r\n"},
                {"FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"},
                {"FamilyAnnaDependantsList", "\"\"\r\n\"Tom\"\r\n"}});
        FrmMain &w = f->startOn("Family", "Zoë");
        QCOMPARE(w.txtAddress->toPlainText(), "Rue de l'Église 5\nCafé corner");
        QTest::keyClicks(w.txtAddress, "!");
        QCOMPARE(f->file("FamilyZoëAddress"), QByteArray("\"!Rue de l'\xC3\x89glise 5\r\nCaf\xC3\xA9 corner\"\r\n"));

        // Removing the last dependant leaves an empty file.
        f->pickName("Bo");
        QCOMPARE(Controls::entries(w.lstChildren), (QStringList{"Tim", "Tom"}));
        f->platform.answers << true << true;
        for (int i = 0; i < 2; ++i) {
            w.lstChildren->setCurrentRow(0);
            w.cmdRemoveChildren->click();
        }
        QCOMPARE(f->files().value("FamilyBoDependantsList", "missing"), QByteArray(""));

        // An entry with no text cannot be chosen for removal.
        f->pickName("Anna");
        w.lstChildren->setCurrentRow(0);
        w.cmdRemoveChildren->click();
        QCOMPARE(f->platform.messages(), QStringList{"Please select a dependant to remove."});
        QCOMPARE(w.lstChildren->count(), 2);
    }
};

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
