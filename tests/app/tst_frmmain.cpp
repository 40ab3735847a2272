// The main window as the user meets it: its controls, fonts, colours, tab
// order and menus, the state it starts in, and the ways out of the program.

#include "support/testsupport.h"

#include <QAction>
#include <QClipboard>
#include <QMenuBar>
#include <QSignalSpy>

namespace {

const QStringList tabStops = QString("cboRelationship cmdAddRelationship cmdRemoveRelationship lstNames cmdAddName "
                                     "cmdRemoveName txtRelation txtBirthday lstChildren cmdAddChildren "
                                     "cmdRemoveChildren txtAddress txtDrivingDirections txtHome txtCell txtWork txtFax "
                                     "txtEmail txtNumNotes chkPic cmdEditColors cmdPrintScreen cmdPrintText cmdExit")
                                 .split(' ');

QtMessageHandler testlib = nullptr;

} // namespace

class TestFrmMain : public FixtureTest
{
    Q_OBJECT

public:
    // The program runs in Fusion; the window is measured and drawn as the user sees it.
    static void initMain() { QApplication::setStyle("Fusion"); }

private:
    // The control named by the test row's tag, or by name.
    QWidget *control(const QString &name = QTest::currentDataTag()) { return f->window().findChild<QWidget *>(name); }

