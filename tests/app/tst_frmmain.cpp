// The main window as the user meets it: its controls, fonts, colours, tab
// order and menus, the state it starts in, and the ways out of the program.

#include "support/testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFontInfo>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStyle>
#include <QTest>

namespace {

const QString windowCaption = QStringLiteral("Kinfolio 1.0");
const QString noContactName = QStringLiteral("No Contact Name Selected");

// Long enough for a button pressed by its access key to have acted.
constexpr int settle = 400;

const QColor formBack(0, 192, 192);
const QColor darkBlue(0, 0, 192);
const QColor black(0, 0, 0);
const QColor white(255, 255, 255);
const QColor minorButton(192, 192, 255);
const QColor mainButton(128, 128, 255);

// Anti-aliasing and the style's shading move a drawn colour a little; a
// glyph's thin strokes blend further into the background.
constexpr int drawTolerance = 24;
constexpr int textTolerance = 48;

const QStringList tabOrder = {
    QStringLiteral("cboRelationship"),     QStringLiteral("cmdAddRelationship"), QStringLiteral("cmdRemoveRelationship"),
    QStringLiteral("lstNames"),            QStringLiteral("cmdAddName"),         QStringLiteral("cmdRemoveName"),
    QStringLiteral("txtRelation"),         QStringLiteral("txtBirthday"),        QStringLiteral("lstChildren"),
    QStringLiteral("cmdAddChildren"),      QStringLiteral("cmdRemoveChildren"),  QStringLiteral("txtAddress"),
    QStringLiteral("txtDrivingDirections"), QStringLiteral("txtHome"),           QStringLiteral("txtCell"),
    QStringLiteral("txtWork"),             QStringLiteral("txtFax"),             QStringLiteral("txtEmail"),
    QStringLiteral("txtNumNotes"),         QStringLiteral("chkPic"),             QStringLiteral("cmdEditColors"),
    QStringLiteral("cmdPrintScreen"),      QStringLiteral("cmdPrintText"),       QStringLiteral("cmdExit")};

const QStringList textBoxes = {QStringLiteral("txtRelation"), QStringLiteral("txtBirthday"),
                               QStringLiteral("txtAddress"),  QStringLiteral("txtDrivingDirections"),
                               QStringLiteral("txtHome"),     QStringLiteral("txtCell"),
                               QStringLiteral("txtWork"),     QStringLiteral("txtFax"),
                               QStringLiteral("txtEmail"),    QStringLiteral("txtNumNotes")};

const QStringList captionedFrames = {QStringLiteral("fraCategories"), QStringLiteral("fraContactName"),
                                     QStringLiteral("fraMiscInfo"), QStringLiteral("fraInfo"),
                                     QStringLiteral("fraNumbers")};
const QStringList frames = captionedFrames + QStringList{QStringLiteral("fraButtons")};

const QStringList boldLabels = {QStringLiteral("lblCategory"), QStringLiteral("lblNames"),
                                QStringLiteral("lblRelation"), QStringLiteral("lblBirthday"),
                                QStringLiteral("lblDependants"), QStringLiteral("lblAddress"),
                                QStringLiteral("lblDrivingDirections"), QStringLiteral("lblHome"),
                                QStringLiteral("lblCell"), QStringLiteral("lblWork"),
                                QStringLiteral("lblFax"), QStringLiteral("Label1"),
                                QStringLiteral("lblNotes")};

const QStringList minorButtons = {QStringLiteral("cmdAddRelationship"), QStringLiteral("cmdRemoveRelationship"),
                                  QStringLiteral("cmdAddName"),         QStringLiteral("cmdRemoveName"),
                                  QStringLiteral("cmdAddChildren"),     QStringLiteral("cmdRemoveChildren")};
const QStringList mainButtons = {QStringLiteral("cmdEditColors"), QStringLiteral("cmdPrintScreen"),
                                 QStringLiteral("cmdPrintText"), QStringLiteral("cmdExit")};

QWidget *control(FrmMain &window, const QString &name)
{
    if (window.objectName() == name)
        return &window;
    return window.findChild<QWidget *>(name);
}

// The name of the control that owns the focus, for a focus that sits on a
// control's inner part.
QString namedOwner(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        if (tabOrder.contains(widget->objectName()))
            return widget->objectName();
    }
    return QStringLiteral("<no named control>");
}

// The window shown and active, as after start-up: keys then reach the
// focused control and the menu's shortcuts the way a user's keys do.
[[nodiscard]] bool showActive(FrmMain &window)
{
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
}

[[nodiscard]] bool focusOn(QWidget *widget)
{
    widget->setFocus(Qt::OtherFocusReason);
    return QTest::qWaitFor([widget] { return QApplication::focusWidget() == widget; });
}

// Starts with the category Family and its contact Bob selected, so that
// every contact control is in use as in everyday work.
FrmMain &startWithContact(Fixture &fixture)
{
    fixture.put(QStringLiteral("RelationsList"), listBytes({QStringLiteral("Family")}));
    fixture.put(QStringLiteral("NamesListFamily"), listBytes({QStringLiteral("Ann"), QStringLiteral("Bob")}));
    FrmMain &window = fixture.start();
    fixture.pickCategory(QStringLiteral("Family"));
    fixture.pickName(QStringLiteral("Bob"));
    return window;
}

QString caption(const QWidget *widget)
{
    if (const auto *frame = qobject_cast<const QGroupBox *>(widget))
        return frame->title();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    return {};
}

QString boxText(const QWidget *box)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(box))
        return line->text();
    if (const auto *text = qobject_cast<const QPlainTextEdit *>(box))
        return text->toPlainText();
    return {};
}

QString selectedText(const QWidget *box)
{
    if (const auto *line = qobject_cast<const QLineEdit *>(box))
        return line->selectedText();
    if (const auto *text = qobject_cast<const QPlainTextEdit *>(box))
        return text->textCursor().selectedText();
    if (const auto *list = qobject_cast<const QListWidget *>(box))
        return Controls::selectedText(list);
    return {};
}

