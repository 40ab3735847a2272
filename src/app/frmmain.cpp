#include "app/frmmain.h"

#include "controls/appicon.h"
#include "controls/buttonstyle.h"
#include "controls/colorvalue.h"
#include "controls/textboxes.h"
#include "model/addressbook.h"
#include "picture/frmpic.h"
#include "store/paths.h"
#include "store/recordfile.h"
#include "store/saver.h"
#include "view/contactfields.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMenuBar>
#include <QPushButton>

#include <limits>

using Controls::place;

namespace {

QFont labelFont()
{
    QFont font = Controls::windowFont();
    font.setBold(true);
    return font;
}

// Text and list boxes: the system's window colours, white with black text.
void paintBox(QWidget *box)
{
    setWidgetColor(box, QPalette::Base, DefaultColor::TextBoxBack);
    setWidgetColor(box, QPalette::Text, DefaultColor::TextBoxText);
}

} // namespace

FrmMain::FrmMain(Platform &platform, QWidget *parent) : QMainWindow(parent), platform(platform)
{
    frmMain = this;
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Kinfolio 1.0"));
    setWindowIcon(kinfolioIcon());
    setFont(Controls::windowFont());
    buildControls();
    buildMenus();
    setTabOrder();
    connectHandlers();
    // A fixed single border: the window keeps the size of its client area.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    Form_Load();
    windowSync.start();
}

// Nothing still on its way to the disk is left behind: the store is ready
// for the next window.
FrmMain::~FrmMain()
{
    RecordFile::flush();
    RecordFile::discardUnsaved();
    Store::leaveDataDir();
}

