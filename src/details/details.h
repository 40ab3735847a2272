#pragma once

#include <QString>

#include <initializer_list>

class FrmMain;
class QWidget;

// The selected contact's field files and dependants list: loaded into the
// detail controls when the contact is selected, rewritten on every change.
class Details
{
public:
    explicit Details(FrmMain &frm) : frm(frm) {}

    void LoadBirthday();
    void LoadAddress();
    void LoadDrivingDirections();
    void LoadNumbers();
    void LoadNumbNotes();
    void LoadRelation();

    void txtBirthday_Change();
    void txtAddress_Change();
    void txtDrivingDirections_Change();
    void txtHome_Change() { SaveNumbers(); }
    void txtCell_Change() { SaveNumbers(); }
    void txtWork_Change() { SaveNumbers(); }
    void txtFax_Change() { SaveNumbers(); }
    void txtEmail_Change() { SaveNumbers(); }
    void txtNumNotes_Change();
    void txtRelation_Change();
    void SaveNumbers();

    void LoadDependants();
    void SaveDependants();
    void cmdAddChildren_Click();
    void cmdRemoveChildren_Click();

private:
    // The current contact's file with this suffix; empty when no contact is
    // selected, so nothing is read or written then.
    QString contactFile(const QString &suffix) const;
    template <typename Box>
    void loadField(const QString &suffix, Box *box);
    void saveField(const QString &suffix, const QString &value) const;
    bool lockIfUnreadable(const QString &file, std::initializer_list<QWidget *> controls);

    FrmMain &frm;
    // Set while a loader fills the boxes: the files already hold what the
    // boxes are given, so the change handlers have nothing to write.
    bool m_loading = false;
};