// Gives a text box a text with its middle part selected.
void putSelectedText(QWidget *box, const QString &before, const QString &selected, const QString &after)
{
    if (auto *line = qobject_cast<QLineEdit *>(box)) {
        line->setText(before + selected + after);
        line->setSelection(int(before.size()), int(selected.size()));
    } else if (auto *text = qobject_cast<QPlainTextEdit *>(box)) {
        text->setPlainText(before + selected + after);
        QTextCursor cursor = text->textCursor();
        cursor.setPosition(int(before.size()));
        cursor.setPosition(int(before.size() + selected.size()), QTextCursor::KeepAnchor);
        text->setTextCursor(cursor);
    }
}

bool isNear(const QColor &drawn, const QColor &expected, int tolerance)
{
    return qAbs(drawn.red() - expected.red()) <= tolerance && qAbs(drawn.green() - expected.green()) <= tolerance
           && qAbs(drawn.blue() - expected.blue()) <= tolerance;
}

QByteArray describe(const QColor &color)
{
    return QByteArray("RGB(") + QByteArray::number(color.red()) + ',' + QByteArray::number(color.green()) + ','
           + QByteArray::number(color.blue()) + ')';
}

QtMessageHandler testlibHandler = nullptr;

// The offscreen platform has no window manager to hand the window's fixed size
// to, and says so for every window shown; nothing else is kept quiet.
void quietHandler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (message == QLatin1String("This plugin does not support propagateSizeHints()"))
        return;
    testlibHandler(type, context, message);
}

// How the user leaves the program.
enum class Way { ClickExit, TriggerMenuItem, CtrlX, AltX, CloseWindow };

} // namespace

Q_DECLARE_METATYPE(Way)

class TestFrmMain : public QObject
{
    Q_OBJECT

public:
    // The program runs in Fusion; the window is measured and drawn here
    // as the user sees it.
    static void initMain() { QApplication::setStyle(QStringLiteral("Fusion")); }

private slots:
    void initTestCase() { testlibHandler = qInstallMessageHandler(quietHandler); }
    void cleanupTestCase() { qInstallMessageHandler(testlibHandler); }

    void controls_data();
    void controls();
    void window();
    void windowCannotBeResized();
    void scrollBars_data();
    void scrollBars();
    void tabOrderFollowsTabIndex_data();
    void tabOrderFollowsTabIndex();
    void fonts_data();
    void fonts();
    void windowFontIsInstalled();
    void defaultColours_data();
    void defaultColours();
    void drawnColours_data();
    void drawnColours();
    void drawnTextColours_data();
    void drawnTextColours();
    void disabledControlsLookDisabled_data();
    void disabledControlsLookDisabled();
    void menuBar();
    void menuItems_data();
    void menuItems();
    void enabledAtStartUp_data();
    void enabledAtStartUp();
    void emptyAtStartUp_data();
    void emptyAtStartUp();
    void noBoxAcceptsTypingAtStartUp_data();
    void noBoxAcceptsTypingAtStartUp();
    void firstStartCreatesDataDirectory_data();
    void firstStartCreatesDataDirectory();
    void laterStartShowsCategoriesSorted_data();
    void laterStartShowsCategoriesSorted();
    void exit_data();
    void exit();
    void menuKeysWinOverControls_data();
    void menuKeysWinOverControls();
    void printScreenAccessKeyOnlyWhileEnabled_data();
    void printScreenAccessKeyOnlyWhileEnabled();
    void notesBoxTakesAtMost150Characters_data();
    void notesBoxTakesAtMost150Characters();
};