void FrmMain::buildControls()
{
    client = new QWidget;
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(Controls::twipsToPixels(this, 9870, Qt::Horizontal),
                         Controls::twipsToPixels(this, 6735, Qt::Vertical));
    client->setAutoFillBackground(true);
    setWidgetColor(client, QPalette::Window, DefaultColor::FormBack);
    setCentralWidget(client);

    const auto frame = [this](const char *name, const QString &caption, int left, int top, int width, int height) {
        auto *box = place(new QGroupBox(caption), client, name, left, top, width, height);
        box->setAutoFillBackground(true);
        setWidgetColor(box, QPalette::Window, DefaultColor::FormBack);
        setWidgetColor(box, QPalette::WindowText, DefaultColor::FrameTitle);
        return box;
    };
    // Labels take no focus, draw no background and carry their own font.
    const auto label = [this](QWidget *container, const char *name, const QString &caption, int left, int top,
                              int width, int height, bool autoSize = false) {
        auto *text = place(new QLabel(caption), container, name, left, top, width, height);
        text->setFont(labelFont());
        text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        setWidgetColor(text, QPalette::WindowText, DefaultColor::DetailTitle);
        if (autoSize)
            text->adjustSize();
        else
            text->setWordWrap(true);
        return text;
    };
    const auto button = [](QWidget *container, const char *name, const QString &caption, int left, int top,
                               int width, int height, ColorValue color) {
        auto *push = graphicalButton(container, name, caption, left, top, width, height);
        setWidgetColor(push, QPalette::Button, color);
        setWidgetColor(push, QPalette::ButtonText, 0);
        return push;
    };
    const auto minorButton = [&](QWidget *container, const char *name, const QString &caption, int left, int top,
                                 int width, int height) {
        return button(container, name, caption, left, top, width, height, DefaultColor::MinorButtons);
    };
    const auto mainButton = [&](const char *name, const QString &caption, int top) {
        return button(fraButtons, name, caption, 120, top, 1575, 615, DefaultColor::MainButtons);
    };
    const auto lineBox = [this](QWidget *container, const char *name, int left, int top, int width, int height) {
        auto *box = place(new QLineEdit, container, name, left, top, width, height);
        box->setMaxLength(std::numeric_limits<int>::max());
        box->setValidator(new LineBoxValidator(box));
        paintBox(box);
        return box;
    };
    // Multi-line boxes: Enter starts a new line, Tab moves on as in the other boxes.
    const auto textBox = [this](QWidget *container, const char *name, int left, int top, int width, int height,
                                Qt::ScrollBarPolicy verticalBar) {
        auto *box = place(new MultiLineBox, container, name, left, top, width, height);
        box->setTabChangesFocus(true);
        box->setVerticalScrollBarPolicy(verticalBar);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        paintBox(box);
        return box;
    };
    const auto listBox = [this](QWidget *container, const char *name, int left, int top, int width, int height) {
        auto *list = place(new ListBox, container, name, left, top, width, height);
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        paintBox(list);
        return list;
    };

    fraCategories = frame("fraCategories", QStringLiteral("Categories"), 120, 120, 2895, 2775);
    lblCategory = label(fraCategories, "lblCategory", QStringLiteral("Category:"), 240, 240, 1335, 255);
    cboRelationship = place(new DropDownList, fraCategories, "cboRelationship", 240, 480, 2415, 345);
    // A wheel turned over the box while editing elsewhere would switch the category.
    cboRelationship->setFocusPolicy(Qt::StrongFocus);
    paintBox(cboRelationship);
    cmdAddRelationship = minorButton(fraCategories, "cmdAddRelationship", QStringLiteral("Add"), 240, 840, 1215, 255);
    cmdRemoveRelationship =
        minorButton(fraCategories, "cmdRemoveRelationship", QStringLiteral("Remove"), 1440, 840, 1215, 255);
    lblNames = label(fraCategories, "lblNames", QStringLiteral("Names:"), 240, 1200, 1215, 255);
    lstNames = listBox(fraCategories, "lstNames", 240, 1440, 2415, 960);
    cmdAddName = minorButton(fraCategories, "cmdAddName", QStringLiteral("Add"), 240, 2400, 1215, 255);
    cmdRemoveName = minorButton(fraCategories, "cmdRemoveName", QStringLiteral("Remove"), 1440, 2400, 1215, 255);

    fraContactName = frame("fraContactName", QStringLiteral("Contact Name"), 3120, 120, 6615, 975);
    lblName = label(fraContactName, "lblName", Book::noContactName, 240, 240, 6255, 615);
    QFont nameFont = Controls::windowFont();
    nameFont.setPointSizeF(20.25);
    lblName->setFont(nameFont);
    lblName->setWordWrap(false);
    setWidgetColor(lblName, QPalette::WindowText, DefaultColor::NameTitle);

    fraMiscInfo = frame("fraMiscInfo", QStringLiteral("Misc. Informaton"), 3120, 1080, 4695, 1815);
    lblRelation = label(fraMiscInfo, "lblRelation", QStringLiteral("Relation:"), 120, 360, 1815, 255);
    txtRelation = lineBox(fraMiscInfo, "txtRelation", 120, 600, 1935, 330);
    lblBirthday = label(fraMiscInfo, "lblBirthday", QStringLiteral("Birthday:"), 120, 960, 1815, 255);
    txtBirthday = lineBox(fraMiscInfo, "txtBirthday", 120, 1200, 1935, 375);
    lblDependants =
        label(fraMiscInfo, "lblDependants", QStringLiteral("Children/Dependants/Etc.:"), 2280, 360, 2175, 255);
    lstChildren = listBox(fraMiscInfo, "lstChildren", 2280, 600, 2175, 735);
    cmdAddChildren = minorButton(fraMiscInfo, "cmdAddChildren", QStringLiteral("Add"), 2280, 1440, 1095, 255);
    cmdRemoveChildren = minorButton(fraMiscInfo, "cmdRemoveChildren", QStringLiteral("Remove"), 3360, 1440, 1095, 255);

    chkPic = place(new QCheckBox(QStringLiteral("Show/Hide Picture")), client, "chkPic", 7920, 1320, 1815, 255);
    // A check box is a button to Qt, which paints it in the button colour.
    chkPic->setBackgroundRole(QPalette::Window);
    chkPic->setForegroundRole(QPalette::WindowText);
    chkPic->setAutoFillBackground(true);
    setWidgetColor(chkPic, QPalette::Window, DefaultColor::FormBack);
    setWidgetColor(chkPic, QPalette::WindowText, DefaultColor::DetailTitle);

    fraButtons = frame("fraButtons", QString(), 7920, 1680, 1815, 4935);
    cmdEditColors = mainButton("cmdEditColors", QStringLiteral("Edit Colors"), 480);
    cmdPrintScreen = mainButton("cmdPrintScreen", QStringLiteral("&Print Screen"), 1680);
    cmdPrintText = mainButton("cmdPrintText", QStringLiteral("Print Text"), 2760);
    cmdExit = mainButton("cmdExit", QStringLiteral("E&xit"), 3960);

    fraInfo = frame("fraInfo", QStringLiteral("Home Address"), 120, 3000, 3615, 3615);
    lblAddress = label(fraInfo, "lblAddress", QStringLiteral("Address:"), 240, 360, 975, 255);
    txtAddress = textBox(fraInfo, "txtAddress", 240, 600, 3135, 855, Qt::ScrollBarAlwaysOff);
    lblDrivingDirections =
        label(fraInfo, "lblDrivingDirections", QStringLiteral("Driving Directions:"), 240, 1560, 1695, 255);
    txtDrivingDirections = textBox(fraInfo, "txtDrivingDirections", 240, 1800, 3135, 1695, Qt::ScrollBarAlwaysOn);

    fraNumbers = frame("fraNumbers", QStringLiteral("Numbers"), 3840, 3000, 3975, 3615);
    lblHome = label(fraNumbers, "lblHome", QStringLiteral("Home Phone #:"), 240, 480, 1245, 240, true);
    txtHome = lineBox(fraNumbers, "txtHome", 1560, 360, 2175, 375);
    lblCell = label(fraNumbers, "lblCell", QStringLiteral("Cell Phone #:"), 360, 960, 1095, 240, true);
    txtCell = lineBox(fraNumbers, "txtCell", 1560, 840, 2175, 375);
    lblWork = label(fraNumbers, "lblWork", QStringLiteral("Work Phone #:"), 240, 1440, 1230, 240, true);
    txtWork = lineBox(fraNumbers, "txtWork", 1560, 1320, 2175, 375);
    lblFax = label(fraNumbers, "lblFax", QStringLiteral("Fax #:"), 840, 1920, 585, 240, true);
    txtFax = lineBox(fraNumbers, "txtFax", 1560, 1800, 2175, 375);
    Label1 = label(fraNumbers, "Label1", QStringLiteral("E-Mail:"), 840, 2400, 735, 375);
    txtEmail = lineBox(fraNumbers, "txtEmail", 1560, 2280, 2175, 375);
    lblNotes = label(fraNumbers, "lblNotes", QStringLiteral("Notes:"), 120, 2640, 615, 255);
    auto *notes = textBox(fraNumbers, "txtNumNotes", 120, 2880, 3615, 615, Qt::ScrollBarAlwaysOn);
    notes->setMaxLength(150);
    txtNumNotes = notes;

    // What a screen reader says of each control: the label beside it, and for
    // the lists and the small buttons, a name that tells them apart.
    lblCategory->setBuddy(cboRelationship);
    lblNames->setBuddy(lstNames);
    for (const ContactField &field : contactFields)
        ContactFields::caption(*this, field)->setBuddy(ContactFields::control(*this, field));
    const std::pair<QWidget *, const char *> named[] = {
        {lstNames, "Names"},
        {lstChildren, "Children and dependants"},
        {cmdAddRelationship, "Add category"},
        {cmdRemoveRelationship, "Remove category"},
        {cmdAddName, "Add name"},
        {cmdRemoveName, "Remove name"},
        {cmdAddChildren, "Add dependant"},
        {cmdRemoveChildren, "Remove dependant"}};
    for (const auto &[control, name] : named)
        control->setAccessibleName(QString::fromLatin1(name));

    // The lists' own menus, and F2 to rename what is chosen in them.
    const auto listItem = [](QWidget *list, const char *name, const QString &caption, const QKeySequence &shortcut) {
        auto *action = new QAction(caption, list);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        action->setShortcutContext(Qt::WidgetShortcut);
        list->addAction(action);
        return action;
    };
    for (QWidget *list : QWidgetList{cboRelationship, lstNames})
        list->setContextMenuPolicy(Qt::ActionsContextMenu);
    mnuRenameRelationship = listItem(cboRelationship, "mnuRenameRelationship", QStringLiteral("Rename..."), Qt::Key_F2);
    mnuRemoveRelationship = listItem(cboRelationship, "mnuRemoveRelationship", QStringLiteral("Remove"), {});
    mnuRenameName = listItem(lstNames, "mnuRenameName", QStringLiteral("Rename..."), Qt::Key_F2);
    mnuRemoveName = listItem(lstNames, "mnuRemoveName", QStringLiteral("Remove"), {});

    // The state before anything is chosen: no category, so no names and no contact.
    book.setNamesEnabled(false);
    book.DisableDetails();
}

