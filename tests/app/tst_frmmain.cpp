// The main window as the user meets it: its controls, tab order, menus, keys and the ways out; the desktop's dialogs;
// the Readme window and the About box with its System Info button.

#include "support/testsupport.h"

#include "help/frmabout.h"
#include "help/frmreadme.h"
#include "platform/qtplatform.h"

#include <QAction>
#include <QClipboard>
#include <QInputDialog>
#include <QMessageBox>
#include <QTextBrowser>
#include <QTimer>

class TestFrmMain : public FixtureTest
{
    Q_OBJECT

    // The registry value that names the System Information program, the only one read on Linux.
    const QString msinfo = ScriptedPlatform::registryKey("HKEY_LOCAL_MACHINE", "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH");

    QStringList said; // what each real dialog showed: title, text, icon and buttons or default text

    // A "user" acting on the modal dialog once it is up.
    void answer(bool accept)
    {
        QTimer::singleShot(0, this, [this, accept] {
            QWidget *dialog = QApplication::activeModalWidget();
            if (auto *input = qobject_cast<QInputDialog *>(dialog)) {
                said << input->windowTitle() << input->labelText() << "default " + input->textValue();
                input->setTextValue("Family");
                return accept ? input->accept() : input->reject();
            }
            auto *box = qobject_cast<QMessageBox *>(dialog);
            if (!box) // whatever it is, it must not wait for ever
                return void(dialog && dialog->close());
            said << box->windowTitle() << box->text() << (box->icon() == QMessageBox::NoIcon ? "no icon" : "icon");
            for (QAbstractButton *button : box->buttons())
                said << button->text() + (button == box->defaultButton() ? " (default)" : "");
            box->button(box->buttons().size() == 1 ? QMessageBox::Ok : accept ? QMessageBox::Yes : QMessageBox::No)->click();
        });
    }

public:
    // The program runs in Fusion; the window is measured and drawn as the user sees it.
    static void initMain() { QApplication::setStyle("Fusion"); }

private slots:
    // The first start writes nothing until a category is added. Every window, and the tab order, as in
    // tests/data/windows.txt; backgrounds and button faces painted flat in their colour.
    void firstStart()
    {
        qputenv("XDG_DATA_HOME", (f->home.path() + "/fresh/share").toLocal8Bit());
        FrmMain &w = f->start();
        QVERIFY(f->showActive());
        const QString dataDir = f->home.path() + "/fresh/share/Kinfolio/Data";
        QCOMPARE(QDir(dataDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System), {});
        QVERIFY(w.minimumSize() == w.size() && w.maximumSize() == w.size());
        // Alt+P, Print Screen's access key, does nothing while the button is disabled.
        QTest::keyClick(w.cboRelationship, Qt::Key_P, Qt::AltModifier);
        QVERIFY(!w.cmdPrintScreen->isDown());
        QString seen = describe({&w, &w.picture.frmPic(), &w.colors.frmColors()});
        const QImage painted = w.grab().toImage();
        for (QWidget *widget : QWidgetList{w.client, w.cmdAddName, w.cmdExit, w.txtRelation})
            QVERIFY2(painted.pixelColor(widget->mapTo(&w, QPoint(4, widget->height() - 4))) == widget->palette().color(widget->backgroundRole()),
                     qPrintable(widget->objectName()));
        for (QWidget *control : w.client->findChildren<QWidget *>())
            control->setEnabled(true);
        w.cboRelationship->setFocus();
        for (int stops = 0; stops < 30 && (stops == 0 || QApplication::focusWidget() != w.cboRelationship); ++stops) {
            seen += QApplication::focusWidget()->objectName() + ' ';
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        w.mnuAbout->trigger();
        w.mnuReadme->trigger();
        seen += '\n' + describe({w.help.frmAbout(), w.help.frmReadme()});
        QCOMPARE(seen, storedText("windows.txt", seen));

        f->platform.inputs.enqueue("Family");
        w.cmdAddRelationship->click();
        QCOMPARE(filesIn(dataDir), (Files{{"RelationsList", listBytes({"Family"})}}));
    }

    // Keys pressed in a box after typing in it are the menu's, however the focus came there; Alt+P is the button's.
    void keys_data()
    {
        QTest::addColumn<QString>("how"); QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("came"); // into the box; "": given it directly
        QTest::addColumn<QStringList>("ran"); // the menu items and buttons run, then each end of the program
        QTest::newRow("click") << "click" << "txtRelation" << "" << QStringList{"cmdExit", "end"};
        QTest::newRow("close") << "close" << "txtRelation" << "" << QStringList{"end"};
        QTest::newRow("Ctrl+X") << "Ctrl+X" << "txtRelation" << "" << QStringList{"mnuExit", "end"};
        QTest::newRow("Ctrl+C") << "Ctrl+C" << "txtRelation" << "" << QStringList{"mnuEditColors"};
        QTest::newRow("Ctrl+A, multi-line") << "Ctrl+A" << "txtNumNotes" << "" << QStringList{"mnuAbout"};
        QTest::newRow("Alt+P") << "Alt+P" << "txtRelation" << "" << QStringList{"cmdPrintScreen"};
        for (const char *came : {"click", "Tab", "About closed", "picture window closed", "Edit Colors closed", "activated again"})
            QTest::newRow(qPrintable(QString("Ctrl+A after ") + came)) << "Ctrl+A" << "txtRelation" << came << QStringList{"mnuAbout"};
    }
    void keys()
    {
        QFETCH(QString, how); QFETCH(QString, focus); QFETCH(QString, came); QFETCH(QStringList, ran);
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Bo") && f->showActive()); // Bo has no files yet
        FrmMain &window = f->window();
        QWidget *box = window.findChild<QWidget *>(focus);
        QWidget *other = came.startsWith("picture") ? static_cast<QWidget *>(&window.picture.frmPic()) : &window.colors.frmColors();
        window.cmdRemoveName->setFocus();
        if (came == "click" || came == "Tab") {
            came == "Tab" ? QTest::keyClick(window.cmdRemoveName, Qt::Key_Tab) : QTest::mouseClick(box, Qt::LeftButton);
        } else if (box->setFocus(); came == "About closed") {
            QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
            QVERIFY(QTest::qWaitForWindowActive(window.help.frmAbout()));
            QTest::keyClick(window.help.frmAbout(), Qt::Key_Escape);
        } else if (!came.isEmpty()) {
            other->show();
            QApplication::setActiveWindow(other);
            QVERIFY(QTest::qWaitForWindowActive(other));
            came == "activated again" ? QApplication::setActiveWindow(&window) : void(other->close());
        }
        QTRY_COMPARE(window.focusWidget(), box);
        QTest::keyClicks(box, "Aunt Mary Lou");
        QTest::keySequence(box, QKeySequence::SelectPreviousWord);
        QApplication::clipboard()->setText("on the clipboard before");
        f->platform.answers.enqueue(false); // printing asks first: No
        QStringList seen;
        for (QAction *item : window.findChildren<QAction *>())
            connect(item, &QAction::triggered, item, [&seen, item] { seen << item->objectName(); });
        for (QPushButton *button : window.findChildren<QPushButton *>())
            connect(button, &QPushButton::clicked, button, [&seen, button] { seen << button->objectName(); });
        if (how == "click")
            QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        else if (how == "close")
            window.close();
        else
            QTest::keySequence(box, QKeySequence(how));
        // An access key shows the button down a moment before it acts.
        QTRY_VERIFY(seen.size() + f->platform.endProgramCalls >= ran.size());
        QCOMPARE((seen + QStringList(f->platform.endProgramCalls, "end")).join(" "), ran.join(" "));
        QCOMPARE(window.isVisible(), !ran.contains("end"));
        QCOMPARE(QApplication::clipboard()->text(), "on the clipboard before");
        // A click moves the focus, and a line box drops its selection with it.
        QCOMPARE(box->inputMethodQuery(Qt::ImSurroundingText).toString(), "Aunt Mary Lou");
        QCOMPARE(box->inputMethodQuery(Qt::ImCurrentSelection).toString(), how == "click" ? "" : "Lou");
    }

    // Ctrl+F opens Find; Down moves in the matches and Enter shows the contact.
    void find()
    {
        QVERIFY(f->putStandardBook() && f->startOn("Family", "Ann") && f->showActive());
        FrmMain &w = f->window();
        w.txtBirthday->setFocus();
        QTest::keyClick(w.txtBirthday, Qt::Key_F, Qt::ControlModifier);
        QVERIFY(w.frmFind() && w.frmFind()->isVisible());
        QCOMPARE(w.txtBirthday->text(), "1 May, 1970");
        FrmFind &find = *w.frmFind();
        QAbstractItemModel &found = *find.lstFound->model();
        const auto row = [&found](int at) {
            return QStringList{found.index(at, 0).data().toString(), found.index(at, 1).data().toString(), found.index(at, 2).data().toString()}.join('/');
        };
        QTest::keyClicks(find.txtFind, "ANN");
        QTRY_COMPARE(found.rowCount(), 5);
        QCOMPARE(row(3), "Carl/Friends/Children/Dependants/Etc");
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(find.txtFind, Qt::Key_Down);
        QTest::keyClick(find.txtFind, Qt::Key_Return);
        QCOMPARE(f->state(), "Friends/Carl | names on | details on | filled | Carl");
        QTest::keyClick(find.txtFind, Qt::Key_Escape);
        QVERIFY(!find.isVisible());
    }

    // The desktop's dialogs: a message has only OK; a question Yes (the default) and No; no icon; Cancel gives an
    // empty text.
    void dialogs()
    {
        QtPlatform platform;
        for (const bool accept : {true, false}) {
            said.clear();
            answer(accept);
            platform.showMessage(nullptr, "Hi");
            answer(accept);
            QCOMPARE(platform.askYesNo(nullptr, "Sure?", "Delete Category"), accept);
            answer(accept);
            QCOMPARE(platform.inputBox(nullptr, "Name?", "Add Name"), accept ? "Family" : "");
            QCOMPARE(said, (QStringList{"Kinfolio", "Hi", "no icon", "OK", "Delete Category", "Sure?", "no icon",
                                        "&Yes (default)", "&No", "Add Name", "Name?", "default "}));
        }
    }

    // Both windows leave the main window usable and show the program's one icon.
    void helpWindows()
    {
        FrmMain &w = f->start();
        const auto openBoth = [&w] { w.mnuReadme->trigger(); w.mnuAbout->trigger(); };
        openBoth();
        const QPointer<FrmReadme> readme = w.help.frmReadme();
        const QPointer<FrmAbout> about = w.help.frmAbout();
        QVERIFY(readme && about && !QApplication::activeModalWidget());
        QVERIFY(readme->wbsReadme->toPlainText().contains("~/.local/share/Kinfolio/Data/"));
        // Drawn at every size a desktop asks for, not scaled from one.
        QCOMPARE(w.windowIcon().availableSizes(), (QList<QSize>{{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
        const QImage icon = w.windowIcon().pixmap(32, 32).toImage();
        for (const QWidget *window : QList<QWidget *>{&w.picture.frmPic(), &w.colors.frmColors(), readme, about})
            QCOMPARE(window->windowIcon().pixmap(32, 32).toImage(), icon);
        QCOMPARE(about->picIcon->pixmap().toImage(), icon);
        // The controls follow the window's size (its first size is in tests/data/windows.txt).
        const QRect browser = readme->wbsReadme->geometry(), button = readme->cmdClose->geometry();
        readme->resize(readme->size() + QSize(100, 50));
        QCOMPARE(readme->wbsReadme->geometry(), browser.adjusted(0, 0, 100, 50));
        QCOMPARE(readme->cmdClose->geometry(), button.adjusted(0, 50, 100, 50));
        // Opened again at once, a window closed a moment ago (its deletion still waiting) comes anew.
        readme->close();
        about->close();
        openBoth();
        QVERIFY(!readme && !about && w.help.frmReadme() && w.help.frmAbout());
    }

    // A window opens once; every way of closing discards it, starting no System Info.
    void closeAndReopen_data()
    {
        QTest::addColumn<bool>("readme"); QTest::addColumn<Qt::Key>("key"); // or About; Key_unknown: its button clicked
        QTest::addColumn<bool>("sysInfo"); // started by a click first
        QTest::newRow("Readme: button") << true << Qt::Key_unknown << false;
        QTest::newRow("Readme: Esc") << true << Qt::Key_Escape << false;
        QTest::newRow("About: button") << false << Qt::Key_unknown << false;
        QTest::newRow("About: Enter") << false << Qt::Key_Return << false;
        QTest::newRow("About: Esc") << false << Qt::Key_Escape << false;
        QTest::newRow("About: Enter after System Info") << false << Qt::Key_Return << true;
    }

    void closeAndReopen()
    {
        QFETCH(bool, readme); QFETCH(Qt::Key, key); QFETCH(bool, sysInfo);
        // As the desktop's registry view gives it: the text with its closing NUL.
        f->platform.registry.insert(msinfo, {Platform::RegSz, QByteArray("info\0", 5)});
        FrmMain &w = f->start();
        const auto open = [&]() -> QWidget * {
            (readme ? w.mnuReadme : w.mnuAbout)->trigger();
            return readme ? static_cast<QWidget *>(w.help.frmReadme()) : w.help.frmAbout();
        };
        const QPointer<QWidget> first = open();
        QCOMPARE(open(), first.data());
        QVERIFY(!sysInfo || QTest::qWaitForWindowActive(first));
        if (sysInfo)
            QTest::mouseClick(w.help.frmAbout()->cmdSysInfo, Qt::LeftButton);
        if (key == Qt::Key_unknown)
            (readme ? w.help.frmReadme()->cmdClose : w.help.frmAbout()->cmdOK)->click();
        else
            QTest::keyClick(sysInfo ? QApplication::focusWidget() : first.data(), key);
        QTRY_VERIFY(first.isNull()); // discarded, not hidden
        QCOMPARE(f->platform.started, sysInfo ? QStringList{"info"} : QStringList());
        QVERIFY(open());
    }

    // Where the registry names no program, or it cannot start, System Info says so.
    void sysInfoUnavailable()
    {
        for (const bool named : {false, true}) {
            ScriptedPlatform platform;
            if (named)
                platform.registry.insert(msinfo, {Platform::RegSz, QByteArray("info\0", 5)});
            platform.canStartPrograms = !named;
            FrmAbout(platform).cmdSysInfo->click();
            QCOMPARE(platform.messages(), QStringList{"System Information Is Unavailable At This Time"});
        }
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
