#pragma once

#include "store/paths.h"

#include <QString>
#include <QWidgetList>

struct ContactField;
struct MainView;
class Platform;

// The selected contact's field files and dependants list: loaded into the
// detail controls when the contact is selected, rewritten on every change.
class Details
{
public:
    Details(MainView &view, Platform &platform) : view(view), platform(platform) {}

    // Every field of the selected contact, file by file.
    void LoadDetails();
    // One file's fields. A missing file shows them empty.
    void LoadFile(const QString &suffix);
    // Writes the file from what its controls show.
    void SaveFile(const QString &suffix);
    // A field's box changed, by the user or from code.
    void Change(const ContactField &field);

    // The window's own names for the same work.
    void LoadBirthday() { LoadFile(FileName::Birthday); }
    void LoadAddress() { LoadFile(FileName::Address); }
    void LoadDrivingDirections() { LoadFile(FileName::DrivingDirections); }
    void LoadNumbers() { LoadFile(FileName::Numbers); }
    void LoadNumbNotes() { LoadFile(FileName::NumbNotes); }
    void LoadRelation() { LoadFile(FileName::Relation); }
    void LoadDependants() { LoadFile(FileName::DependantsList); }
    void txtBirthday_Change() { SaveFile(FileName::Birthday); }
    void txtAddress_Change() { SaveFile(FileName::Address); }
    void txtDrivingDirections_Change() { SaveFile(FileName::DrivingDirections); }
    void txtHome_Change() { SaveNumbers(); }
    void txtCell_Change() { SaveNumbers(); }
    void txtWork_Change() { SaveNumbers(); }
    void txtFax_Change() { SaveNumbers(); }
    void txtEmail_Change() { SaveNumbers(); }
    void txtNumNotes_Change() { SaveFile(FileName::NumbNotes); }
    void txtRelation_Change() { SaveFile(FileName::Relation); }
    void SaveNumbers() { SaveFile(FileName::Numbers); }
    void SaveDependants() { SaveFile(FileName::DependantsList); }

    void cmdAddChildren_Click();
    void cmdRemoveChildren_Click();

    // The controls that show a file's fields or act on them.
    QWidgetList controlsOf(const QString &suffix) const;

private:
    // The current contact's file with this suffix; empty when no contact is
    // selected, so nothing is read or written then.
    QString contactFile(const QString &suffix) const;
    bool lockIfUnreadable(const QString &file, const QString &suffix);

    MainView &view;
    Platform &platform;
    // Set while a file's fields are filled: the file already holds what the
    // controls are given, so there is nothing to write.
    bool m_loading = false;
};