void TestFrmMain::controls_data()
{
    QTest::addColumn<QString>("container");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QRect>("twips");
    QTest::addColumn<bool>("autoSize");

    const auto row = [](const char *name, const char *container, const char *className, const QString &caption,
                        int left, int top, int width, int height, bool autoSize = false) {
        QTest::newRow(name) << QString::fromLatin1(container) << QString::fromLatin1(className) << caption
                            << QRect(left, top, width, height) << autoSize;
    };
    const QString none;

    row("fraCategories", "client", "QGroupBox", QStringLiteral("Categories"), 120, 120, 2895, 2775);
    row("fraContactName", "client", "QGroupBox", QStringLiteral("Contact Name"), 3120, 120, 6615, 975);
    row("fraMiscInfo", "client", "QGroupBox", QStringLiteral("Misc. Informaton"), 3120, 1080, 4695, 1815);
    row("chkPic", "client", "QCheckBox", QStringLiteral("Show/Hide Picture"), 7920, 1320, 1815, 255);
    row("fraButtons", "client", "QGroupBox", QString(), 7920, 1680, 1815, 4935);
    row("fraInfo", "client", "QGroupBox", QStringLiteral("Home Address"), 120, 3000, 3615, 3615);
    row("fraNumbers", "client", "QGroupBox", QStringLiteral("Numbers"), 3840, 3000, 3975, 3615);

    row("lblCategory", "fraCategories", "QLabel", QStringLiteral("Category:"), 240, 240, 1335, 255);
    row("cboRelationship", "fraCategories", "QComboBox", none, 240, 480, 2415, 345);
    row("cmdAddRelationship", "fraCategories", "QPushButton", QStringLiteral("Add"), 240, 840, 1215, 255);
    row("cmdRemoveRelationship", "fraCategories", "QPushButton", QStringLiteral("Remove"), 1440, 840, 1215, 255);
    row("lblNames", "fraCategories", "QLabel", QStringLiteral("Names:"), 240, 1200, 1215, 255);
    row("lstNames", "fraCategories", "QListWidget", none, 240, 1440, 2415, 960);
    row("cmdAddName", "fraCategories", "QPushButton", QStringLiteral("Add"), 240, 2400, 1215, 255);
    row("cmdRemoveName", "fraCategories", "QPushButton", QStringLiteral("Remove"), 1440, 2400, 1215, 255);

    row("lblName", "fraContactName", "QLabel", noContactName, 240, 240, 6255, 615);

    row("lblRelation", "fraMiscInfo", "QLabel", QStringLiteral("Relation:"), 120, 360, 1815, 255);
    row("txtRelation", "fraMiscInfo", "QLineEdit", none, 120, 600, 1935, 330);
    row("lblBirthday", "fraMiscInfo", "QLabel", QStringLiteral("Birthday:"), 120, 960, 1815, 255);
    row("txtBirthday", "fraMiscInfo", "QLineEdit", none, 120, 1200, 1935, 375);
    row("lblDependants", "fraMiscInfo", "QLabel", QStringLiteral("Children/Dependants/Etc.:"), 2280, 360, 2175, 255);
    row("lstChildren", "fraMiscInfo", "QListWidget", none, 2280, 600, 2175, 735);
    row("cmdAddChildren", "fraMiscInfo", "QPushButton", QStringLiteral("Add"), 2280, 1440, 1095, 255);
    row("cmdRemoveChildren", "fraMiscInfo", "QPushButton", QStringLiteral("Remove"), 3360, 1440, 1095, 255);

    row("lblAddress", "fraInfo", "QLabel", QStringLiteral("Address:"), 240, 360, 975, 255);
    row("txtAddress", "fraInfo", "QPlainTextEdit", none, 240, 600, 3135, 855);
    row("lblDrivingDirections", "fraInfo", "QLabel", QStringLiteral("Driving Directions:"), 240, 1560, 1695, 255);
    row("txtDrivingDirections", "fraInfo", "QPlainTextEdit", none, 240, 1800, 3135, 1695);

    row("lblHome", "fraNumbers", "QLabel", QStringLiteral("Home Phone #:"), 240, 480, 1245, 240, true);
    row("txtHome", "fraNumbers", "QLineEdit", none, 1560, 360, 2175, 375);
    row("lblCell", "fraNumbers", "QLabel", QStringLiteral("Cell Phone #:"), 360, 960, 1095, 240, true);
    row("txtCell", "fraNumbers", "QLineEdit", none, 1560, 840, 2175, 375);
    row("lblWork", "fraNumbers", "QLabel", QStringLiteral("Work Phone #:"), 240, 1440, 1230, 240, true);
    row("txtWork", "fraNumbers", "QLineEdit", none, 1560, 1320, 2175, 375);
    row("lblFax", "fraNumbers", "QLabel", QStringLiteral("Fax #:"), 840, 1920, 585, 240, true);
    row("txtFax", "fraNumbers", "QLineEdit", none, 1560, 1800, 2175, 375);
    row("Label1", "fraNumbers", "QLabel", QStringLiteral("E-Mail:"), 840, 2400, 735, 375);
    row("txtEmail", "fraNumbers", "QLineEdit", none, 1560, 2280, 2175, 375);
    row("lblNotes", "fraNumbers", "QLabel", QStringLiteral("Notes:"), 120, 2640, 615, 255);
    row("txtNumNotes", "fraNumbers", "QPlainTextEdit", none, 120, 2880, 3615, 615);

    row("cmdEditColors", "fraButtons", "QPushButton", QStringLiteral("Edit Colors"), 120, 480, 1575, 615);
    row("cmdPrintScreen", "fraButtons", "QPushButton", QStringLiteral("&Print Screen"), 120, 1680, 1575, 615);
    row("cmdPrintText", "fraButtons", "QPushButton", QStringLiteral("Print Text"), 120, 2760, 1575, 615);
    row("cmdExit", "fraButtons", "QPushButton", QStringLiteral("E&xit"), 120, 3960, 1575, 615);
}

void TestFrmMain::controls()
{
    QFETCH(QString, container);
    QFETCH(QString, className);
    QFETCH(QString, caption);
    QFETCH(QRect, twips);
    QFETCH(bool, autoSize);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    const QString name = QString::fromLatin1(QTest::currentDataTag());
    QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY2(widget, qPrintable(name));
    QVERIFY2(widget->inherits(qPrintable(className)), widget->metaObject()->className());
    QVERIFY(widget->parentWidget());
    QCOMPARE(widget->parentWidget()->objectName(), container);
    if (!caption.isNull())
        QCOMPARE(::caption(widget), caption);
    QVERIFY(widget->isVisible());

    const QPoint position(window.twipsToPixelsX(twips.left()), window.twipsToPixelsY(twips.top()));
    QCOMPARE(widget->pos(), position);
    if (autoSize) {
        // The text decides the size; a label cut to a fixed box would clip it.
        QCOMPARE(widget->size(), widget->sizeHint());
    } else {
        QCOMPARE(widget->size(), QSize(window.twipsToPixelsX(twips.width()), window.twipsToPixelsY(twips.height())));
    }

    // Frames and labels are never a tab stop; the drop-down list takes no typing.
    if (qobject_cast<QGroupBox *>(widget) || qobject_cast<QLabel *>(widget))
        QCOMPARE(widget->focusPolicy(), Qt::NoFocus);
    if (auto *label = qobject_cast<QLabel *>(widget))
        QVERIFY2(!label->autoFillBackground(), "labels are transparent");
    if (auto *combo = qobject_cast<QComboBox *>(widget))
        QVERIFY(!combo->isEditable());
}

void TestFrmMain::window()
{
    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    QCOMPARE(window.windowTitle(), windowCaption);
    QVERIFY(window.centralWidget());
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("client"));

    // The client area is the whole window below the menu bar, at its size in twips.
    const QSize client(window.twipsToPixelsX(9870), window.twipsToPixelsY(6735));
    QCOMPARE(window.centralWidget()->size(), client);
    QCOMPARE(window.centralWidget()->pos(), QPoint(0, window.menuBar()->height()));
    QCOMPARE(window.size(), QSize(client.width(), window.menuBar()->height() + client.height()));
}