    // Starts the window shown and active, as the user meets it: keys then reach the focused control
    // and the menu's shortcuts the way a user's keys do. A contact: Family's Bo, with no files yet.
    [[nodiscard]] bool show(bool withContact = false)
    {
        if (withContact && !(f->putStandardBook() && f->startOn("Family", "Bo")))
            return false;
        FrmMain &window = withContact ? f->window() : f->start();
        window.show();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    }

private slots:
    // The offscreen platform has no window manager to hand the fixed size or a
    // raise to, and says so for every window shown; nothing else is kept quiet.
    void initTestCase()
    {
        testlib = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &context, const QString &text) {
            if (!text.startsWith("This plugin does not support"))
                testlib(type, context, text);
        });
    }

    // Every control lies inside its container and clear of the others (the
    // design's frames and boxes touch by a pixel at most), and shows its text
    // whole.
    void layout()
    {
        QVERIFY(show());
        const QRegularExpression named("^(fra|lbl|Label|txt|lst|cbo|cmd|chk)");
        const QWidgetList containers = f->window().client->findChildren<QWidget *>(QRegularExpression("^fra"))
                                       << f->window().client;
        for (const QWidget *container : containers) {
            QWidgetList controls;
            for (QWidget *child : container->findChildren<QWidget *>(named, Qt::FindDirectChildrenOnly)) {
                QVERIFY2(container->rect().contains(child->geometry()), qPrintable(child->objectName()));
                for (const QWidget *other : controls) {
                    const QRect both = other->geometry() & child->geometry();
                    QVERIFY2(both.width() <= 1 || both.height() <= 1, qPrintable(other->objectName() + " " + child->objectName()));
                }
                controls << child;
                if (const auto *label = qobject_cast<QLabel *>(child))
                    QVERIFY2(label->wordWrap() ? label->heightForWidth(label->width()) <= label->height()
                                               : label->sizeHint().width() <= label->width(),
                             qPrintable(label->objectName()));
            }
            QVERIFY(container == f->window().client ? controls.size() == 7 : !controls.isEmpty());
        }
    }

    // The first start makes the data directory, however deep, and writes
    // nothing into it until the first category is added.
    void window()
    {
        qputenv("XDG_DATA_HOME", (f->home.path() + "/fresh/share").toLocal8Bit());
        QVERIFY(show());
        const FrmMain &window = f->window();
        const QDir dataDir(f->home.path() + "/fresh/share/Kinfolio/Data");
        QVERIFY(dataDir.exists());
        QCOMPARE(dataDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System), {});
        QCOMPARE(Controls::entries(window.cboRelationship), {});
        QCOMPARE(f->state(), "/ | names off | details off | empty | No Contact Name Selected");
        QVERIFY(!window.chkPic->isChecked());
        // Alt+P, Print Screen's access key, does nothing while the button is
        // disabled: an enabled button would be down now and act a moment later.
        QTest::keyClick(window.cboRelationship, Qt::Key_P, Qt::AltModifier);
        QVERIFY(!window.cmdPrintScreen->isDown());
        QCOMPARE(window.windowTitle(), "Kinfolio 1.0");
        QCOMPARE(window.client->size(), QSize(Controls::twipsToPixels(&window, 9870, Qt::Horizontal), Controls::twipsToPixels(&window, 6735, Qt::Vertical)));
        QCOMPARE(window.size(), window.client->size() + QSize(0, window.menuBar()->height()));
        QCOMPARE(window.minimumSize(), window.size());
        QCOMPARE(window.maximumSize(), window.size());
        // Round the whole cycle with Tab, as the user does, every control enabled.
        for (const QString &name : tabStops)
            control(name)->setEnabled(true);
        window.cboRelationship->setFocus();
        QStringList visited;
        while (QApplication::focusWidget() && visited.size() <= tabStops.size()) {
            visited << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(visited, tabStops + QStringList{"cboRelationship"});

        f->platform.inputs.enqueue("Family");
        window.cmdAddRelationship->click();
        QCOMPARE(filesIn(dataDir.path()), (Files{{"RelationsList", listBytes({"Family"})}}));
        QCOMPARE(f->state(), "Family/ | names on | details off | empty | No Contact Name Selected");
    }

    // How a control looks as the window starts: the window's font and the design colours.
    void looks_data()
    {
        QTest::addColumn<QString>("font"); // its point size, and whether bold
        QTest::addColumn<QPalette::ColorRole>("role");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("client") << "8.25" << QPalette::Window << QColor(0, 192, 192);
        QTest::newRow("fraContactName") << "8.25" << QPalette::WindowText << QColor(0, 0, 192);
        QTest::newRow("lblName") << "20.25" << QPalette::WindowText << QColor(0, 0, 192);
        QTest::newRow("lblFax") << "8.25 bold" << QPalette::WindowText << QColor(Qt::black);
        QTest::newRow("Label1") << "8.25 bold" << QPalette::WindowText << QColor(Qt::black);
        QTest::newRow("cmdAddName") << "8.25" << QPalette::Button << QColor(192, 192, 255); // disabled
        QTest::newRow("cmdExit") << "8.25" << QPalette::Button << QColor(128, 128, 255);
        QTest::newRow("cmdPrintText") << "8.25" << QPalette::ButtonText << QColor(Qt::black); // disabled
        QTest::newRow("txtRelation") << "8.25" << QPalette::Base << QColor(Qt::white);         // disabled
        QTest::newRow("txtEmail") << "8.25" << QPalette::Text << QColor(Qt::black);            // disabled
    }
    void looks()
    {
        QFETCH(QString, font);
        QFETCH(QPalette::ColorRole, role);
        QFETCH(QColor, colour);
        QVERIFY(show());
        FrmMain &window = f->window();
        QWidget *widget = control();
        QCOMPARE(widget->font().families().value(0), "Comic Sans MS");
        QCOMPARE(QString::number(widget->font().pointSizeF()) + (widget->font().bold() ? " bold" : ""), font);
        QCOMPARE(widget->palette().color(QPalette::Active, role), colour);
        QCOMPARE(widget->palette().color(QPalette::Inactive, role), colour);
        // The palette alone does not tell what the style paints; the user sees, and Print Screen
        // prints, the whole window. A background keeps its colour while disabled, and the buttons'
        // style fills a face flat, in exactly its colour.
        if (role == QPalette::Window || role == QPalette::Button || role == QPalette::Base) {
            QCOMPARE(widget->palette().color(QPalette::Disabled, role), colour);
            const QPoint spot = widget->mapTo(&window, QPoint(4, widget->height() - 4));
            QCOMPARE(window.grab().toImage().pixelColor(spot), colour);
        } else if (role != QPalette::WindowText) { // greyed text: not available yet
            if (auto *box = qobject_cast<QLineEdit *>(widget))
                box->setText("Mary"); // an empty box has no text to grey
            const auto darkest = [widget] { // the darkest ink inside the border
                const QRect inside = widget->rect().adjusted(3, 3, -3, -3);
                const QImage ink = widget->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(inside);
                const auto *pixels = reinterpret_cast<const QRgb *>(ink.constBits());
                const auto darker = [](QRgb a, QRgb b) { return qGray(a) < qGray(b); };
                return qGray(*std::min_element(pixels, pixels + ink.width() * ink.height(), darker));
            };
            const int disabled = darkest();
            widget->setEnabled(true);
            QVERIFY(disabled >= darkest() + 48);
        }
    }

    // How: "click" cmdExit, "close" the window, or keys pressed in the box
    // after typing in it. Every menu key works from every box.
    void keys_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QStringList>("ran"); // the menu items and buttons run, then each end of the program
        const auto row = [](const char *how, const char *focus, const QStringList &ran) {
            QTest::addRow("%s in %s", how, focus) << QString(how) << QString(focus) << ran;
        };
        row("click", "txtRelation", {"cmdExit", "end"});
        row("close", "txtRelation", {"end"});
        // Cut, Copy and Select All are the menu's keys here, not the box's.
        row("Ctrl+X", "txtRelation", {"mnuExit", "end"});
        row("Ctrl+C", "txtRelation", {"mnuEditColors"});
        row("Ctrl+A", "txtEmail", {"mnuAbout"});
        row("Ctrl+A", "txtNumNotes", {"mnuAbout"});
        row("Ctrl+S", "txtBirthday", {"mnuPrintScreen"});
        row("Ctrl+T", "txtAddress", {"mnuPrintTexzt"});
        row("Ctrl+R", "txtDrivingDirections", {"mnuReadme"});
        row("Alt+P", "txtRelation", {"cmdPrintScreen"}); // the button's access key, never the menu item's
    }
    void keys()
    {
        QFETCH(QString, how);
        QFETCH(QString, focus);
        QFETCH(QStringList, ran);
        QVERIFY(show(true));
        FrmMain &window = f->window();
        QWidget *box = control(focus);
        box->setFocus();
        QTest::keyClicks(box, "Aunt Mary Lou");
        QTest::keySequence(box, QKeySequence::SelectPreviousWord);
        QApplication::clipboard()->setText("on the clipboard before");
        f->platform.answers.enqueue(false); // printing asks first: No
        std::vector<std::pair<QObject *, std::unique_ptr<QSignalSpy>>> spies;
        for (QAction *item : window.findChildren<QAction *>())
            spies.emplace_back(item, std::make_unique<QSignalSpy>(item, &QAction::triggered));
        for (QPushButton *button : window.findChildren<QPushButton *>())
            spies.emplace_back(button, std::make_unique<QSignalSpy>(button, &QPushButton::clicked));
        if (how == "click")
            QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        else if (how == "close")
            window.close();
        else
            QTest::keySequence(box, QKeySequence(how));
        const auto seen = [&] {
            QStringList seen;
            for (const auto &[sender, spy] : spies)
                seen << QStringList(spy->size(), sender->objectName());
            return seen << QStringList(f->platform.endProgramCalls, "end");
        };
        QTRY_COMPARE(seen(), ran); // an access key shows the button down a moment before it acts
        QCOMPARE(window.isVisible(), !ran.contains("end"));
        QCOMPARE(QApplication::clipboard()->text(), "on the clipboard before");
        // Asked alike of one- and multi-line boxes. A click moves the focus, and a line
        // box drops its selection with it.
        QCOMPARE(box->inputMethodQuery(Qt::ImSurroundingText).toString(), "Aunt Mary Lou");
        QCOMPARE(box->inputMethodQuery(Qt::ImCurrentSelection).toString(), how == "click" ? "" : "Lou");
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
