#include "support/testsupport.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTest>

using Files = QMap<QString, QByteArray>;
using Shown = ScriptedPlatform::Shown;

class TestDetails : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<Fixture> f;

    // Family holds Ann Lee, with a value in every field, and Bo, with none yet.
    Files storeFamily()
    {
        const Files files{
            {"RelationsList", listBytes({"Family"})},
            {"NamesListFamily", listBytes({"Ann Lee", "Bo"})},
            {"FamilyAnn LeeBirthday", "\"1 May, 1970\"\r\n"},
            {"FamilyAnn LeeRelation", "\"Mum's sister\"\r\n"},
            {"FamilyAnn LeeAddress", "\"12 Elm St, Flat 2\r\nLeeds\"\r\n"},
            {"FamilyAnn LeeDrivingDirections", "\"M1 north\r\n\r\nthen left\"\r\n"},
            {"FamilyAnn LeeNumbers", "\"111\",\"222\",\"333\",\"444\",\"ann@lee.org\"\r\n"},
            {"FamilyAnn LeeNumbNotes", "\"work: mornings only\"\r\n"},
            {"FamilyAnn LeeDependantsList", "\"Zoe\"\r\n\"Anna\"\r\n"},
            {"FamilyBoDependantsList", ""},
        };
        for (auto it = files.cbegin(); it != files.cend(); ++it)
            f->put(it.key(), it.value());
        return files;
    }

    FrmMain &startOn(const QString &name)
    {
        FrmMain &w = f->start();
        f->pickCategory("Family");
        f->pickName(name);
        return w;
    }

    QWidget *box(const QString &name) { return f->window().findChild<QWidget *>(name); }

    static QString textOf(QWidget *box)
    {
        if (auto *line = qobject_cast<QLineEdit *>(box))
            return line->text();
        return qobject_cast<QPlainTextEdit *>(box)->toPlainText();
    }

    // Pastes as the user would, through the clipboard and the box's own paste.
    static void paste(QWidget *box, const QString &text)
    {
        QApplication::clipboard()->setText(text);
        if (auto *line = qobject_cast<QLineEdit *>(box))
            line->paste();
        else
            qobject_cast<QPlainTextEdit *>(box)->paste();
    }