void TestFrmMain::windowCannotBeResized()
{
    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));
    const QSize shown = window.size();

    QCOMPARE(window.minimumSize(), shown);
    QCOMPARE(window.maximumSize(), shown);
    window.resize(shown + QSize(100, 80));
    QCoreApplication::processEvents();
    QCOMPARE(window.size(), shown);
}

void TestFrmMain::scrollBars_data()
{
    QTest::addColumn<bool>("vertical");

    QTest::newRow("txtAddress") << false;
    QTest::newRow("txtDrivingDirections") << true;
    QTest::newRow("txtNumNotes") << true;
}

void TestFrmMain::scrollBars()
{
    QFETCH(bool, vertical);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    auto *box = window.findChild<QPlainTextEdit *>(QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(box);
    // Shown as the box is drawn, before it holds any text.
    QCOMPARE(box->verticalScrollBar()->isVisible(), vertical);
    QVERIFY(!box->horizontalScrollBar()->isVisible());
}

void TestFrmMain::tabOrderFollowsTabIndex_data()
{
    QTest::addColumn<bool>("everythingEnabled");
    QTest::addColumn<bool>("backwards");
    QTest::addColumn<QStringList>("expected");

    QStringList reversed(tabOrder.crbegin(), tabOrder.crend());
    reversed.prepend(reversed.takeLast());
    const QStringList startUp = {QStringLiteral("cboRelationship"), QStringLiteral("cmdAddRelationship"),
                                 QStringLiteral("cmdRemoveRelationship"), QStringLiteral("cmdEditColors"),
                                 QStringLiteral("cmdExit")};

    QTest::newRow("every control enabled, Tab") << true << false << tabOrder;
    QTest::newRow("every control enabled, Shift+Tab") << true << true << reversed;
    QTest::newRow("at start-up, Tab skips disabled controls") << false << false << startUp;
}

void TestFrmMain::tabOrderFollowsTabIndex()
{
    QFETCH(bool, everythingEnabled);
    QFETCH(bool, backwards);
    QFETCH(QStringList, expected);

    Fixture fixture;
    FrmMain &window = fixture.start();
    if (everythingEnabled) {
        for (const QString &name : tabOrder)
            control(window, name)->setEnabled(true);
    }
    QVERIFY(showActive(window));
    QVERIFY(focusOn(window.cboRelationship));

    // Round the whole cycle and back to where it began.
    QStringList visited = {namedOwner(QApplication::focusWidget())};
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, Qt::Key_Tab, backwards ? Qt::ShiftModifier : Qt::NoModifier);
        visited.append(namedOwner(QApplication::focusWidget()));
    }
    QCOMPARE(visited, expected + QStringList{expected.first()});
}

void TestFrmMain::fonts_data()
{
    QTest::addColumn<qreal>("pointSize");
    QTest::addColumn<bool>("bold");

    QTest::newRow("frmMain") << 8.25 << false;
    for (const QString &name : boldLabels)
        QTest::newRow(qPrintable(name)) << 8.25 << true;
    QTest::newRow("lblName") << 20.25 << false;
    // Everything else has no font of its own and shows the window's.
    for (const char *name : {"fraCategories", "fraButtons", "cboRelationship", "cmdAddRelationship", "lstNames",
                             "txtRelation", "txtAddress", "lstChildren", "chkPic", "cmdEditColors", "cmdExit"})
        QTest::newRow(name) << 8.25 << false;
}

void TestFrmMain::fonts()
{
    QFETCH(qreal, pointSize);
    QFETCH(bool, bold);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QWidget *widget = control(window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);

    const QFont font = widget->font();
    QCOMPARE(font.families().value(0), QStringLiteral("Comic Sans MS"));
    QVERIFY2(font.families().contains(QStringLiteral("Comic Neue")), qPrintable(font.families().join(u',')));
    QCOMPARE(font.pointSizeF(), pointSize);
    QCOMPARE(font.bold(), bold);
    QVERIFY(!font.italic());
}

void TestFrmMain::windowFontIsInstalled()
{
    Fixture fixture;
    FrmMain &window = fixture.start();

    // Without Comic Sans MS or its look-alike the window falls back to a
    // font of different widths, and captions no longer fit their boxes.
    const QString used = QFontInfo(window.font()).family();
    QVERIFY2(used == QStringLiteral("Comic Sans MS") || used == QStringLiteral("Comic Neue"), qPrintable(used));
}

void TestFrmMain::defaultColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QPalette::ColorRole>("role");
    QTest::addColumn<QColor>("colour");
    // A background keeps its colour while its control is disabled.
    QTest::addColumn<bool>("alsoDisabled");

    const auto row = [](const QString &name, const char *what, QPalette::ColorRole role, const QColor &colour,
                        bool alsoDisabled) {
        QTest::addRow("%s %s", qPrintable(name), what) << name << role << colour << alsoDisabled;
    };

    row(QStringLiteral("client"), "background", QPalette::Window, formBack, true);
    for (const QString &name : frames)
        row(name, "background", QPalette::Window, formBack, true);
    for (const QString &name : captionedFrames)
        row(name, "caption", QPalette::WindowText, darkBlue, false);
    row(QStringLiteral("chkPic"), "background", QPalette::Window, formBack, true);
    row(QStringLiteral("lblName"), "text", QPalette::WindowText, darkBlue, false);
    for (const QString &name : boldLabels)
        row(name, "text", QPalette::WindowText, black, false);
    for (const QString &name : minorButtons)
        row(name, "face", QPalette::Button, minorButton, true);
    for (const QString &name : mainButtons)
        row(name, "face", QPalette::Button, mainButton, true);
    for (const QString &name : textBoxes + QStringList{QStringLiteral("lstNames"), QStringLiteral("lstChildren")}) {
        row(name, "background", QPalette::Base, white, true);
        row(name, "text", QPalette::Text, black, false);
    }
}