void FrmMain::buildMenus()
{
    const auto item = [this](QMenu *menu, const char *name, const QString &caption, const QKeySequence &shortcut) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QString::fromLatin1(name));
        action->setShortcut(shortcut);
        return action;
    };
    const auto separator = [](QMenu *menu, const char *name) {
        QAction *action = menu->addSeparator();
        action->setObjectName(QString::fromLatin1(name));
        return action;
    };

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuPrintScreen = item(mnuFile, "mnuPrintScreen", QStringLiteral("Print Screen"), Qt::CTRL | Qt::Key_S);
    mnuPrintTexzt = item(mnuFile, "mnuPrintTexzt", QStringLiteral("Print Text"), Qt::CTRL | Qt::Key_T);
    mnuHyphen1 = separator(mnuFile, "mnuHyphen1");
    // Contacts in and out, beside the window's own items.
    mnuSyncNow = item(mnuFile, "mnuSyncNow", QStringLiteral("Sync Now"), {});
    mnuSyncSettings = item(mnuFile, "mnuSyncSettings", QStringLiteral("Sync Settings..."), {});
    mnuImportCards = item(mnuFile, "mnuImportCards", QStringLiteral("Import vCards..."), {});
    mnuExportCards = item(mnuFile, "mnuExportCards", QStringLiteral("Export vCards..."), {});
    mnuHyphen2 = separator(mnuFile, "mnuHyphen2");
    mnuExit = item(mnuFile, "mnuExit", QStringLiteral("Exit"), Qt::CTRL | Qt::Key_X);

    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuEditColors = item(mnuView, "mnuEditColors", QStringLiteral("Edit Colors"), Qt::CTRL | Qt::Key_C);
    mnuFind = item(mnuView, "mnuFind", QStringLiteral("Find..."), Qt::CTRL | Qt::Key_F);

    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuReadme = item(mnuHelp, "mnuReadme", QStringLiteral("Readme/How To..."), Qt::CTRL | Qt::Key_R);
    mnuHyphen3 = separator(mnuHelp, "mnuHyphen3");
    mnuAbout = item(mnuHelp, "mnuAbout", QStringLiteral("About"), Qt::CTRL | Qt::Key_A);

    // Text boxes claim Ctrl+C, Ctrl+X and Ctrl+A for themselves; the menu's keys win here.
    for (QWidget *control : client->findChildren<QWidget *>())
        control->installEventFilter(this);
}