private slots:
    void init() { f = std::make_unique<Fixture>(); }
    void cleanup()
    {
        QVERIFY2(f->platform.unanswered.isEmpty(), qPrintable(f->platform.unanswered.join('|')));
        f.reset();
    }

    void selectingShowsStoredValuesAndWritesNothing()
    {
        const Files stored = storeFamily();
        FrmMain &w = startOn("Ann Lee");
        QCOMPARE(w.txtBirthday->text(), "1 May, 1970");
        QCOMPARE(w.txtRelation->text(), "Mum's sister");
        QCOMPARE(w.txtAddress->toPlainText(), "12 Elm St, Flat 2\nLeeds");
        QCOMPARE(w.txtDrivingDirections->toPlainText(), "M1 north\n\nthen left");
        QCOMPARE((QStringList{w.txtHome->text(), w.txtCell->text(), w.txtWork->text(), w.txtFax->text(),
                              w.txtEmail->text()}),
                 (QStringList{"111", "222", "333", "444", "ann@lee.org"}));
        QCOMPARE(w.txtNumNotes->toPlainText(), "work: mornings only");
        QCOMPARE(Controls::entries(w.lstChildren), (QStringList{"Anna", "Zoe"}));
        QCOMPARE(f->files(), stored);
    }

    // A field without a file keeps what the previous contact showed, and no file is made for it.
    void missingFilesKeepTheBoxes()
    {
        Files stored = storeFamily();
        f->put("FamilyBoNumbers", "\"9\",\"8\",\"7\",\"6\"\r\n"); // one field short
        stored.insert("FamilyBoNumbers", "\"9\",\"8\",\"7\",\"6\"\r\n");
        FrmMain &w = startOn("Ann Lee");
        f->pickName("Bo");
        QCOMPARE(w.txtBirthday->text(), "1 May, 1970");
        QCOMPARE(w.txtHome->text(), "111");
        QCOMPARE(w.txtEmail->text(), "ann@lee.org");
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->files(), stored);
    }

    void typingRewritesItsFile_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("bytes");

        QTest::newRow("birthday") << "txtBirthday" << "!" << "Birthday" << QByteArray("\"1 May, 1970!\"\r\n");
        QTest::newRow("relation") << "txtRelation" << "s" << "Relation" << QByteArray("\"Mum's sisters\"\r\n");
        QTest::newRow("address, Enter as CR LF") << "txtAddress" << "\rLS1" << "Address"
                                                 << QByteArray("\"12 Elm St, Flat 2\r\nLeeds\r\nLS1\"\r\n");
        QTest::newRow("driving directions") << "txtDrivingDirections" << "." << "DrivingDirections"
                                            << QByteArray("\"M1 north\r\n\r\nthen left.\"\r\n");
        QTest::newRow("notes") << "txtNumNotes" << "," << "NumbNotes" << QByteArray("\"work: mornings only,\"\r\n");
        QTest::newRow("home") << "txtHome" << "1" << "Numbers"
                              << QByteArray("\"1111\",\"222\",\"333\",\"444\",\"ann@lee.org\"\r\n");
        QTest::newRow("fax writes all five") << "txtFax" << "4" << "Numbers"
                                             << QByteArray("\"111\",\"222\",\"333\",\"4444\",\"ann@lee.org\"\r\n");
        QTest::newRow("e-mail") << "txtEmail" << ".uk" << "Numbers"
                                << QByteArray("\"111\",\"222\",\"333\",\"444\",\"ann@lee.org.uk\"\r\n");
        QTest::newRow("double quote refused") << "txtBirthday" << "\"" << "Birthday" << QByteArray("\"1 May, 1970\"\r\n");
        QTest::newRow("double quote refused, multi-line") << "txtAddress" << "\"x" << "Address"
                                                          << QByteArray("\"12 Elm St, Flat 2\r\nLeedsx\"\r\n");
    }

    // Each keystroke rewrites the box's own file, and only that file.
    void typingRewritesItsFile()
    {
        QFETCH(QString, box);
        QFETCH(QString, typed);
        QFETCH(QString, file);
        QFETCH(QByteArray, bytes);

        Files expected = storeFamily();
        startOn("Ann Lee");
        QWidget *target = this->box(box);
        target->setFocus();
        if (auto *line = qobject_cast<QLineEdit *>(target))
            line->end(false);
        else
            qobject_cast<QPlainTextEdit *>(target)->moveCursor(QTextCursor::End);
        QTest::keyClicks(target, typed);
        expected["FamilyAnn Lee" + file] = bytes;
        QCOMPARE(f->files(), expected);
    }

    void pasting_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("pasted");
        QTest::addColumn<QString>("shown");

        const QString long200(200, 'n');
        QTest::newRow("quotes dropped, rest kept") << "txtBirthday" << "a\"b\"c" << "abc";
        QTest::newRow("quotes dropped, multi-line") << "txtAddress" << "1 \"The Elms\"\nLeeds" << "1 The Elms\nLeeds";
        QTest::newRow("notes cut at 150") << "txtNumNotes" << long200 << QString(150, 'n');
        QTest::newRow("other boxes take any length") << "txtDrivingDirections" << long200 << long200;
    }

    void pasting()
    {
        QFETCH(QString, box);
        QFETCH(QString, pasted);
        QFETCH(QString, shown);

        storeFamily();
        f->put("NamesListFamily", listBytes({"Ann Lee", "Bo", "Cy"}));
        startOn("Cy"); // no files: every box starts empty
        paste(this->box(box), pasted);
        QCOMPARE(textOf(this->box(box)), shown);
        QStringList stored;
        const QString file = box == "txtBirthday" ? "Birthday" : box == "txtAddress" ? "Address"
                             : box == "txtNumNotes" ? "NumbNotes" : "DrivingDirections";
        QVERIFY(RecordFile::readRecord(f->dataDir() + "FamilyCy" + file, 1, stored));
        QCOMPARE(stored.first(), shown);
    }

    void notesTakeAtMost150TypedCharacters()
    {
        storeFamily();
        FrmMain &w = startOn("Bo");
        QTest::keyClicks(w.txtNumNotes, QString(160, 'x'));
        QCOMPARE(w.txtNumNotes->toPlainText(), QString(150, 'x'));
        QCOMPARE(f->file("FamilyBoNumbNotes"), "\"" + QByteArray(150, 'x') + "\"\r\n");
        QTest::keyClick(w.txtNumNotes, Qt::Key_Backspace);
        QTest::keyClicks(w.txtNumNotes, "yz");
        QCOMPARE(w.txtNumNotes->toPlainText(), QString(149, 'x') + "y");
    }

    // After a removal the boxes stay enabled with no contact: nothing is written then.
    void noContactSelectedWritesNothing()
    {
        storeFamily();
        FrmMain &w = startOn("Bo");
        f->platform.answers.enqueue(true);
        w.cmdRemoveName->click();
        const Files afterRemoval = f->files();
        QVERIFY(w.txtBirthday->isEnabled());
        QTest::keyClicks(w.txtBirthday, "12 June");
        QTest::keyClicks(w.txtFax, "5");
        f->platform.inputs.enqueue("Tom");
        w.cmdAddChildren->click();
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->files(), afterRemoval);
        QVERIFY(!f->files().contains("FamilyBirthday"));

        // Choosing a category empties the boxes with no contact selected: still nothing written.
        f->pickCategory("Family");
        QCOMPARE(f->files(), afterRemoval);
    }

    void multiLineBoxesMoveOnWithTab()
    {
        storeFamily();
        FrmMain &w = startOn("Bo");
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        w.txtAddress->setFocus();
        QTest::keyClick(w.txtAddress, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.txtDrivingDirections);
        QCOMPARE(w.txtAddress->toPlainText(), QString());
    }

    // Files written by the Windows program: CR LF inside a value, Windows-1252 text.
    void windowsFiles()
    {
        f->put("RelationsList", "\"Family\"\r\n");
        f->put("NamesListFamily", "\"Zo\xEB\"\r\n");
        f->put("FamilyZo\xC3\xAB" "Address", "\"Rue de l'\xC9glise 5\r\nCaf\xE9 corner\"\r\n");
        FrmMain &w = f->start();
        f->pickCategory("Family");
        QCOMPARE(Controls::entries(w.lstNames), QStringList{"Zoë"});
        f->pickName("Zoë");
        QCOMPARE(w.txtAddress->toPlainText(), "Rue de l'Église 5\nCafé corner");
        QTest::keyClicks(w.txtAddress, "!");
        QCOMPARE(f->file("FamilyZoëAddress"), QByteArray("\"!Rue de l'\xC3\x89glise 5\r\nCaf\xC3\xA9 corner\"\r\n"));
    }

    void addDependant_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("listed");

        const QStringList stored{"Anna", "Zoe"};
        QTest::newRow("cancel") << "" << "" << stored;
        QTest::newRow("sorted place") << "Tom" << "" << QStringList{"Anna", "Tom", "Zoe"};
        QTest::newRow("ignoring case") << "bob" << "" << QStringList{"Anna", "bob", "Zoe"};
        QTest::newRow("comma kept in one entry") << "Lee, Tom" << "" << QStringList{"Anna", "Lee, Tom", "Zoe"};
        QTest::newRow("duplicate") << "Anna" << "" << QStringList{"Anna", "Anna", "Zoe"};
        QTest::newRow("double quote refused") << "Tom \"Tiny\""
                                              << "Sorry, a dependant's name cannot include a double quote ( \" )."
                                              << stored;
    }

    void addDependant()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QStringList, listed);

        Files expected = storeFamily();
        FrmMain &w = startOn("Ann Lee");
        f->platform.inputs.enqueue(typed);
        w.cmdAddChildren->click();

        QCOMPARE(f->platform.shown.first(),
                 (Shown{Shown::Input, "Please type in a name to add to the database", "Add Name"}));
        QCOMPARE(f->platform.messages(), message.isEmpty() ? QStringList{} : QStringList{message});
        QCOMPARE(Controls::entries(w.lstChildren), listed);
        if (listed.size() == 3) {
            expected["FamilyAnn LeeDependantsList"] = listBytes(listed);
            QCOMPARE(Controls::selectedText(w.lstChildren), typed);
            QCOMPARE(w.lstChildren->currentRow(), listed.indexOf(typed));
        }
        QCOMPARE(f->files(), expected);
    }

    void removeDependant_data()
    {
        QTest::addColumn<QString>("selected"); // empty: none
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QStringList>("listed");

        QTest::newRow("nothing selected") << "" << true << QStringList{"Anna", "Zoe"};
        QTest::newRow("answer no") << "Zoe" << false << QStringList{"Anna", "Zoe"};
        QTest::newRow("answer yes") << "Zoe" << true << QStringList{"Anna"};
    }

    void removeDependant()
    {
        QFETCH(QString, selected);
        QFETCH(bool, yes);
        QFETCH(QStringList, listed);

        Files expected = storeFamily();
        FrmMain &w = startOn("Ann Lee");
        if (!selected.isEmpty())
            w.lstChildren->setCurrentItem(w.lstChildren->findItems(selected, Qt::MatchExactly).first());
        f->platform.answers.enqueue(yes);
        w.cmdRemoveChildren->click();

        if (selected.isEmpty()) {
            QCOMPARE(f->platform.shown, (QList<Shown>{{Shown::Message, "Please select a dependant to remove.", "Kinfolio"}}));
            f->platform.answers.clear();
        } else {
            QCOMPARE(f->platform.shown,
                     (QList<Shown>{{Shown::Question,
                                    "You have chosen to delete " + selected
                                        + " from Ann Lee's dependants list. Are you sure?",
                                    "Delete Category"}}));
        }
        QCOMPARE(Controls::entries(w.lstChildren), listed);
        if (listed.size() < 2)
            expected["FamilyAnn LeeDependantsList"] = listBytes(listed);
        QCOMPARE(f->files(), expected);
    }

    void removingTheLastDependantLeavesAnEmptyFile()
    {
        storeFamily();
        f->put("FamilyBoDependantsList", "\"Tom\",\"Tim\"\r\n"); // two on one line: two entries
        FrmMain &w = startOn("Bo");
        QCOMPARE(Controls::entries(w.lstChildren), (QStringList{"Tim", "Tom"}));
        for (int i = 0; i < 2; ++i) {
            w.lstChildren->setCurrentRow(0);
            f->platform.answers.enqueue(true);
            w.cmdRemoveChildren->click();
        }
        QCOMPARE(w.lstChildren->count(), 0);
        QCOMPARE(f->file("FamilyBoDependantsList"), QByteArray(""));
        QVERIFY(f->files().contains("FamilyBoDependantsList"));
        f->pickName("Ann Lee");
        f->pickName("Bo");
        QCOMPARE(w.lstChildren->count(), 0);
    }

    // An entry read from a file with an empty text cannot be chosen for removal.
    void emptyDependantCannotBeRemoved()
    {
        storeFamily();
        f->put("FamilyBoDependantsList", "\"\"\r\n\"Tom\"\r\n");
        FrmMain &w = startOn("Bo");
        w.lstChildren->setCurrentRow(0);
        w.cmdRemoveChildren->click();
        QCOMPARE(f->platform.messages(), QStringList{"Please select a dependant to remove."});
        QCOMPARE(w.lstChildren->count(), 2);
    }

    void addDependantThatCannotBeStored()
    {
        storeFamily();
        FrmMain &w = startOn("Ann Lee");
        QVERIFY(QDir(f->dataDir()).removeRecursively());
        f->platform.inputs.enqueue("Tom");
        w.cmdAddChildren->click();
        QCOMPARE(f->platform.messages(),
                 QStringList{"Sorry, the new dependant could not be saved in " + f->dataDir() + ". Nothing was added."});
        QCOMPARE(Controls::entries(w.lstChildren), (QStringList{"Anna", "Zoe"}));
    }
};

QTEST_MAIN(TestDetails)
#include "tst_details.moc"