void TestFrmMain::defaultColours()
{
    QFETCH(QString, name);
    QFETCH(QPalette::ColorRole, role);
    QFETCH(QColor, colour);
    QFETCH(bool, alsoDisabled);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));
    QWidget *widget = control(window, name);
    QVERIFY(widget);

    QCOMPARE(widget->palette().color(QPalette::Active, role), colour);
    QCOMPARE(widget->palette().color(QPalette::Inactive, role), colour);
    if (alsoDisabled)
        QCOMPARE(widget->palette().color(QPalette::Disabled, role), colour);
}

// What the window looks like on screen and in Print Screen's image, sampled
// where the control shows its own colour and no text.
void TestFrmMain::drawnColours_data()
{
    QTest::addColumn<QPoint>("twips"); // in the client area
    QTest::addColumn<QColor>("colour");

    QTest::newRow("form, left of the frames") << QPoint(60, 6675) << formBack;
    QTest::newRow("fraCategories, right of the Names: label") << QPoint(120 + 2000, 120 + 1300) << formBack;
    QTest::newRow("cmdEditColors, left of its caption") << QPoint(7920 + 120 + 150, 1680 + 480 + 307) << mainButton;
    QTest::newRow("cmdPrintScreen (disabled), left of its caption")
        << QPoint(7920 + 120 + 150, 1680 + 1680 + 307) << mainButton;
    QTest::newRow("cmdAddRelationship, left of its caption") << QPoint(120 + 240 + 150, 120 + 840 + 127)
                                                             << minorButton;
    QTest::newRow("txtRelation (disabled)") << QPoint(3120 + 120 + 967, 1080 + 600 + 165) << white;
    QTest::newRow("lstNames (disabled)") << QPoint(120 + 240 + 1207, 120 + 1440 + 480) << white;
}

void TestFrmMain::drawnColours()
{
    QFETCH(QPoint, twips);
    QFETCH(QColor, colour);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    const QImage image = window.client->grab().toImage();
    const QPoint at(window.twipsToPixelsX(twips.x()), window.twipsToPixelsY(twips.y()));
    QVERIFY(image.rect().contains(at));
    const QColor drawn = image.pixelColor(at);
    QVERIFY2(isNear(drawn, colour, drawTolerance), describe(drawn) + " drawn, " + describe(colour) + " expected");
}

void TestFrmMain::drawnTextColours_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QColor>("colour");

    // A frame's caption, the strip above its first control.
    for (const QString &name : captionedFrames)
        QTest::addRow("%s caption", qPrintable(name)) << name << darkBlue;
    QTest::newRow("lblName") << QStringLiteral("lblName") << darkBlue;
    QTest::newRow("lblCategory") << QStringLiteral("lblCategory") << black;
    QTest::newRow("chkPic") << QStringLiteral("chkPic") << black;
}

void TestFrmMain::drawnTextColours()
{
    QFETCH(QString, name);
    QFETCH(QColor, colour);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));
    QWidget *widget = control(window, name);
    QVERIFY(widget);
    widget->setEnabled(true); // a disabled control greys its text

    QRect area(widget->mapTo(window.client, QPoint(0, 0)), widget->size());
    if (qobject_cast<QGroupBox *>(widget)) {
        int firstControl = widget->height();
        for (const QWidget *child : widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
            firstControl = qMin(firstControl, child->y());
        area.setHeight(firstControl);
    }
    const QImage image = window.client->grab().toImage().copy(area);

    // The glyphs' cores carry the text colour; their edges blend into the background.
    int inColour = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            inColour += isNear(image.pixelColor(x, y), colour, textTolerance) ? 1 : 0;
    }
    QVERIFY2(inColour >= 10, QByteArray::number(inColour) + " pixels in " + describe(colour));
}

void TestFrmMain::disabledControlsLookDisabled_data()
{
    QTest::addColumn<QString>("text"); // put into a box first; a box shows no state while empty

    for (const char *name : {"cmdAddName", "cmdRemoveName", "cmdAddChildren", "cmdRemoveChildren", "cmdPrintScreen",
                             "cmdPrintText", "chkPic"})
        QTest::newRow(name) << QString();
    QTest::newRow("txtRelation") << QStringLiteral("Mary");
    QTest::newRow("txtAddress") << QStringLiteral("Mary");
}

// A disabled control keeps its colours but shows its text greyed, so the
// user sees at start-up which commands are not available yet.
void TestFrmMain::disabledControlsLookDisabled()
{
    QFETCH(QString, text);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));
    QWidget *widget = control(window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QVERIFY(!widget->isEnabled());
    if (!text.isNull())
        putSelectedText(widget, text, QString(), QString());

    // The darkest ink inside the control's border (beside a check box's indicator).
    QRect inside = widget->rect().adjusted(3, 3, -3, -3);
    if (qobject_cast<QCheckBox *>(widget))
        inside.setLeft(widget->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, widget)
                       + widget->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, widget));
    const auto darkest = [&] {
        const QImage image = widget->grab().toImage().copy(inside);
        int gray = 255;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                gray = qMin(gray, qGray(image.pixel(x, y)));
        }
        return gray;
    };

    const int disabled = darkest();
    widget->setEnabled(true);
    const int enabled = darkest();
    QVERIFY2(disabled >= enabled + 48, qPrintable(QStringLiteral("darkest grey %1 disabled, %2 enabled")
                                                      .arg(disabled)
                                                      .arg(enabled)));
}