void FrmMain::setTabOrder()
{
    QWidgetList order{cboRelationship, cmdAddRelationship, cmdRemoveRelationship, lstNames, cmdAddName, cmdRemoveName};
    for (const QString &suffix : ContactFields::files())
        order += details.controlsOf(suffix);
    order += {chkPic, cmdEditColors, cmdPrintScreen, cmdPrintText, cmdExit};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

void FrmMain::connectHandlers()
{
    connect(cboRelationship, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            book.cboRelationship_Click();
    });
    connect(cmdAddRelationship, &QPushButton::clicked, this, [this] { book.cmdAddRelationship_Click(); });
    connect(cmdRemoveRelationship, &QPushButton::clicked, this, [this] { book.cmdRemoveRelationship_Click(); });
    // A list's selection, not its current item, is the user's choice; Qt
    // moves the current item on focus without selecting anything.
    connect(lstNames, &QListWidget::itemSelectionChanged, this, [this] {
        if (!lstNames->selectedItems().isEmpty())
            book.lstNames_Click();
    });
    connect(mnuRenameRelationship, &QAction::triggered, this, [this] { book.mnuRenameRelationship_Click(); });
    connect(mnuRemoveRelationship, &QAction::triggered, this, [this] { book.cmdRemoveRelationship_Click(); });
    connect(cmdAddName, &QPushButton::clicked, this, [this] { book.cmdAddName_Click(); });
    connect(mnuRenameName, &QAction::triggered, this, [this] { book.mnuRenameName_Click(); });
    connect(mnuRemoveName, &QAction::triggered, this, [this] { book.cmdRemoveName_Click(); });
    connect(cmdRemoveName, &QPushButton::clicked, this, [this] { book.cmdRemoveName_Click(); });

    // Every change of a field's box, by the user or from code, rewrites its file.
    for (const ContactField &field : contactFields) {
        QWidget *box = ContactFields::control(*this, field);
        if (auto *line = qobject_cast<QLineEdit *>(box))
            connect(line, &QLineEdit::textChanged, this, [this, &field] { details.Change(field); });
        else if (auto *lines = qobject_cast<QPlainTextEdit *>(box))
            connect(lines, &QPlainTextEdit::textChanged, this, [this, &field] { details.Change(field); });
    }
    // The lists and the shown contact follow the book, whoever changed it.
    connect(&addressBook, &AddressBook::categoryAdded, this, [this](const QString &category) { book.categoryAdded(category); });
    connect(&addressBook, &AddressBook::categoryRemoved, this, [this](const QString &, int row) { book.categoryRemoved(row); });
    connect(&addressBook, &AddressBook::categoriesReset, this, [this] { book.categoriesReset(); });
    connect(&addressBook, &AddressBook::nameAdded, this,
            [this](const QString &category, const QString &name, int row) { book.nameAdded(category, name, row); });
    connect(&addressBook, &AddressBook::nameRemoved, this,
            [this](const QString &category, const QString &name, int row) { book.nameRemoved(category, name, row); });
    connect(&addressBook, &AddressBook::namesReset, this, [this](const QString &category) { book.namesReset(category); });
    connect(&addressBook, &AddressBook::contactFileChanged, this, [this](const QString &suffix, bool outside) {
        if (suffix == FileName::Pic)
            picture.pictureFileChanged();
        else if (outside)
            details.fileChangedOutside(suffix);
        else
            details.LoadFile(suffix);
    });
    connect(cmdAddChildren, &QPushButton::clicked, this, [this] { details.cmdAddChildren_Click(); });
    connect(cmdRemoveChildren, &QPushButton::clicked, this, [this] { details.cmdRemoveChildren_Click(); });

    connect(chkPic, &QCheckBox::toggled, this, [this] { picture.chkPic_Click(); });
    // The picture and Find windows take their colours from the scheme, as the main window does.
    connect(&colors, &Colors::applied, this, [this] {
        picture.frmPic().paint(colors.color(ColorRole::FormBack), colors.color(ColorRole::MinorButtons),
                               colors.color(ColorRole::MainButtons));
        if (m_frmFind)
            m_frmFind->paint(colors.color(ColorRole::FormBack), colors.color(ColorRole::TextBoxBack),
                             colors.color(ColorRole::TextBoxText));
    });
    connect(cmdEditColors, &QPushButton::clicked, this, [this] { colors.cmdEditColors_Click(); });
    connect(cmdPrintScreen, &QPushButton::clicked, this, [this] { printing.cmdPrintScreen_Click(); });
    connect(cmdPrintText, &QPushButton::clicked, this, [this] { printing.cmdPrintText_Click(); });
    connect(cmdExit, &QPushButton::clicked, this, [this] { cmdExit_Click(); });

    connect(mnuPrintScreen, &QAction::triggered, this, [this] { printing.mnuPrintScreen_Click(); });
    connect(mnuPrintTexzt, &QAction::triggered, this, [this] { printing.mnuPrintTexzt_Click(); });
    connect(mnuSyncNow, &QAction::triggered, this, [this] { windowSync.mnuSyncNow_Click(); });
    connect(mnuSyncSettings, &QAction::triggered, this, [this] { windowSync.mnuSyncSettings_Click(); });
    // Kept cards lost (their folder deleted while the window is open) are restored before an import makes the
    // folder anew or an export gives their contacts new UIDs, as the command line and every sync do.
    connect(mnuImportCards, &QAction::triggered, this, [this] {
        Sync::restoreKeptCards();
        exchange.mnuImportCards_Click();
    });
    connect(mnuExportCards, &QAction::triggered, this, [this] {
        Sync::restoreKeptCards();
        exchange.mnuExportCards_Click();
    });
    connect(mnuExit, &QAction::triggered, this, [this] { mnuExit_Click(); });
    connect(mnuEditColors, &QAction::triggered, this, [this] { colors.mnuEditColors_Click(); });
    connect(mnuFind, &QAction::triggered, this, [this] { mnuFind_Click(); });
    connect(mnuReadme, &QAction::triggered, this, [this] { help.mnuReadme_Click(); });
    connect(mnuAbout, &QAction::triggered, this, [this] { help.mnuAbout_Click(); });

    // Changes are saved in the background; when that fails the user is told
    // once, after the keystroke that found it, by a message that leaves the
    // keys with the box being typed in: a modal box would take the next keys
    // (and a Space or Enter would close it unread). Once the program is
    // ending, its own question says what would be lost instead.
    connect(
        &Saver::instance(), &Saver::failed, this,
        [this](const QString &reason) {
            if (m_ending)
                return;
            platform.showNotice(this, QStringLiteral("Sorry, your changes could not be saved in ") + Store::dataDir()
                                          + QStringLiteral(": ") + reason
                                          + QStringLiteral(". What you type stays on screen and is saved as soon as "
                                                           "saving works again."));
        },
        Qt::QueuedConnection);
}

