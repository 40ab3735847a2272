// The main window as the user meets it: its controls, fonts, colours, tab
// order and menus, the state it starts in, and the ways out of the program.

#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

namespace {

const QStringList tabStops = QString("cboRelationship cmdAddRelationship cmdRemoveRelationship lstNames cmdAddName "
                                     "cmdRemoveName txtRelation txtBirthday lstChildren cmdAddChildren "
                                     "cmdRemoveChildren txtAddress txtDrivingDirections txtHome txtCell txtWork txtFax "
                                     "txtEmail txtNumNotes chkPic cmdEditColors cmdPrintScreen cmdPrintText cmdExit")
                                 .split(' ');

// A control as the window starts; a null caption: the control has none.
struct Layout
{
    const char *container, *className, *caption;
    bool enabled;
    QRect twips;
    bool autoSize = false; // sized to its text, so only placed
};

QtMessageHandler testlib = nullptr;

} // namespace

Q_DECLARE_METATYPE(Layout)

class TestFrmMain : public QObject
{
    Q_OBJECT

public:
    // The program runs in Fusion; the window is measured and drawn as the user sees it.
    static void initMain() { QApplication::setStyle("Fusion"); }

private:
    std::unique_ptr<Fixture> f;

    // The control named by the test row's tag, or by name.
    QWidget *control(const QString &name = QTest::currentDataTag()) { return f->window().findChild<QWidget *>(name); }

    // Starts the window shown and active, as the user meets it: keys then reach
    // the focused control and the menu's shortcuts the way a user's keys do.
    [[nodiscard]] bool show()
    {
        FrmMain &window = f->start();
        window.show();
        QApplication::setActiveWindow(&window);
        return QTest::qWaitForWindowActive(&window);
    }