void TestFrmMain::menuBar()
{
    Fixture fixture;
    FrmMain &window = fixture.start();

    QStringList titles;
    for (const QAction *action : window.menuBar()->actions())
        titles.append(action->text());
    QCOMPARE(titles, (QStringList{QStringLiteral("&File"), QStringLiteral("&View"), QStringLiteral("&Help")}));

    const QStringList menus = {QStringLiteral("mnuFile"), QStringLiteral("mnuView"), QStringLiteral("mnuHelp")};
    const QList<qsizetype> items = {4, 1, 3};
    for (qsizetype i = 0; i < menus.size(); ++i) {
        const auto *menu = window.findChild<QMenu *>(menus[i]);
        QVERIFY2(menu, qPrintable(menus[i]));
        QCOMPARE(menu->menuAction(), window.menuBar()->actions().value(i));
        QCOMPARE(menu->actions().size(), items[i]);
        QVERIFY(menu->menuAction()->isEnabled());
        QVERIFY(menu->menuAction()->isVisible());
    }
}

void TestFrmMain::menuItems_data()
{
    QTest::addColumn<QString>("menu");
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("caption"); // null for a separator
    QTest::addColumn<QKeySequence>("shortcut");

    const auto item = [](const char *name, const char *menu, int position, const char *caption,
                         QKeyCombination key) {
        QTest::newRow(name) << QString::fromLatin1(menu) << position << QString::fromLatin1(caption)
                            << QKeySequence(key);
    };
    const auto separator = [](const char *name, const char *menu, int position) {
        QTest::newRow(name) << QString::fromLatin1(menu) << position << QString() << QKeySequence();
    };

    item("mnuPrintScreen", "mnuFile", 0, "Print Screen", Qt::CTRL | Qt::Key_S);
    item("mnuPrintTexzt", "mnuFile", 1, "Print Text", Qt::CTRL | Qt::Key_T);
    separator("mnuHyphen1", "mnuFile", 2);
    item("mnuExit", "mnuFile", 3, "Exit", Qt::CTRL | Qt::Key_X);
    item("mnuEditColors", "mnuView", 0, "Edit Colors", Qt::CTRL | Qt::Key_C);
    item("mnuReadme", "mnuHelp", 0, "Readme/How To...", Qt::CTRL | Qt::Key_R);
    separator("mnuHyphen3", "mnuHelp", 1);
    item("mnuAbout", "mnuHelp", 2, "About", Qt::CTRL | Qt::Key_A);
}

void TestFrmMain::menuItems()
{
    QFETCH(QString, menu);
    QFETCH(int, position);
    QFETCH(QString, caption);
    QFETCH(QKeySequence, shortcut);

    Fixture fixture;
    FrmMain &window = fixture.start();
    const auto *owner = window.findChild<QMenu *>(menu);
    QVERIFY(owner);
    const QAction *action = owner->actions().value(position);
    QVERIFY(action);

    QCOMPARE(action->objectName(), QString::fromLatin1(QTest::currentDataTag()));
    QCOMPARE(action->isSeparator(), caption.isNull());
    if (!caption.isNull())
        QCOMPARE(action->text(), caption);
    QCOMPARE(action->shortcut(), shortcut);
    QCOMPARE(action->shortcuts().size(), shortcut.isEmpty() ? 0 : 1);
    // The keys work anywhere in the window, not only while the menu is open.
    QCOMPARE(action->shortcutContext(), Qt::WindowShortcut);
    QVERIFY(action->isEnabled());
    QVERIFY(action->isVisible());
    QVERIFY(!action->isCheckable());
}

void TestFrmMain::enabledAtStartUp_data()
{
    QTest::addColumn<bool>("enabled");

    for (const char *name : {"cboRelationship", "cmdAddRelationship", "cmdRemoveRelationship", "cmdEditColors",
                             "cmdExit"})
        QTest::newRow(name) << true;
    // No category chosen yet, so no names and no contact.
    for (const char *name : {"lstNames", "cmdAddName", "cmdRemoveName", "txtRelation", "txtBirthday", "txtAddress",
                             "txtDrivingDirections", "txtHome", "txtCell", "txtWork", "txtFax", "txtEmail",
                             "txtNumNotes", "lstChildren", "cmdAddChildren", "cmdRemoveChildren", "cmdPrintScreen",
                             "cmdPrintText", "chkPic"})
        QTest::newRow(name) << false;
}

void TestFrmMain::enabledAtStartUp()
{
    QFETCH(bool, enabled);

    // With categories on disk, so that nothing chosen by the list itself slips through.
    Fixture fixture;
    fixture.put(QStringLiteral("RelationsList"), listBytes({QStringLiteral("Family"), QStringLiteral("Work")}));
    fixture.put(QStringLiteral("NamesListFamily"), listBytes({QStringLiteral("Ann")}));
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    QWidget *widget = control(window, QString::fromLatin1(QTest::currentDataTag()));
    QVERIFY(widget);
    QCOMPARE(widget->isEnabled(), enabled);
}

void TestFrmMain::emptyAtStartUp_data()
{
    QTest::addColumn<QString>("name");

    for (const QString &name : textBoxes)
        QTest::newRow(qPrintable(name)) << name;
    QTest::newRow("lstNames") << QStringLiteral("lstNames");
    QTest::newRow("lstChildren") << QStringLiteral("lstChildren");
}

void TestFrmMain::emptyAtStartUp()
{
    QFETCH(QString, name);

    Fixture fixture;
    fixture.put(QStringLiteral("RelationsList"), listBytes({QStringLiteral("Family")}));
    fixture.put(QStringLiteral("NamesListFamily"), listBytes({QStringLiteral("Ann")}));
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    QCOMPARE(window.lblName->text(), noContactName);
    QVERIFY(!window.chkPic->isChecked());
    QCOMPARE(window.cboRelationship->currentIndex(), -1);

    QWidget *widget = control(window, name);
    QVERIFY(widget);
    if (auto *list = qobject_cast<QListWidget *>(widget)) {
        QCOMPARE(list->count(), 0);
        QVERIFY(list->selectedItems().isEmpty());
    } else {
        QCOMPARE(boxText(widget), QString());
    }
}

