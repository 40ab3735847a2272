#pragma once

#include "controls/controls.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

// The main window's controls, under the names of the window's design, as the
// subsystems see them. The window builds them; each subsystem is handed this
// and the other parts it works with, never the window itself. A contact's
// field boxes and their captions are reached through the table of fields
// (ContactFields::control, ContactFields::caption), not by name.
struct MainView
{
    // The window, as the parent of the boxes and dialogs it shows.
    QWidget *frmMain = nullptr;
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

    // The menus of the category box and the names list (right click): Rename
    // (F2 there too) and Remove, which is the button's.
    QAction *mnuRenameRelationship = nullptr;
    QAction *mnuRemoveRelationship = nullptr;
    QAction *mnuRenameName = nullptr;
    QAction *mnuRemoveName = nullptr;

    QGroupBox *fraContactName = nullptr;
    QLabel *lblName = nullptr;

    QGroupBox *fraMiscInfo = nullptr;
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

    QGroupBox *fraNumbers = nullptr;

    // The selected category / contact name, or the empty text when none is selected.
    QString currentCategory() const
    {
        return cboRelationship->currentIndex() < 0 ? QString() : cboRelationship->currentText();
    }
    QString currentName() const { return Controls::selectedText(lstNames); }
};
