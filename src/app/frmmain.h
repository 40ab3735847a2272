#pragma once

#include "app/windowsync.h"
#include "book/book.h"
#include "colors/colors.h"
#include "details/details.h"
#include "exchange/exchange.h"
#include "find/frmfind.h"
#include "help/help.h"
#include "model/addressbook.h"
#include "picture/picture.h"
#include "platform/platform.h"
#include "printing/printing.h"
#include "view/mainview.h"

#include <QMainWindow>

class QAction;
class QMenu;

// The main window. Its controls carry the names of the window's design and
// are what the subsystems see of it (MainView); their handlers live with
// their subsystem (book, details, picture, colors, printing, help), and the
// window connects each control to its handler.
class FrmMain : public QMainWindow, public MainView
{
    Q_OBJECT

public:
    // Builds the window and runs Form_Load; the caller shows it.
    explicit FrmMain(Platform &platform, QWidget *parent = nullptr);
    ~FrmMain() override;

    Platform &platform;

    // A contact's field boxes and their captions, which the subsystems reach
    // through the table of fields.
    QLabel *lblRelation = nullptr;
    QLineEdit *txtRelation = nullptr;
    QLabel *lblBirthday = nullptr;
    QLineEdit *txtBirthday = nullptr;
    QLabel *lblDependants = nullptr;
    QLabel *lblAddress = nullptr;
    QPlainTextEdit *txtAddress = nullptr;
    QLabel *lblDrivingDirections = nullptr;
    QPlainTextEdit *txtDrivingDirections = nullptr;
    QLabel *lblHome = nullptr;
    QLineEdit *txtHome = nullptr;
    QLabel *lblCell = nullptr;
    QLineEdit *txtCell = nullptr;
    QLabel *lblWork = nullptr;
    QLineEdit *txtWork = nullptr;
    QLabel *lblFax = nullptr;
    QLineEdit *txtFax = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtEmail = nullptr;
    QLabel *lblNotes = nullptr;
    QPlainTextEdit *txtNumNotes = nullptr;

    QMenu *mnuFile = nullptr;
    QAction *mnuPrintScreen = nullptr;
    QAction *mnuPrintTexzt = nullptr;
    QAction *mnuHyphen1 = nullptr;
    QAction *mnuSyncNow = nullptr;
    QAction *mnuSyncSettings = nullptr;
    QAction *mnuImportCards = nullptr;
    QAction *mnuExportCards = nullptr;
    QAction *mnuHyphen2 = nullptr;
    QAction *mnuExit = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuEditColors = nullptr;
    QAction *mnuFind = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuReadme = nullptr;
    QAction *mnuHyphen3 = nullptr;
    QAction *mnuAbout = nullptr;

    // The address book the window shows, and every change goes through.
    AddressBook addressBook;

    // The handlers, by subsystem.
    Details details{*this, platform, addressBook};
    Picture picture{*this, platform, addressBook};
    Book book{*this, platform, addressBook, details, picture};
    Colors colors{*this, platform, addressBook.colors()};
    Printing printing{*this, platform};
    Help help{platform};
    Exchange exchange{*this, platform, addressBook};
    WindowSync windowSync{*this, addressBook};

    void Form_Load();
    // Whether the program is ending.
    bool cmdExit_Click();
    void mnuExit_Click() { cmdExit_Click(); }
    // Opens the Find window, made (and its index read) the first time.
    void mnuFind_Click();
    FrmFind *frmFind() const { return m_frmFind.get(); }

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void setTabOrder();
    void connectHandlers();

    bool m_ending = false;
    std::unique_ptr<FrmFind> m_frmFind;
};