void TestFrmMain::noBoxAcceptsTypingAtStartUp_data()
{
    QTest::addColumn<QString>("name");

    for (const QString &name : textBoxes)
        QTest::newRow(qPrintable(name)) << name;
}

void TestFrmMain::noBoxAcceptsTypingAtStartUp()
{
    QFETCH(QString, name);

    Fixture fixture;
    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));
    QWidget *box = control(window, name);
    QVERIFY(box);

    QTest::mouseClick(box, Qt::LeftButton);
    QTest::keyClicks(box, QStringLiteral("someone@example.org"));
    QCOMPARE(boxText(box), QString());
    QVERIFY(fixture.files().isEmpty());
}

void TestFrmMain::firstStartCreatesDataDirectory_data()
{
    QTest::addColumn<QString>("dataHome"); // under the test's home

    QTest::newRow("data home exists") << QString();
    QTest::newRow("data home not made yet") << QStringLiteral("/fresh/.local/share");
}

void TestFrmMain::firstStartCreatesDataDirectory()
{
    QFETCH(QString, dataHome);

    Fixture fixture;
    const QString home = fixture.home.path() + dataHome;
    qputenv("XDG_DATA_HOME", home.toLocal8Bit());
    const QString dataDir = home + QStringLiteral("/Kinfolio/Data/");
    QVERIFY(!QDir(dataDir).exists());

    FrmMain &window = fixture.start();

    QVERIFY(QDir(dataDir).exists());
    QCOMPARE(QDir(dataDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System),
             QStringList());
    QCOMPARE(window.cboRelationship->count(), 0);
}

void TestFrmMain::laterStartShowsCategoriesSorted_data()
{
    QTest::addColumn<QStringList>("stored");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("mixed case, unsorted")
        << QStringList{QStringLiteral("work"), QStringLiteral("Family"), QStringLiteral("zoo keepers"),
                       QStringLiteral("Friends"), QStringLiteral("acquaintances")}
        << QStringList{QStringLiteral("acquaintances"), QStringLiteral("Family"), QStringLiteral("Friends"),
                       QStringLiteral("work"), QStringLiteral("zoo keepers")};
    QTest::newRow("reversed") << QStringList{QStringLiteral("c"), QStringLiteral("B"), QStringLiteral("a")}
                              << QStringList{QStringLiteral("a"), QStringLiteral("B"), QStringLiteral("c")};
    QTest::newRow("one category") << QStringList{QStringLiteral("Family")} << QStringList{QStringLiteral("Family")};
    QTest::newRow("empty file") << QStringList() << QStringList();
}

void TestFrmMain::laterStartShowsCategoriesSorted()
{
    QFETCH(QStringList, stored);
    QFETCH(QStringList, shown);

    Fixture fixture;
    const QByteArray bytes = listBytes(stored);
    fixture.put(QStringLiteral("RelationsList"), bytes);

    FrmMain &window = fixture.start();
    QVERIFY(showActive(window));

    QCOMPARE(Controls::entries(window.cboRelationship), shown);
    QCOMPARE(window.cboRelationship->currentIndex(), -1);
    QCOMPARE(window.cboRelationship->currentText(), QString());
    QVERIFY(!window.lstNames->isEnabled());
    QCOMPARE(window.lblName->text(), noContactName);
    // Reading the list at start-up writes nothing, the list file included.
    QCOMPARE(fixture.files(), (QMap<QString, QByteArray>{{QStringLiteral("RelationsList"), bytes}}));
}

void TestFrmMain::exit_data()
{
    QTest::addColumn<Way>("way");
    QTest::addColumn<QString>("focus");

    QTest::newRow("click cmdExit") << Way::ClickExit << QStringLiteral("cboRelationship");
    QTest::newRow("choose File > Exit") << Way::TriggerMenuItem << QStringLiteral("cboRelationship");
    QTest::newRow("Ctrl+X in txtRelation") << Way::CtrlX << QStringLiteral("txtRelation");
    QTest::newRow("Ctrl+X in txtAddress") << Way::CtrlX << QStringLiteral("txtAddress");
    QTest::newRow("Ctrl+X in lstNames") << Way::CtrlX << QStringLiteral("lstNames");
    QTest::newRow("Ctrl+X in cboRelationship") << Way::CtrlX << QStringLiteral("cboRelationship");
    QTest::newRow("Alt+X") << Way::AltX << QStringLiteral("txtBirthday");
    QTest::newRow("close the window") << Way::CloseWindow << QStringLiteral("cboRelationship");
}

void TestFrmMain::exit()
{
    QFETCH(Way, way);
    QFETCH(QString, focus);

    Fixture fixture;
    FrmMain &window = startWithContact(fixture);
    QCOMPARE(window.currentName(), QStringLiteral("Bob"));
    QVERIFY(showActive(window));
    QWidget *focused = control(window, focus);
    QVERIFY(focused);
    putSelectedText(focused, QStringLiteral("Aunt "), QStringLiteral("Mary"), QStringLiteral(" Lou"));
    const QString text = boxText(focused);
    const QString selected = selectedText(focused);
    QVERIFY(focusOn(focused));
    QApplication::clipboard()->setText(QStringLiteral("on the clipboard before"));

    switch (way) {
    case Way::ClickExit:
        QTest::mouseClick(window.cmdExit, Qt::LeftButton);
        break;
    case Way::TriggerMenuItem:
        window.mnuExit->trigger();
        break;
    case Way::CtrlX:
        QTest::keyClick(focused, Qt::Key_X, Qt::ControlModifier);
        break;
    case Way::AltX:
        QTest::keyClick(focused, Qt::Key_X, Qt::AltModifier);
        break;
    case Way::CloseWindow:
        window.close();
        break;
    }

    // An access key shows the button pressed for a moment before it acts.
    QTRY_COMPARE(fixture.platform.endProgramCalls, 1);
    QTest::qWait(settle);
    QCOMPARE(fixture.platform.endProgramCalls, 1);
    QVERIFY(!window.isVisible());
    // Ctrl+X is the menu's key here, not the box's Cut.
    QCOMPARE(boxText(focused), text);
    QCOMPARE(selectedText(focused), selected);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("on the clipboard before"));
}