void FrmMain::Form_Load()
{
    Store::makeAppDir(); // fails when it exists, as on every run after the first
    Store::makeDataDir();
    RecordFile::removeTemporaries(Store::dataDir());
    AddressBook::finishInterrupted();
    addressBook.load();
    addressBook.watch();
    book.LoadCategories();
    for (const ColorRole role : {ColorRole::NameTitle, ColorRole::FormBack, ColorRole::FrameTitle,
                                 ColorRole::DetailTitle, ColorRole::TextBoxBack, ColorRole::TextBoxText,
                                 ColorRole::MinorButtons, ColorRole::MainButtons})
        colors.LoadColorFile(role);
    colors.ApplyColors();
}

bool FrmMain::cmdExit_Click()
{
    // Every change is saved as it is made: nothing to ask while saving works.
    // What is still on its way to the disk is stored before the program ends;
    // what cannot be is lost only if the user says so, and staying (the
    // default) keeps trying, so freeing space or mending the folder stores it.
    if (m_ending)
        return true;
    m_ending = true;
    if (!RecordFile::flush()
        && platform.askYesNo(this,
                             QStringLiteral("Sorry, your last changes could not be saved in ") + Store::dataDir()
                                 + QStringLiteral(".\n\nStay open, so that they are saved once you have freed space "
                                                  "or mended the folder? No ends Kinfolio and loses them."),
                             Platform::appTitle(), true)) {
        m_ending = false;
        return false;
    }
    platform.endProgram();
    return true;
}

