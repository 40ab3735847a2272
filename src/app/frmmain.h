#pragma once

#include "app/controls.h"
#include "book/book.h"
#include "colors/colors.h"
#include "details/details.h"
#include "help/help.h"
#include "picture/picture.h"
#include "platform/platform.h"
#include "printing/printing.h"
#include "store/paths.h"
#include "store/recordfile.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;

// The main window. Its controls carry the names of the window's design and
// are reached by the handlers of every subsystem; the handlers themselves live
// with their subsystem (book, details, picture, colors, printing, help).
class FrmMain : public QMainWindow
{
public:
    // Builds the window and runs Form_Load; the caller shows it.
    explicit FrmMain(Platform &platform, QWidget *parent = nullptr);
    ~FrmMain() override;

    Platform &platform;

    // The client area under the menu bar.
    QWidget *client = nullptr;

    QGroupBox *fraCategories = nullptr;
    QLabel *lblCategory = nullptr;
    QComboBox *cboRelationship = nullptr;
    QPushButton *cmdAddRelationship = nullptr;
    QPushButton *cmdRemoveRelationship = nullptr;
    QLabel *lblNames = nullptr;
    QListWidget *lstNames = nullptr;
    QPushButton *cmdAddName = nullptr;
    QPushButton *cmdRemoveName = nullptr;

    QGroupBox *fraContactName = nullptr;
    QLabel *lblName = nullptr;

    QGroupBox *fraMiscInfo = nullptr;
    QLabel *lblRelation = nullptr;
    QLineEdit *txtRelation = nullptr;
    QLabel *lblBirthday = nullptr;
    QLineEdit *txtBirthday = nullptr;
    QLabel *lblDependants = nullptr;
    QListWidget *lstChildren = nullptr;
    QPushButton *cmdAddChildren = nullptr;
    QPushButton *cmdRemoveChildren = nullptr;

    QCheckBox *chkPic = nullptr;

    QGroupBox *fraButtons = nullptr;
    QPushButton *cmdEditColors = nullptr;
    QPushButton *cmdPrintScreen = nullptr;
    QPushButton *cmdPrintText = nullptr;
    QPushButton *cmdExit = nullptr;

    QGroupBox *fraInfo = nullptr;
    QLabel *lblAddress = nullptr;
    QPlainTextEdit *txtAddress = nullptr;
    QLabel *lblDrivingDirections = nullptr;
    QPlainTextEdit *txtDrivingDirections = nullptr;

    QGroupBox *fraNumbers = nullptr;
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
    QAction *mnuExit = nullptr;
    QMenu *mnuView = nullptr;
    QAction *mnuEditColors = nullptr;
    QMenu *mnuHelp = nullptr;
    QAction *mnuReadme = nullptr;
    QAction *mnuHyphen3 = nullptr;
    QAction *mnuAbout = nullptr;

    // The path of the picture shown for the current contact.
    QString PicPath;

    // The handlers, by subsystem.
    Book book{*this};
    Details details{*this};
    Picture picture{*this};
    Colors colors{*this};
    Printing printing{*this};
    Help help{*this};

    // The selected category / contact name, or the empty text when none is selected.
    QString currentCategory() const
    {
        return cboRelationship->currentIndex() < 0 ? QString() : cboRelationship->currentText();
    }
    QString currentName() const { return Controls::selectedText(lstNames); }

    // Writes a list file after an entry was added to it. Unlike other writes,
    // an add that could not be stored is told to the user, so the list never
    // shows an entry that is not kept.
    bool saveAddedList(const QString &path, const QStringList &entries, const QString &what)
    {
        if (RecordFile::rewriteList(path, entries))
            return true;
        tellNotAdded(what);
        return false;
    }
    void tellNotAdded(const QString &what)
    {
        platform.showMessage(this, QStringLiteral("Sorry, the new ") + what + QStringLiteral(" could not be saved in ")
                                       + Store::dataDir() + QStringLiteral(". Nothing was added."));
    }

    void Form_Load();
    void cmdExit_Click();
    void mnuExit_Click() { cmdExit_Click(); }

    // Converts a length in twips to pixels at the screen's logical DPI.
    int twipsToPixelsX(int twips) const;
    int twipsToPixelsY(int twips) const;

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void buildMenus();
    void setTabOrder();
    void connectHandlers();

    bool m_ending = false;
};