void TestFrmMain::menuKeysWinOverControls_data()
{
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("item");

    const auto row = [](const char *focus, char letter, const char *item) {
        QTest::addRow("Ctrl+%c in %s", letter, focus)
            << QString::fromLatin1(focus) << int(Qt::Key_A + (letter - 'A')) << QString::fromLatin1(item);
    };
    // The keys that text and list boxes claim for themselves: Copy, Select All.
    for (const char *focus : {"txtRelation", "txtEmail", "txtAddress", "txtNumNotes", "lstNames", "lstChildren",
                              "cboRelationship"}) {
        row(focus, 'C', "mnuEditColors");
        row(focus, 'A', "mnuAbout");
    }
    // And the others, which the boxes leave alone.
    row("txtBirthday", 'S', "mnuPrintScreen");
    row("txtDrivingDirections", 'T', "mnuPrintTexzt");
    row("txtHome", 'R', "mnuReadme");
    row("cmdEditColors", 'S', "mnuPrintScreen");
    row("chkPic", 'R', "mnuReadme");
}

void TestFrmMain::menuKeysWinOverControls()
{
    QFETCH(QString, focus);
    QFETCH(int, key);
    QFETCH(QString, item);

    Fixture fixture;
    FrmMain &window = startWithContact(fixture);
    QCOMPARE(window.currentName(), QStringLiteral("Bob"));
    // A dependant to select, so the dependants list has something to copy.
    window.lstChildren->addItem(QStringLiteral("Tim"));
    window.lstChildren->setCurrentRow(0);
    QVERIFY(showActive(window));

    QWidget *focused = control(window, focus);
    QVERIFY(focused);
    putSelectedText(focused, QStringLiteral("Aunt "), QStringLiteral("Mary"), QStringLiteral(" Lou"));
    const QString text = boxText(focused);
    const QString selected = selectedText(focused);
    QVERIFY(focusOn(focused));
    QApplication::clipboard()->setText(QStringLiteral("on the clipboard before"));
    auto *action = window.findChild<QAction *>(item);
    QVERIFY(action);
    QSignalSpy triggered(action, &QAction::triggered);

    QTest::keyClick(focused, Qt::Key(key), Qt::ControlModifier);

    QCOMPARE(triggered.size(), 1);
    QCOMPARE(boxText(focused), text);
    QCOMPARE(selectedText(focused), selected);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("on the clipboard before"));
    QCOMPARE(fixture.platform.endProgramCalls, 0);
}

void TestFrmMain::printScreenAccessKeyOnlyWhileEnabled_data()
{
    QTest::addColumn<bool>("withContact");
    QTest::addColumn<int>("clicks");

    QTest::newRow("no contact: button disabled") << false << 0;
    QTest::newRow("contact selected: button enabled") << true << 1;
}

void TestFrmMain::printScreenAccessKeyOnlyWhileEnabled()
{
    QFETCH(bool, withContact);
    QFETCH(int, clicks);

    Fixture fixture;
    FrmMain &window = withContact ? startWithContact(fixture) : fixture.start();
    QCOMPARE(window.currentName(), withContact ? QStringLiteral("Bob") : QString());
    QVERIFY(showActive(window));
    QVERIFY(focusOn(window.cboRelationship));
    QSignalSpy pressed(window.cmdPrintScreen, &QPushButton::clicked);
    QSignalSpy menuItem(window.mnuPrintScreen, &QAction::triggered);

    QTest::keyClick(window.cboRelationship, Qt::Key_P, Qt::AltModifier);

    // An access key shows the button pressed for a moment before it acts.
    QTest::qWait(settle);
    QCOMPARE(pressed.size(), clicks);
    // Alt+P is the button's key, never the menu item's.
    QCOMPARE(menuItem.size(), 0);
}

void TestFrmMain::notesBoxTakesAtMost150Characters_data()
{
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("pasted");
    QTest::addColumn<QString>("after");

    const QString full = QString(150, u'n');
    QTest::newRow("typing 160 characters") << QString() << QString(160, u'n') << false << full;
    QTest::newRow("typing past a nearly full box") << QString(145, u'n') << QString(10, u'n') << false << full;
    QTest::newRow("typing 150 characters") << QString() << full << false << full;
    QTest::newRow("pasting 200 characters") << QString() << QString(200, u'n') << true << full;
    QTest::newRow("pasting into a nearly full box") << QString(140, u'n') << QString(20, u'n') << true << full;
}

void TestFrmMain::notesBoxTakesAtMost150Characters()
{
    QFETCH(QString, before);
    QFETCH(QString, typed);
    QFETCH(bool, pasted);
    QFETCH(QString, after);

    Fixture fixture;
    FrmMain &window = startWithContact(fixture);
    QCOMPARE(window.currentName(), QStringLiteral("Bob"));
    QVERIFY(showActive(window));
    window.txtNumNotes->setPlainText(before);
    window.txtNumNotes->moveCursor(QTextCursor::End);
    QVERIFY(focusOn(window.txtNumNotes));

    if (pasted) {
        QApplication::clipboard()->setText(typed);
        QTest::keyClick(window.txtNumNotes, Qt::Key_V, Qt::ControlModifier);
    } else {
        QTest::keyClicks(window.txtNumNotes, typed);
    }
    QCOMPARE(window.txtNumNotes->toPlainText(), after);
}

QTEST_MAIN(TestFrmMain)
#include "tst_frmmain.moc"