    // Category Family with its contact Bob selected: every contact control in use.
    [[nodiscard]] bool showWithContact()
    {
        f->put("RelationsList", listBytes({"Family"}));
        f->put("NamesListFamily", listBytes({"Ann", "Bob"}));
        const bool shown = show();
        f->pickCategory("Family");
        f->pickName("Bob");
        return shown && f->window().currentName() == "Bob";
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
    void init() { f = std::make_unique<Fixture>(); }

    // With categories on disk but none chosen: no names and no contact yet, so
    // only what works without them is enabled.
    void controls_data()
    {
        QTest::addColumn<Layout>("layout");
        const auto row = [](const char *name, const Layout &layout) { QTest::newRow(name) << layout; };
        row("fraCategories", {"client", "QGroupBox", "Categories", true, {120, 120, 2895, 2775}});
        row("fraContactName", {"client", "QGroupBox", "Contact Name", true, {3120, 120, 6615, 975}});
        row("fraMiscInfo", {"client", "QGroupBox", "Misc. Informaton", true, {3120, 1080, 4695, 1815}});
        row("chkPic", {"client", "QCheckBox", "Show/Hide Picture", false, {7920, 1320, 1815, 255}});
        row("fraButtons", {"client", "QGroupBox", "", true, {7920, 1680, 1815, 4935}});
        row("fraInfo", {"client", "QGroupBox", "Home Address", true, {120, 3000, 3615, 3615}});
        row("fraNumbers", {"client", "QGroupBox", "Numbers", true, {3840, 3000, 3975, 3615}});
        row("lblCategory", {"fraCategories", "QLabel", "Category:", true, {240, 240, 1335, 255}});
        row("cboRelationship", {"fraCategories", "QComboBox", nullptr, true, {240, 480, 2415, 345}});
        row("cmdAddRelationship", {"fraCategories", "QPushButton", "Add", true, {240, 840, 1215, 255}});
        row("cmdRemoveRelationship", {"fraCategories", "QPushButton", "Remove", true, {1440, 840, 1215, 255}});
        row("lblNames", {"fraCategories", "QLabel", "Names:", true, {240, 1200, 1215, 255}});
        row("lstNames", {"fraCategories", "QListWidget", nullptr, false, {240, 1440, 2415, 960}});
        row("cmdAddName", {"fraCategories", "QPushButton", "Add", false, {240, 2400, 1215, 255}});
        row("cmdRemoveName", {"fraCategories", "QPushButton", "Remove", false, {1440, 2400, 1215, 255}});
        row("lblName", {"fraContactName", "QLabel", "No Contact Name Selected", true, {240, 240, 6255, 615}});
        row("lblRelation", {"fraMiscInfo", "QLabel", "Relation:", true, {120, 360, 1815, 255}});
        row("txtRelation", {"fraMiscInfo", "QLineEdit", nullptr, false, {120, 600, 1935, 330}});
        row("lblBirthday", {"fraMiscInfo", "QLabel", "Birthday:", true, {120, 960, 1815, 255}});
        row("txtBirthday", {"fraMiscInfo", "QLineEdit", nullptr, false, {120, 1200, 1935, 375}});
        row("lblDependants", {"fraMiscInfo", "QLabel", "Children/Dependants/Etc.:", true, {2280, 360, 2175, 255}});
        row("lstChildren", {"fraMiscInfo", "QListWidget", nullptr, false, {2280, 600, 2175, 735}});
        row("cmdAddChildren", {"fraMiscInfo", "QPushButton", "Add", false, {2280, 1440, 1095, 255}});
        row("cmdRemoveChildren", {"fraMiscInfo", "QPushButton", "Remove", false, {3360, 1440, 1095, 255}});
        row("lblAddress", {"fraInfo", "QLabel", "Address:", true, {240, 360, 975, 255}});
        row("txtAddress", {"fraInfo", "QPlainTextEdit", nullptr, false, {240, 600, 3135, 855}});
        row("lblDrivingDirections", {"fraInfo", "QLabel", "Driving Directions:", true, {240, 1560, 1695, 255}});
        row("txtDrivingDirections", {"fraInfo", "QPlainTextEdit", nullptr, false, {240, 1800, 3135, 1695}});
        row("lblHome", {"fraNumbers", "QLabel", "Home Phone #:", true, {240, 480, 1245, 240}, true});
        row("txtHome", {"fraNumbers", "QLineEdit", nullptr, false, {1560, 360, 2175, 375}});
        row("lblCell", {"fraNumbers", "QLabel", "Cell Phone #:", true, {360, 960, 1095, 240}, true});
        row("txtCell", {"fraNumbers", "QLineEdit", nullptr, false, {1560, 840, 2175, 375}});
        row("lblWork", {"fraNumbers", "QLabel", "Work Phone #:", true, {240, 1440, 1230, 240}, true});
        row("txtWork", {"fraNumbers", "QLineEdit", nullptr, false, {1560, 1320, 2175, 375}});
        row("lblFax", {"fraNumbers", "QLabel", "Fax #:", true, {840, 1920, 585, 240}, true});
        row("txtFax", {"fraNumbers", "QLineEdit", nullptr, false, {1560, 1800, 2175, 375}});
        row("Label1", {"fraNumbers", "QLabel", "E-Mail:", true, {840, 2400, 735, 375}});
        row("txtEmail", {"fraNumbers", "QLineEdit", nullptr, false, {1560, 2280, 2175, 375}});
        row("lblNotes", {"fraNumbers", "QLabel", "Notes:", true, {120, 2640, 615, 255}});
        row("txtNumNotes", {"fraNumbers", "QPlainTextEdit", nullptr, false, {120, 2880, 3615, 615}});
        row("cmdEditColors", {"fraButtons", "QPushButton", "Edit Colors", true, {120, 480, 1575, 615}});
        row("cmdPrintScreen", {"fraButtons", "QPushButton", "&Print Screen", false, {120, 1680, 1575, 615}});
        row("cmdPrintText", {"fraButtons", "QPushButton", "Print Text", false, {120, 2760, 1575, 615}});
        row("cmdExit", {"fraButtons", "QPushButton", "E&xit", true, {120, 3960, 1575, 615}});
    }
    void controls()
    {
        QFETCH(Layout, layout);
        f->put("RelationsList", listBytes({"Family", "Work"}));
        f->put("NamesListFamily", listBytes({"Ann"}));
        QVERIFY(show());
        const FrmMain &window = f->window();
        QWidget *widget = control();
        QVERIFY(widget && widget->isVisible());
        QVERIFY2(widget->inherits(layout.className), widget->metaObject()->className());
        QCOMPARE(widget->parentWidget()->objectName(), layout.container);
        if (layout.caption)
            QCOMPARE(widget->property(qobject_cast<QGroupBox *>(widget) ? "title" : "text").toString(), layout.caption);
        QCOMPARE(widget->isEnabled(), layout.enabled);
        const QRect &at = layout.twips;
        QCOMPARE(widget->pos(), QPoint(window.twipsToPixelsX(at.left()), window.twipsToPixelsY(at.top())));
        // An auto-size label takes the size of its text, so none of it is clipped.
        const QSize size(window.twipsToPixelsX(at.width()), window.twipsToPixelsY(at.height()));
        QCOMPARE(widget->size(), layout.autoSize ? widget->sizeHint() : size);
    }

    // Caption, size, menus and tab order.
    void window()
    {
        QVERIFY(show());
        const FrmMain &window = f->window();
        QCOMPARE(window.windowTitle(), "Kinfolio 1.0");
        QCOMPARE(window.client->size(), QSize(window.twipsToPixelsX(9870), window.twipsToPixelsY(6735)));
        QCOMPARE(window.size(), window.client->size() + QSize(0, window.menuBar()->height()));
        QCOMPARE(window.minimumSize(), window.size());
        QCOMPARE(window.maximumSize(), window.size());
        // Each menu's title, then its items: name|caption|keys, or a separator's name. Each
        // is usable: enabled, and its keys work anywhere in the window with the menu closed.
        QStringList menus;
        const auto usable = [](const QAction *action) {
            return action->isEnabled() && action->isVisible() && action->shortcutContext() == Qt::WindowShortcut;
        };
        for (const QAction *title : window.menuBar()->actions()) {
            menus << title->text() + (usable(title) ? "" : " unusable");
            for (const QAction *item : title->menu()->actions())
                menus << item->objectName() + (usable(item) ? "" : " unusable")
                             + (item->isSeparator() ? "" : '|' + item->text() + '|' + item->shortcut().toString());
        }
        QCOMPARE(menus, QStringList({"&File", "mnuPrintScreen|Print Screen|Ctrl+S", "mnuPrintTexzt|Print Text|Ctrl+T",
                                     "mnuHyphen1", "mnuExit|Exit|Ctrl+X",
                                     "&View", "mnuEditColors|Edit Colors|Ctrl+C",
                                     "&Help", "mnuReadme|Readme/How To...|Ctrl+R", "mnuHyphen3",
                                     "mnuAbout|About|Ctrl+A"}));

        // Round the whole cycle with Tab, as the user does, every control enabled.
        for (const QString &name : tabStops)
            control(name)->setEnabled(true);
        window.cboRelationship->setFocus();
        QStringList visited = {"cboRelationship"};
        for (qsizetype i = 0; i < tabStops.size() && QApplication::focusWidget(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : "<none>");
        }
        QCOMPARE(visited, tabStops + QStringList{"cboRelationship"});
    }

    // How a control looks: the window's font and the design colours.
    void looks_data()
    {
        QTest::addColumn<QString>("font"); // its point size, and whether bold
        QTest::addColumn<QPalette::ColorRole>("role");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("client") << "8.25" << QPalette::Window << QColor(0, 192, 192);
        QTest::newRow("fraNumbers") << "8.25" << QPalette::Window << QColor(0, 192, 192);
        QTest::newRow("fraContactName") << "8.25" << QPalette::WindowText << QColor(0, 0, 192);
        QTest::newRow("lblName") << "20.25" << QPalette::WindowText << QColor(0, 0, 192);
        QTest::newRow("lblFax") << "8.25 bold" << QPalette::WindowText << QColor(Qt::black);
        QTest::newRow("Label1") << "8.25 bold" << QPalette::WindowText << QColor(Qt::black);
        QTest::newRow("cmdAddName") << "8.25" << QPalette::Button << QColor(192, 192, 255);
        QTest::newRow("cmdExit") << "8.25" << QPalette::Button << QColor(128, 128, 255);
        QTest::newRow("txtRelation") << "8.25" << QPalette::Base << QColor(Qt::white);
        QTest::newRow("txtEmail") << "8.25" << QPalette::Text << QColor(Qt::black);
    }
    void looks()
    {
        QFETCH(QString, font);
        QFETCH(QPalette::ColorRole, role);
        QFETCH(QColor, colour);
        f->start();
        const QFont used = control()->font();
        QCOMPARE(used.families().value(0), "Comic Sans MS");
        QCOMPARE(QString::number(used.pointSizeF()) + (used.bold() ? " bold" : ""), font);
        const QPalette palette = control()->palette();
        QCOMPARE(palette.color(QPalette::Active, role), colour);
        QCOMPARE(palette.color(QPalette::Inactive, role), colour);
        // A background keeps its colour while disabled; text is left to grey.
        if (role != QPalette::WindowText && role != QPalette::Text)
            QCOMPARE(palette.color(QPalette::Disabled, role), colour);
    }

    // The palette alone does not tell whether the style paints a control in its
    // colours: this is what the user sees and Print Screen prints.
    void drawn()
    {
        QVERIFY(show());
        FrmMain &window = f->window();
        // The whole window, as Print Screen prints it: where a control leaves its background
        // unpainted, the window's own shows. The buttons' style fills a face flat, in exactly
        // the button's colour.
        const QImage image = window.grab().toImage();
        const auto at = [&](const QWidget *widget, QPoint point) {
            return image.pixelColor(widget->mapTo(&window, point));
        };
        QCOMPARE(at(window.cmdEditColors, {8, 8}), QColor(128, 128, 255));
        QCOMPARE(at(window.cmdAddName, {8, 8}), QColor(192, 192, 255)); // disabled at start-up
        QCOMPARE(at(window.client, {4, window.client->height() - 4}), QColor(0, 192, 192)); // below the frames
        // Greyed text tells the user at start-up which commands are not available yet.
        window.txtRelation->setText("Mary"); // an empty box has no text to grey
        for (QWidget *widget : {control("cmdPrintText"), control("txtRelation")}) {
            const auto darkest = [widget] { // the darkest ink inside the border
                const QRect inside = widget->rect().adjusted(3, 3, -3, -3);
                const QImage ink = widget->grab().toImage().convertToFormat(QImage::Format_RGB32).copy(inside);
                const auto *pixels = reinterpret_cast<const QRgb *>(ink.constBits());
                const auto darker = [](QRgb a, QRgb b) { return qGray(a) < qGray(b); };
                return qGray(*std::min_element(pixels, pixels + ink.width() * ink.height(), darker));
            };
            const int disabled = darkest();
            widget->setEnabled(true);
            QVERIFY2(disabled >= darkest() + 48, qPrintable(widget->objectName()));
        }
    }

    void startUp_data()
    {
        QTest::addColumn<QString>("dataHome"); // under the test's home
        QTest::addColumn<QStringList>("stored"); // empty: no list file yet
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("first start") << "" << QStringList() << QStringList();
        QTest::newRow("first start, data home not made yet") << "/fresh/share" << QStringList() << QStringList();
        QTest::newRow("next start") << "" << QStringList{"zoo", "Family", "acq"} << QStringList{"acq", "Family", "zoo"};
    }
    void startUp()
    {
        QFETCH(QString, dataHome);
        QFETCH(QStringList, stored);
        QFETCH(QStringList, shown);
        qputenv("XDG_DATA_HOME", (f->home.path() + dataHome).toLocal8Bit());
        const QDir dataDir(f->home.path() + dataHome + "/Kinfolio/Data");
        if (!stored.isEmpty())
            f->put("RelationsList", listBytes(stored));
        QVERIFY(show());
        QVERIFY(dataDir.exists());
        // Nothing is written at start-up, the list file included.
        QCOMPARE(dataDir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
                 stored.isEmpty() ? QStringList() : QStringList{"RelationsList"});
        QCOMPARE(f->file("RelationsList"), listBytes(stored));
        QCOMPARE(Controls::entries(f->window().cboRelationship), shown);
        QCOMPARE(f->window().cboRelationship->currentIndex(), -1);
        QCOMPARE(f->window().lblName->text(), "No Contact Name Selected");
        QVERIFY(!f->window().chkPic->isChecked());
    }

    // How: "click" cmdExit, "choose" File > Exit, "close" the window, or a key.
    void exitAndMenuKeys_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("item"); // the menu item run, if any
        const auto row = [](const char *how, const char *focus, const char *item) {
            QTest::addRow("%s in %s", how, focus) << QString(how) << QString(focus) << QString(item);
        };
        row("click", "txtRelation", "");
        row("choose", "txtRelation", "mnuExit");
        row("close", "txtRelation", "");
        // Cut, Copy and Select All are the menu's keys here, not the box's.
        row("Ctrl+X", "txtRelation", "mnuExit");
        row("Ctrl+C", "txtRelation", "mnuEditColors");
        row("Ctrl+A", "txtEmail", "mnuAbout");
        row("Ctrl+A", "txtNumNotes", "mnuAbout");
    }
    void exitAndMenuKeys()
    {
        QFETCH(QString, how);
        QFETCH(QString, focus);
        QFETCH(QString, item);
        QVERIFY(showWithContact());
        FrmMain &window = f->window();
        QWidget *box = control(focus);
        box->setFocus();
        QTest::keyClicks(box, "Aunt Mary Lou");
        QTest::keySequence(box, QKeySequence::SelectPreviousWord);
        QApplication::clipboard()->setText("on the clipboard before");
        QSignalSpy triggered(item.isEmpty() ? window.mnuExit : window.findChild<QAction *>(item), &QAction::triggered);

        if (how == "click")
            QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        else if (how == "choose")
            window.mnuExit->trigger();
        else if (how == "close")
            window.close();
        else
            QTest::keySequence(box, QKeySequence(how));

        const int ends = item.isEmpty() || item == "mnuExit" ? 1 : 0;
        QCOMPARE(f->platform.endProgramCalls, ends); // once, however the window closes
        QCOMPARE(window.isVisible(), ends == 0);
        QCOMPARE(triggered.size(), item.isEmpty() ? 0 : 1);
        // Asked alike of one- and multi-line boxes. A click moves the focus, and a line
        // box drops its selection with it.
        QCOMPARE(box->inputMethodQuery(Qt::ImSurroundingText).toString(), "Aunt Mary Lou");
        QCOMPARE(box->inputMethodQuery(Qt::ImCurrentSelection).toString(), how == "click" ? "" : "Lou");
        QCOMPARE(QApplication::clipboard()->text(), "on the clipboard before");
    }

    void printScreenAccessKeyOnlyWhileEnabled_data()
    {
        QTest::addColumn<bool>("withContact");
        QTest::newRow("no contact: button disabled") << false;
        QTest::newRow("contact selected: button enabled") << true;
    }
    void printScreenAccessKeyOnlyWhileEnabled()
    {
        QFETCH(bool, withContact);
        QVERIFY(withContact ? showWithContact() : show());
        QSignalSpy pressed(f->window().cmdPrintScreen, &QPushButton::clicked);
        QSignalSpy menuItem(f->window().mnuPrintScreen, &QAction::triggered);
        QTest::keyClick(f->window().cboRelationship, Qt::Key_P, Qt::AltModifier);
        QTest::qWait(400); // an access key shows the button pressed for a moment before it acts
        QCOMPARE(pressed.size(), withContact ? 1 : 0);
        QCOMPARE(menuItem.size(), 0); // Alt+P is the button's key, never the menu item's
    }
};

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
