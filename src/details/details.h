#pragma once

#include <QString>
#include <QWidgetList>

class AddressBook;
struct ContactField;
struct MainView;
class Platform;

// The selected contact's fields and dependants: shown from the book when the
// contact is selected or its files change, and stored through the book on
// every change.
class Details
{
public:
    Details(MainView &view, Platform &platform, AddressBook &book) : view(view), platform(platform), book(book) {}

    // Every field of the selected contact, file by file.
    void LoadDetails();
    // One file's fields. A missing file shows them empty.
    void LoadFile(const QString &suffix);
    // A field's box changed, by the user or from code.
    void Change(const ContactField &field);

    void cmdAddChildren_Click();
    void cmdRemoveChildren_Click();

    // The controls that show a file's fields or act on them.
    QWidgetList controlsOf(const QString &suffix) const;

    // Another program changed a file of the shown contact: it shows what
    // that program wrote, but in the box being typed in, whose text wins and
    // is stored again, telling the user once what it replaced.
    void fileChangedOutside(const QString &suffix);

private:
    void lockUnreadable(const QString &suffix);

    MainView &view;
    Platform &platform;
    AddressBook &book;
    // Set while a file's fields are filled: the book holds what the controls
    // are given, so there is nothing to store.
    bool m_loading = false;
};