void FrmMain::mnuFind_Click()
{
    if (!m_frmFind) {
        m_frmFind = std::make_unique<FrmFind>(addressBook);
        m_frmFind->paint(colors.color(ColorRole::FormBack), colors.color(ColorRole::TextBoxBack),
                         colors.color(ColorRole::TextBoxText));
        connect(m_frmFind.get(), &FrmFind::contactChosen, this,
                [this](const QString &category, const QString &name) { book.showContact(category, name); });
        // Beside the main window, where the contact it chooses shows.
        m_frmFind->move(frameGeometry().topRight() + QPoint(Controls::twipsToPixels(this, 120, Qt::Horizontal), 0));
    }
    m_frmFind->show();
    m_frmFind->raise();
    m_frmFind->activateWindow();
    m_frmFind->txtFind->setFocus();
    m_frmFind->txtFind->selectAll();
}

void FrmMain::closeEvent(QCloseEvent *event)
{
    event->setAccepted(cmdExit_Click());
}

bool FrmMain::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Wheel && watched == cboRelationship && !cboRelationship->hasFocus())
        return true;
    // A box asks to keep the menu's keys before the menu sees them: refused.
    // Where Qt matches no shortcut at all, as while it counts another window
    // active after a dialog has closed, the key itself reaches the box: the
    // menu item runs from here, so the key means the same however the focus came.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress) {
        const QKeySequence pressed(static_cast<QKeyEvent *>(event)->keyCombination());
        for (QAction *action : {mnuPrintScreen, mnuPrintTexzt, mnuExit, mnuEditColors, mnuFind, mnuReadme, mnuAbout}) {
            if (action->shortcut() == pressed) {
                // A key left unaccepted would go on to the box's parent, whose
                // filter this is too, and run the item a second time.
                const bool pressedNow = event->type() == QEvent::KeyPress;
                event->setAccepted(pressedNow);
                if (pressedNow)
                    action->trigger();
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}
